#pragma once
// The report as a text file for a Windows user's editor, as the page saves it
// and the window opens it: UTF-8 after a byte-order mark, CR LF line ends.

#include <string>
#include <string_view>

#include "platform/byte_order_marks.h"

namespace karuto {

// Without it, the editors of older Windows read UTF-8 text as Shift_JIS.
inline constexpr std::string_view kReportFileMark = kUtf8Mark;

// Appends a piece of the report (its lines end in LF) as the file holds it.
void AppendReportFileText(std::string& file, std::u16string_view text);

} // namespace karuto
