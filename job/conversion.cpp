#include "job/conversion.h"

#include <new>
#include <string>

#include "job/input.h"
#include "job/output.h"
#include "job/paths.h"
#include "vcard/scanning.h"

namespace karuto {

namespace {

int Fail(const JobWindow& window, std::u16string_view error)
{
    window.showError(error);
    window.addMessage(kFailed);
    return -1;
}

int LoadFailure(const JobWindow& window, int loadResult)
{
    return Fail(window, loadResult == kResultUnsupportedEncoding ? kUnsupportedEncoding
                                                                 : kCannotLoad);
}

// Everything after the replacement question; may throw std::bad_alloc.
int Convert(PathView outputPath, const JobWindow& window, PathView inputPath,
            ConversionDetails& details)
{
    window.addMessage(kConverting);
    LoadedText loaded;
    const int loadResult = LoadInputText(inputPath, loaded);
    if (loadResult != kResultOk) return LoadFailure(window, loadResult);
    details.nulCount = loaded.nulCount;
    details.firstNulLine = loaded.firstNulLine;
    CardList& cards = details.cards;

    OutputFile output;
    if (!OpenOutputFile(outputPath, output)) return Fail(window, kCannotWrite);

    const bool utf8 = loaded.mark == ByteOrderMark::Utf8 || loaded.utf8WithoutMark;
    const Charset defaultCharset = utf8 ? CharsetUtf8 : CharsetNone;
    const CardCounts counts = ConvertText(loaded.text, cards, output.file, defaultCharset);
    OwnedString().swap(loaded.text);
    // A conversion that lost a card leaves the output as it was.
    if (cards.writeFailed) DiscardOutputFile(output);
    if (cards.writeFailed || !CommitOutputFile(output)) return Fail(window, kCannotWrite);

    if (counts.cardsWritten == 0) {
        window.addMessage(kNothingWritten);
    } else {
        window.addMessage(kCompleted);
        window.addMessage(FormatSummary(counts.cardsRead, counts.cardsWritten));
    }
    return 0;
}

} // namespace

std::u16string DecimalText(std::int64_t value)
{
    const std::string digits = std::to_string(value);
    return std::u16string(digits.begin(), digits.end());
}

std::u16string FormatSummary(std::int32_t cardsRead, std::int32_t cardsWritten)
{
    return u"入力データ：" + DecimalText(cardsRead) + u"件、　出力データ：" +
           DecimalText(cardsWritten) + u"件";
}

int RunConversion(PathView outputPath, const JobWindow& window, PathView inputPath,
                  ConversionDetails* details)
{
    if (!CheckPaths(outputPath, window, inputPath)) return -1;
    if (PathExists(outputPath) && !window.askQuestion(kReplaceQuestion)) return 0;

    ConversionDetails ownDetails;
    ConversionDetails& used = details ? *details : ownDetails;
    used = ConversionDetails();
    try {
        return Convert(outputPath, window, inputPath, used);
    } catch (const std::bad_alloc&) {
        used = ConversionDetails();  // release whatever was built
        return Fail(window, kCannotLoad);
    }
}

} // namespace karuto
