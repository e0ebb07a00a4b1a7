#include "job/report_file.h"

#include "platform/unicode.h"

namespace karuto {

void AppendReportFileText(std::string& file, std::u16string_view text)
{
    for (const char c : WideToUtf8(text)) {
        if (c == '\n') file += '\r';
        file += c;
    }
}

} // namespace karuto
