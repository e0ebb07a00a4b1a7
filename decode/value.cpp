#include "decode/value.h"

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

} // namespace

OwnedString ContinueLineBreaks(std::string_view text)
{
    OwnedString continued;
    continued.reserve(text.size() + text.size() / 8);
    for (std::size_t pos = 0; pos < text.size(); ++pos) {
        const char byte = text[pos];
        if (byte != '\r' && byte != '\n') {
            continued.push_back(byte);
            continue;
        }
        if (byte == '\r' && pos + 1 < text.size() && text[pos + 1] == '\n') ++pos;
        continued.append("\r\n ");
    }
    return continued;
}

// A malformed escape is kept as it stands, as the Quoted-Printable standard
// advises: only its "=" is consumed, so the bytes after it go through the scan
// again and nothing of the value is lost.
OwnedString DecodeQuotedPrintable(std::string_view text)
{
    text = UpToFirstNul(text);
    OwnedString decoded;
    decoded.reserve(text.size());
    std::size_t pos = 0;
    while (pos < text.size()) {
        const int escaped = EscapedByteAt(text, pos);
        if (escaped < 0) {
            decoded.push_back(text[pos]);
            ++pos;
            continue;
        }
        if (escaped == 0) break;
        decoded.push_back(static_cast<char>(escaped));
        pos += 3;
    }
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

OwnedString DecodeValue(ValueEncoding encoding, std::string_view value, Charset charset,
                        bool widenKana)
{
    const bool quotedPrintable = encoding == EncodingQuotedPrintable;
    // Base64 is never decoded: its text travels on as it is.
    OwnedString text = quotedPrintable ? DecodeQuotedPrintable(value) : DuplicateString(value);
    if (charset == CharsetUtf8) text = Utf8ToAnsi(text);
    // A decoded line break continues on a folded line of the same property.
    if (quotedPrintable) text = ContinueLineBreaks(text);
    if (widenKana) text = WidenKatakana(text);
    return text;
}

} // namespace karuto
