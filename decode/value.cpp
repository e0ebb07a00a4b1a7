#include "decode/value.h"

#include <algorithm>
#include <cstdint>
#include <string>

#include "decode/katakana.h"
#include "platform/byte_blocks.h"
#include "platform/shift_jis.h"
#include "platform/jis.h"

namespace karuto {

namespace {

int HexDigitValue(char digit)
{
    if (digit >= '0' && digit <= '9') return digit - '0';
    if (digit >= 'A' && digit <= 'F') return digit - 'A' + 10;
    if (digit >= 'a' && digit <= 'f') return digit - 'a' + 10;
    return -1;
}

// The byte of the escape "=XX" at `pos`, or -1 when no complete escape starts there.
inline int EscapedByteAt(std::string_view text, std::size_t pos)
{
    if (text[pos] != '=' || text.size() - pos < 3) return -1;
    const int high = HexDigitValue(text[pos + 1]);
    const int low = HexDigitValue(text[pos + 2]);
    if (high < 0 || low < 0) return -1;
    return high * 16 + low;
}

// A malformed escape is kept as it stands, as the Quoted-Printable standard
// advises: only its "=" is consumed, so the bytes after it go through the scan
// again and nothing of the value is lost. A decoded NUL ends a text value;
// binary data (a photo) keeps it with `keepNul`. Returns whether an escape
// stood for a control character other than a line break or a tab.
template <bool keepNul = false>
bool AppendQuotedPrintable(std::string_view text, OwnedString& decoded)
{
    bool strayControl = false;
    // Decoding never lengthens the text: room for all of it, trimmed after.
    const std::size_t start = decoded.size();
    decoded.resize(start + text.size());
    char* out = decoded.data() + start;
    std::size_t pos = 0;
    while (pos < text.size()) {
        const int escaped = text[pos] == '=' ? EscapedByteAt(text, pos) : -1;
        if (escaped < 0) {
            *out++ = text[pos];
            ++pos;
            continue;
        }
        if (escaped == 0 && !keepNul) break;
        strayControl = strayControl || IsStrayControl(static_cast<unsigned char>(escaped));
        *out++ = static_cast<char>(escaped);
        pos += 3;
    }
    decoded.resize(static_cast<std::size_t>(out - decoded.data()));
    return strayControl;
}

bool IsAscii(std::string_view text)
{
    std::size_t pos = 0;
    for (; text.size() - pos >= 8; pos += 8) {
        if (!AreEightBytesAscii(LoadEightBytes(text.data() + pos))) return false;
    }
    return std::all_of(text.begin() + static_cast<std::ptrdiff_t>(pos), text.end(),
                       [](char byte) { return static_cast<unsigned char>(byte) < 0x80; });
}

bool HasLineBreak(std::string_view text)
{
    // Two searches for one byte each: find_first_of looks up every byte of
    // the text in the set, one call at a time.
    return text.find('\n') != std::string_view::npos || text.find('\r') != std::string_view::npos;
}

// The texts between the stages, kept from value to value; one that grew
// for an exceptionally long value is let go rather than held.
struct DecodeBuffers {
    OwnedString quoted;
    OwnedString converted;
    OwnedString controlFree;
    OwnedString continued;
};

thread_local DecodeBuffers tBuffers;

// Shift_JIS and a line that names no charset are read alike; every other
// charset is converted.
Charset OriginOf(Charset charset) { return charset == CharsetNone ? CharsetShiftJis : charset; }

// Does `text` in `charset` need converting to be Shift_JIS? ASCII is the
// same in all of them but ISO-2022-JP, whose escapes switch to kanji.
inline bool NeedsConverting(std::string_view text, Charset charset)
{
    if (charset == CharsetUtf8) return !IsAscii(text);
    switch (OriginOf(charset)) {
    case CharsetShiftJis: return false;
    case CharsetIso2022Jp:
        return text.find('\x1B') != std::string_view::npos || text.find('\x0E') != std::string_view::npos;
    default: return !IsAscii(text);
    }
}

void AppendLatin1AsAnsi(std::string_view latin1, OwnedString& ansi, std::vector<Substitution>* substituted)
{
    std::string utf8;
    utf8.reserve(latin1.size() * 2);
    for (const char byte : latin1) {
        const auto code = static_cast<unsigned char>(byte);
        if (code < 0x80) {
            utf8.push_back(byte);
        } else {
            utf8.push_back(static_cast<char>(0xC0 | code >> 6));
            utf8.push_back(static_cast<char>(0x80 | (code & 0x3F)));
        }
    }
    AppendUtf8AsAnsi(utf8, ansi, substituted);
}

// A refused card's name, shown as its label says.
void AppendJisAsAnsi(std::string_view text, Charset charset, OwnedString& ansi,
                     std::vector<Substitution>* substituted)
{
    std::vector<SubstitutedCharacter> spaces;
    ansi += charset == CharsetEucJp ? EucJpToAnsi(text, spaces) : Iso2022JpToAnsi(text, spaces);
    if (substituted == nullptr) return;
    for (const SubstitutedCharacter& space : spaces) substituted->push_back(space.substitution);
}

// `text`, which needs converting, in Shift_JIS appended to `converted`.
void AppendConvertedFrom(std::string_view text, Charset charset, const ValueDecoding& decoding,
                         OwnedString& converted)
{
    switch (charset) {
    case CharsetUtf8: AppendUtf8AsAnsi(text, converted, decoding.substituted); break;
    case CharsetLatin1: AppendLatin1AsAnsi(text, converted, decoding.substituted); break;
    default: AppendJisAsAnsi(text, charset, converted, decoding.substituted); break;
    }
}

// `text` in Shift_JIS appended to `converted`: from its charset where it
// needs converting, else as it is.
void AppendConverted(std::string_view text, Charset charset, const ValueDecoding& decoding,
                     OwnedString& converted)
{
    if (NeedsConverting(text, charset)) {
        AppendConvertedFrom(text, charset, decoding, converted);
    } else {
        converted.append(text);
    }
}

// Quoted-Printable whose escapes and whose bytes that stand as they are come
// in different charsets, as in a book saved again in another encoding: the
// bytes beyond ASCII are converted in runs of one origin, each from its own.
void AppendQuotedPrintableByOrigin(std::string_view text, const ValueDecoding& decoding,
                                   OwnedString& run, OwnedString& converted)
{
    run.clear();
    Charset runCharset = decoding.charset;
    for (std::size_t pos = 0; pos < text.size();) {
        const int escaped = EscapedByteAt(text, pos);
        if (escaped == 0) break;
        const char byte = escaped < 0 ? text[pos] : static_cast<char>(escaped);
        const Charset charset = escaped < 0 ? decoding.ownCharset : decoding.charset;
        pos += escaped < 0 ? 1 : 3;
        if (static_cast<unsigned char>(byte) >= 0x80 && OriginOf(charset) != OriginOf(runCharset)) {
            AppendConverted(run, runCharset, decoding, converted);
            run.clear();
            runCharset = charset;
        }
        run.push_back(byte);
    }
    AppendConverted(run, runCharset, decoding, converted);
}

// An escape may stand for a control character ("=1B"), which no card holds:
// each is left out and noted.
std::string_view WithoutStrayControls(std::string_view text, const ValueDecoding& decoding, OwnedString& kept)
{
    // Only a value whose escapes stood for one comes here: short, and rare.
    kept.clear();
    for (const char byte : text) {
        if (!IsStrayControl(static_cast<unsigned char>(byte))) {
            kept.push_back(byte);
        } else if (decoding.substituted) {
            decoding.substituted->push_back({static_cast<unsigned char>(byte), 0});
        }
    }
    return kept;
}

constexpr char kBase64Alphabet[] =
    "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

// `text` with every line break (CR LF, or an LF or a CR alone) made a CR LF
// and a space, appended to `out`.
void AppendLineBreaksContinued(std::string_view text, OwnedString& out)
{
    std::size_t cr = text.find('\r');
    std::size_t lf = text.find('\n');
    for (std::size_t pos = 0;;) {
        const std::size_t lineBreak = std::min(cr, lf);
        out.append(text.substr(pos, lineBreak - pos));
        if (lineBreak == std::string_view::npos) return;
        out.append("\r\n ");
        pos = lineBreak + (cr == lineBreak && lf == lineBreak + 1 ? 2 : 1);
        if (cr < pos) cr = text.find('\r', pos);
        if (lf < pos) lf = text.find('\n', pos);
    }
}

void TrimBuffer(OwnedString& buffer)
{
    constexpr std::size_t kKeptCapacity = 1 << 16;
    if (buffer.capacity() > kKeptCapacity) OwnedString().swap(buffer);
}

} // namespace

OwnedString DecodeQuotedPrintable(std::string_view text)
{
    OwnedString decoded;
    AppendQuotedPrintable(UpToFirstNul(text), decoded);
    return decoded;
}

ValueDecoding DecodingOf(const LogicalLine& line)
{
    ValueDecoding decoding;
    decoding.encoding = line.encoding;
    decoding.charset = line.charset;
    switch (line.textEncoding) {
    case TextConverted: decoding.ownCharset = CharsetShiftJis; break;
    case TextUtf8: decoding.ownCharset = CharsetUtf8; break;
    case TextShiftJis: decoding.ownCharset = line.charset; break;
    }
    decoding.widenKana = line.widenKana;
    decoding.loneCrBreaks = line.loneCrBreaks;
    return decoding;
}

void AppendDecodedValue(const ValueDecoding& decoding, std::string_view value, OwnedString& target)
{
    DecodeBuffers& buffers = tBuffers;
    const bool quotedPrintable = decoding.encoding == EncodingQuotedPrintable;
    // Base64 is never decoded: its text travels on as it is.
    std::string_view text = value;
    // The text's own control characters were left out when it was loaded;
    // only an escape can stand for one.
    bool strayControl = false;
    if (quotedPrintable && OriginOf(decoding.charset) != OriginOf(decoding.ownCharset) &&
        !IsAscii(value)) {
        buffers.converted.clear();
        AppendQuotedPrintableByOrigin(value, decoding, buffers.quoted, buffers.converted);
        text = buffers.converted;
        strayControl = true;
    } else {
        if (quotedPrintable) {
            buffers.quoted.clear();
            strayControl = AppendQuotedPrintable(text, buffers.quoted);
            text = buffers.quoted;
        }
        const Charset charset = quotedPrintable ? decoding.charset : decoding.ownCharset;
        if (NeedsConverting(text, charset)) {
            buffers.converted.clear();
            AppendConvertedFrom(text, charset, decoding, buffers.converted);
            text = buffers.converted;
        }
    }
    if (strayControl) text = WithoutStrayControls(text, decoding, buffers.controlFree);
    // A decoded line break continues on a folded line of the same property,
    // and every output line ends with CR LF: each break, whether the writer
    // used CR LF, a lone LF or a lone CR, becomes CR LF and a space. So does
    // a CR alone that a value holds as it stands (a note written on a Mac).
    const bool lineBreaks = (quotedPrintable || decoding.loneCrBreaks) && HasLineBreak(text);
    if (lineBreaks) {
        buffers.continued.clear();
        AppendLineBreaksContinued(text, buffers.continued);
        text = buffers.continued;
    }
    if (decoding.widenKana) {
        AppendWidenedKatakana(text, target);
    } else {
        target.append(text);
    }
    TrimBuffer(buffers.quoted);
    TrimBuffer(buffers.converted);
    if (strayControl) TrimBuffer(buffers.controlFree);
    if (lineBreaks) TrimBuffer(buffers.continued);
}

void AppendQuotedPrintableAsBase64(std::string_view value, OwnedString& target)
{
    constexpr std::size_t kLineLength = 76;
    DecodeBuffers& buffers = tBuffers;
    buffers.quoted.clear();
    AppendQuotedPrintable<true>(value, buffers.quoted);
    const std::string_view bytes = buffers.quoted;
    const std::size_t characters = (bytes.size() + 2) / 3 * 4;
    target.reserve(target.size() + characters + characters / kLineLength * 3);
    std::size_t written = 0;
    const auto put = [&](char character) {
        if (written > 0 && written % kLineLength == 0) target.append("\r\n ");
        target.push_back(character);
        ++written;
    };
    const auto sextet = [](std::uint32_t group, int shift) {
        return kBase64Alphabet[(group >> shift) & 0x3F];
    };
    for (std::size_t pos = 0; pos < bytes.size(); pos += 3) {
        const std::size_t left = bytes.size() - pos;
        std::uint32_t group = static_cast<std::uint32_t>(static_cast<unsigned char>(bytes[pos])) << 16;
        if (left > 1) group |= static_cast<std::uint32_t>(static_cast<unsigned char>(bytes[pos + 1])) << 8;
        if (left > 2) group |= static_cast<unsigned char>(bytes[pos + 2]);
        put(sextet(group, 18));
        put(sextet(group, 12));
        put(left > 1 ? sextet(group, 6) : '=');
        put(left > 2 ? sextet(group, 0) : '=');
    }
    TrimBuffer(buffers.quoted);
}

} // namespace karuto
