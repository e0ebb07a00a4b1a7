#include "vcard/unfolding.h"

#include "vcard/params.h"

namespace karuto {

namespace {

Charset DetectCharset(const TokenArray& nameTokens, Charset defaultCharset)
{
    if (HasParam("UTF-8", nameTokens)) return CharsetUtf8;
    if (HasParam("SHIFT_JIS", nameTokens)) return CharsetShiftJis;
    // The mark at the start of a file declares its encoding for every line that
    // does not name a charset of its own.
    if (!HasParam("CHARSET", nameTokens)) return defaultCharset;
    return CharsetNone;
}

void StartLine(LogicalLine& line, std::string_view physicalLine, Charset defaultCharset)
{
    const TokenArray nameTokens = SplitPropertyName(physicalLine);
    line.charset = DetectCharset(nameTokens, defaultCharset);
    line.encoding = DetectEncoding(nameTokens);
    line.state = LineCollecting;
    line.text.clear();
}

void ContinueQuotedPrintable(LogicalLine& line, std::string_view physicalLine)
{
    if (!physicalLine.empty() && physicalLine.back() == '=') {
        physicalLine.remove_suffix(1);  // a soft line break
        AppendString(line.text, physicalLine);
        return;
    }
    AppendString(line.text, physicalLine);
    line.state = LineComplete;
}

} // namespace

void ResetLogicalLine(LogicalLine& line)
{
    line.charset = CharsetNone;
    line.encoding = EncodingNone;
    line.state = LineEmpty;
    line.recognized = false;
    line.widenKana = false;
    line.text.clear();
    line.firstLineNumber = 0;
}

void AccumulateLine(LogicalLine& line, std::optional<std::string_view> physicalLine,
                    Charset defaultCharset)
{
    if (!physicalLine) {
        line.state = (line.state == LineEmpty) ? LineEmpty : LineComplete;
        return;
    }
    const bool first = (line.state == LineEmpty);
    if (first) StartLine(line, *physicalLine, defaultCharset);

    if (line.encoding == EncodingQuotedPrintable) {
        ContinueQuotedPrintable(line, *physicalLine);
    } else if (first) {
        AppendString(line.text, *physicalLine);
    } else if (!physicalLine->empty() &&
               (physicalLine->front() == ' ' || physicalLine->front() == '\t')) {
        // A folded continuation keeps its fold.
        line.text.append("\r\n");
        AppendString(line.text, *physicalLine);
    } else {
        line.state = LineCompleteHeld;
    }
}

} // namespace karuto
