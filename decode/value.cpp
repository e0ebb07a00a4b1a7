#include "decode/value.h"

#include <algorithm>
#include <cstdint>
#include <cstring>

#include "decode/katakana.h"
#include "platform/codepage.h"

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
int EscapedByteAt(std::string_view text, std::size_t pos)
{
    if (text[pos] != '=' || text.size() - pos < 3) return -1;
    const int high = HexDigitValue(text[pos + 1]);
    const int low = HexDigitValue(text[pos + 2]);
    if (high < 0 || low < 0) return -1;
    return high * 16 + low;
}

void AppendContinuedLineBreaks(std::string_view text, OwnedString& continued)
{
    for (std::size_t pos = 0; pos < text.size(); ++pos) {
        const char byte = text[pos];
        if (byte != '\r' && byte != '\n') {
            continued.push_back(byte);
            continue;
        }
        if (byte == '\r' && pos + 1 < text.size() && text[pos + 1] == '\n') ++pos;
        continued.append("\r\n ");
    }
}

// A malformed escape is kept as it stands, as the Quoted-Printable standard
// advises: only its "=" is consumed, so the bytes after it go through the scan
// again and nothing of the value is lost.
void AppendQuotedPrintable(std::string_view text, OwnedString& decoded)
{
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
        if (escaped == 0) break;
        *out++ = static_cast<char>(escaped);
        pos += 3;
    }
    decoded.resize(static_cast<std::size_t>(out - decoded.data()));
}

bool IsAscii(std::string_view text)
{
    std::size_t pos = 0;
    // Eight bytes at a time: no byte among them has its high bit set.
    for (; text.size() - pos >= 8; pos += 8) {
        std::uint64_t eight = 0;
        std::memcpy(&eight, text.data() + pos, 8);
        if (eight & 0x8080808080808080ull) return false;
    }
    return std::all_of(text.begin() + static_cast<std::ptrdiff_t>(pos), text.end(),
                       [](char byte) { return static_cast<unsigned char>(byte) < 0x80; });
}

bool HasLineBreak(std::string_view text)
{
    return text.find_first_of("\r\n") != std::string_view::npos;
}

// The texts between the stages, kept from value to value; one that grew
// for an exceptionally long value is let go rather than held.
struct DecodeBuffers {
    OwnedString quoted;
    OwnedString converted;
    OwnedString continued;
};

thread_local DecodeBuffers tBuffers;

void TrimBuffer(OwnedString& buffer)
{
    constexpr std::size_t kKeptCapacity = 1 << 16;
    if (buffer.capacity() > kKeptCapacity) OwnedString().swap(buffer);
}

} // namespace

OwnedString ContinueLineBreaks(std::string_view text)
{
    OwnedString continued;
    AppendContinuedLineBreaks(text, continued);
    return continued;
}

OwnedString DecodeQuotedPrintable(std::string_view text)
{
    OwnedString decoded;
    AppendQuotedPrintable(UpToFirstNul(text), decoded);
    return decoded;
}

OwnedString Utf8ToAnsi(std::string_view utf8)
{
    return ConvertUtf8ToAnsi(UpToFirstNul(utf8));
}

OwnedString ReplaceAll(std::string_view text, std::string_view pattern,
                       std::string_view replacement)
{
    text = UpToFirstNul(text);
    if (pattern.empty()) return OwnedString(text);

    OwnedString replaced;
    replaced.reserve(text.size());
    std::size_t start = 0;
    for (std::size_t found = text.find(pattern); found != std::string_view::npos;
         found = text.find(pattern, start)) {
        replaced.append(text, start, found - start);
        replaced.append(replacement);
        start = found + pattern.size();
    }
    replaced.append(text, start);
    return replaced;
}

void AppendDecodedValue(ValueEncoding encoding, std::string_view value, Charset charset,
                        bool widenKana, OwnedString& target)
{
    DecodeBuffers& buffers = tBuffers;
    const bool quotedPrintable = encoding == EncodingQuotedPrintable;
    // Base64 is never decoded: its text travels on as it is.
    std::string_view text = value;
    if (quotedPrintable) {
        buffers.quoted.clear();
        AppendQuotedPrintable(text, buffers.quoted);
        text = buffers.quoted;
    }
    // ASCII is the same in both.
    if (charset == CharsetUtf8 && !IsAscii(text)) {
        buffers.converted.clear();
        AppendUtf8AsAnsi(text, buffers.converted);
        text = buffers.converted;
    }
    // A decoded line break continues on a folded line of the same property.
    if (quotedPrintable && HasLineBreak(text)) {
        buffers.continued.clear();
        AppendContinuedLineBreaks(text, buffers.continued);
        text = buffers.continued;
    }
    if (widenKana) {
        AppendWidenedKatakana(text, target);
    } else {
        target.append(text);
    }
    TrimBuffer(buffers.quoted);
    TrimBuffer(buffers.converted);
    TrimBuffer(buffers.continued);
}

OwnedString DecodeValue(ValueEncoding encoding, std::string_view value, Charset charset,
                        bool widenKana)
{
    OwnedString text;
    AppendDecodedValue(encoding, UpToFirstNul(value), charset, widenKana, text);
    return text;
}

} // namespace karuto
