#pragma once
// Gathering of physical lines into one logical property line.

#include <optional>
#include <string_view>

#include "vcard/line.h"

namespace karuto {

// Forgets the gathered line: every field back to zero.
void ResetLogicalLine(LogicalLine& line);

// Feeds one physical line (without its line break and without NUL bytes), or
// end of input when `physicalLine` is empty (std::nullopt). The outcome is
// `line.state`; `line.text` may view the physical lines, which must outlive
// it. `defaultCharset` is the charset of lines that name no "CHARSET" at all
// (DefaultCharsetOf): CharsetUtf8 in a book read as UTF-8, with its mark or
// without, CharsetNone otherwise. `source`, when given, is the whole text that every
// physical line is a view of: a folded line whose pieces are separated there
// by exactly CR LF then stays a view of it instead of being copied.
void AccumulateLine(LogicalLine& line, std::optional<std::string_view> physicalLine,
                    Charset defaultCharset = CharsetNone, std::string_view source = {});

// The charset of lines that name none: UTF-8 in a UTF-8 book.
Charset DefaultCharsetOf(SourceEncoding encoding);

} // namespace karuto
