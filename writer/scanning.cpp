#include "writer/scanning.h"

#include <algorithm>
#include <functional>
#include <optional>

#include "vcard/unfolding.h"
#include "writer/dispatch.h"

namespace karuto {

namespace {

struct PhysicalLine {
    std::string_view text;
    std::int64_t number = 0;
};

// Reads physical lines off the text as views; nothing is copied. A stray NUL
// byte ends a physical line as an LF does, so that nothing after it is lost;
// it does not start a new line of the file for the line numbers.
struct LineCutter {
    std::string_view text;
    std::size_t position = 0;
    bool pastEnd = false;
    std::int64_t lineNumber = 1;  // of the next physical line
    std::size_t nextNul = text.find('\0');  // sought again only once passed

    // Both searches run at memory speed; the NUL one rarely runs at all.
    std::size_t NextLineBreak()
    {
        if (nextNul < position) nextNul = text.find('\0', position);
        return std::min(FindByte(text, '\n', position), nextNul);
    }

    PhysicalLine Next()
    {
        PhysicalLine line{{}, lineNumber};
        const std::size_t lineBreak = NextLineBreak();
        if (lineBreak == std::string_view::npos) {
            line.text = text.substr(position);  // a trailing CR stays
            pastEnd = true;
            return line;
        }
        std::size_t end = lineBreak;
        while (end > position && text[end - 1] == '\r') --end;
        line.text = text.substr(position, end - position);
        position = lineBreak + 1;
        if (text[lineBreak] == '\n') ++lineNumber;
        return line;
    }
};

// The lines that start like a card as most writers write it: a guess for
// reserving room, never a count that anything relies on. Only line starts
// count, so a value that merely mentions it reserves nothing.
std::size_t CountCardStarts(std::string_view text)
{
    constexpr std::string_view kBegin = "BEGIN:VCARD";
    // Skipping ahead by the keyword's length where a byte cannot be part of
    // it, rather than stopping at every "B" (Base64 photos are full of them).
    const std::boyer_moore_horspool_searcher searcher(kBegin.begin(), kBegin.end());
    std::size_t count = 0;
    for (auto at = std::search(text.begin(), text.end(), searcher); at != text.end();
         at = std::search(at + static_cast<std::ptrdiff_t>(kBegin.size()), text.end(), searcher)) {
        if (at == text.begin() || at[-1] == '\n' || at[-1] == '\0') ++count;
    }
    return count;
}

} // namespace

CardCounts ConvertText(std::string_view text, CardList& cardList, const CardSink& sink,
                       Charset defaultCharset)
{
    // Room for the cards at once: growing the records by doubling would hold
    // them twice for a moment, a large share of the memory of a big book.
    cardList.entries.reserve(cardList.entries.size() + CountCardStarts(text));
    LogicalLine line;
    ResetLogicalLine(line);
    LineCutter cutter{text};
    PhysicalLine held;
    bool holding = false;  // `held` must be fed again to the emptied record
    do {
        PhysicalLine physical;
        bool endOfInput = false;
        if (holding) {
            physical = held;
            holding = false;
        } else if (!cutter.pastEnd) {
            physical = cutter.Next();
        } else {
            endOfInput = true;
        }
        if (!endOfInput && line.state == LineEmpty) line.firstLineNumber = physical.number;
        AccumulateLine(line, endOfInput ? std::nullopt : std::optional(physical.text),
                       defaultCharset, text);
        switch (line.state) {
        case LineEmpty:
            ResetLogicalLine(line);
            break;
        case LineCollecting:
            break;
        case LineComplete:
        case LineCompleteHeld:
            ConvertProperty(line.text, sink, line, cardList);
            if (line.state == LineCompleteHeld) {
                held = physical;
                holding = true;
            }
            ResetLogicalLine(line);
            break;
        }
    } while (!cutter.pastEnd || holding || line.state == LineCollecting);
    return CountCards(cardList);
}

} // namespace karuto
