#include "vcard/folding.h"

#include <algorithm>

namespace karuto {

namespace {

constexpr std::string_view kFold = "\r\n ";

constexpr bool IsUtf8Continuation(char byte) { return (static_cast<unsigned char>(byte) & 0xC0) == 0x80; }

// One line's text, without its line end, folded onto the line so far.
void AppendFoldedLine(std::string_view text, std::size_t& lineOctets, std::string& out)
{
    while (lineOctets + text.size() > kMaxLineOctets) {
        std::size_t cut = kMaxLineOctets - lineOctets;
        while (cut > 0 && IsUtf8Continuation(text[cut])) --cut;
        out.append(text.substr(0, cut)).append(kFold);
        text.remove_prefix(cut);
        lineOctets = 1;
    }
    out.append(text);
    lineOctets += text.size();
}

} // namespace

void AppendFoldedLines(std::string_view utf8, std::size_t& lineOctets, std::string& out)
{
    out.reserve(out.size() + utf8.size() + utf8.size() / 24);
    while (!utf8.empty()) {
        // A line ends in CR LF, which counts for no line's length; a piece
        // may end between the two.
        if (utf8[0] == '\r' || utf8[0] == '\n') {
            if (utf8[0] == '\n') lineOctets = 0;
            out.push_back(utf8[0]);
            utf8.remove_prefix(1);
            continue;
        }
        const std::size_t end = std::min(utf8.find('\r'), utf8.size());
        AppendFoldedLine(utf8.substr(0, end), lineOctets, out);
        utf8.remove_prefix(end);
    }
}

} // namespace karuto
