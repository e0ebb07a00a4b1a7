#pragma once
// The console side of the command line: UTF-8 (or the console's own wide
// output on Windows) on standard output and standard error, and the answer
// to a question typed on the terminal.

#include <optional>
#include <string>
#include <string_view>

namespace karuto::cli {

// False when the text could not be written whole (a full disk, a closed
// pipe, no such stream).
bool WriteOut(std::u16string_view text);
bool WriteError(std::u16string_view text);

bool InputIsTerminal();

// One line typed on standard input, without its line break; nothing at end of input.
std::optional<std::u16string> ReadInputLine();

} // namespace karuto::cli
