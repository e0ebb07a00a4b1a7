#pragma once
// Gathering of physical lines into one logical property line.

#include <optional>
#include <string_view>

#include "vcard/line.h"

namespace karuto {

// Forgets the gathered line: every field back to zero.
void ResetLogicalLine(LogicalLine& line);

// Feeds one physical line (without its line break), or end of input when
// `physicalLine` is empty (std::nullopt). The outcome is `line.state`. `defaultCharset` is the
// charset of lines that name no "CHARSET" at all: CharsetUtf8 for a file that
// began with the UTF-8 byte-order mark, CharsetNone otherwise.
void AccumulateLine(LogicalLine& line, std::optional<std::string_view> physicalLine,
                    Charset defaultCharset = CharsetNone);

} // namespace karuto
