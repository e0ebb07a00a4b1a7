#pragma once
// The output file: UTF-16LE with byte-order mark, cards written one by one.

#include <string_view>

#include "platform/files.h"

namespace karuto {

// Creates (or truncates) the file exclusively and writes the mark FF FE.
// Returns a handle that is not open on failure.
OutputHandle OpenOutputFile(PathView path);

// Converts one card's Shift_JIS text to UTF-16LE and writes it; false when the
// write failed or was short.
bool WriteCardText(std::string_view text, OutputHandle& outputFile);

} // namespace karuto
