#pragma once
// Where a loaded text's lines end, beyond its LFs: books from classic Mac
// OS tools end their lines in a CR alone, and books joined after the fact
// put such a card, or a card after a CR alone, among CR LF ones. Found in
// one pass with the other bytes the loader looks after: the control
// characters no card holds, and every BEGIN:VCARD, which the report accounts
// for.

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace karuto {

struct MarkedBytes {
    std::vector<std::size_t> strayControls;  // IsStrayControl: ESC and the like
    std::vector<std::size_t> bareCrs;        // CRs that no LF follows
    std::vector<std::size_t> cardBegins;     // "BEGIN:VCARD" in any case, anywhere
};

// Every one of them in `text`, in order.
MarkedBytes FindMarkedBytes(std::string_view text);

// Makes an LF of every CR alone that ends a line: one before BEGIN:VCARD or
// END:VCARD (any case, a byte-order mark between them allowed), and every one
// of a card whose BEGIN:VCARD line ends in a CR alone, up to the CR after its
// END:VCARD. In place: no byte moves. `changed` when one did; `crLeftInLine`
// when a CR alone is left inside a line, the line break a value holds.
struct LineEndFix {
    bool changed = false;
    bool crLeftInLine = false;
};
LineEndFix EndLinesAtLoneCrs(std::string& text, const std::vector<std::size_t>& bareCrs,
                             const std::vector<std::size_t>& cardBegins);

// Does `text` hold END:VCARD (any case) at `pos`, and where does the card
// that follows it on the same line start (past a byte-order mark)? 0 when
// no BEGIN:VCARD follows it there.
std::size_t CardJoinedToEndAt(std::string_view text, std::size_t pos);

} // namespace karuto
