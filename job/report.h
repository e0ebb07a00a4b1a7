#pragma once
// The report of a conversion for the user who wants to know what was left
// out: the command line's --report and the web page show it, and the window
// opens it as a text file (変換レポート).

#include <string>

#include "job/conversion.h"

namespace karuto {

// How the file was read, then every card that was read and not written, every
// card that never ended, every card written without some of its e-mails and
// addresses, and the NUL bytes of the input.
// The report goes to `sink` piece by piece, so that a book of millions of
// cards never has it whole in memory. `chooseCarrier` tells the reader how to
// name the carrier when pictograms were found that no one carrier's table
// holds: the command line's options unless the front end says otherwise.
inline constexpr char16_t kChooseCarrierByOption[] =
    u"（コマンドラインでは --emoji=docomo、--emoji=au、--emoji=softbank）";
void WriteReport(const ConversionDetails& details, const ReportSink& sink,
                 std::u16string_view chooseCarrier = kChooseCarrierByOption);

// Text quoted from a file or a command line, with its control characters
// (U+0000-U+001F, U+007F-U+009F) written as "\x1b" and the like, so that a
// terminal shows them instead of obeying them (an escape sequence can set the
// window's title or the clipboard); so are the bytes of a file name that are
// not UTF-8 ("\x82").
std::u16string EscapeControls(std::u16string_view text);

} // namespace karuto
