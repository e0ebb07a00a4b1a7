#include "job/conversion.h"

#include <new>
#include <string>

#include "job/input.h"
#include "job/output.h"
#include "job/paths.h"
#include "job/report.h"
#include "writer/scanning.h"

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

// The cards of a loaded text, handed to `writer` with their pictograms as
// `emoji` asks; the text is let go as soon as it is read. A failed write is
// noted in the card list.
CardCounts ConvertLoadedText(LoadedText& loaded, ConversionDetails& details, CardWriter& writer,
                             EmojiChoice emoji)
{
    details.encoding = loaded.encoding;
    details.nulCount = loaded.nulCount;
    details.firstNulLine = loaded.firstNulLine;
    details.emojiChoice = emoji;
    PictogramStage stage;
    StartPictograms(stage, emoji, loaded.encoding == SourceEncoding::ShiftJis, writer);
    const CardCounts counts =
        ConvertText(loaded.text, details.cards,
                    [&stage, &details](std::string_view card) { return PassCard(stage, card, details.cards); },
                    loaded.encoding, loaded.lostCharacters);
    OwnedString().swap(loaded.text);
    if (!FinishCards(stage)) details.cards.writeFailed = true;
    details.carrier = writer.pictograms.carrier;
    details.pictogramsConverted = writer.pictograms.converted;
    details.unattributedCodes = HasUnattributedCodes(stage);
    return counts;
}

int ReportCounts(const JobWindow& window, const CardCounts& counts)
{
    if (counts.cardsWritten == 0) {
        window.addMessage(kNothingWritten);
    } else {
        window.addMessage(kCompleted);
        window.addMessage(FormatSummary(counts.cardsRead, counts.cardsWritten));
    }
    return 0;
}

// Everything after the replacement question; may throw std::bad_alloc.
// `cardsRead` tells whether `details` came to hold every card of the book.
int Convert(PathView outputPath, const JobWindow& window, PathView inputPath,
            ConversionDetails& details, EmojiChoice emoji, bool& cardsRead)
{
    window.addMessage(kConverting);
    LoadedText loaded;
    const int loadResult = LoadInputText(inputPath, loaded);
    if (loadResult != kResultOk) return LoadFailure(window, loadResult);

    OutputFile output;
    if (!OpenOutputFile(outputPath, output)) return Fail(window, kCannotWrite);

    CardWriter writer = FileCardWriter(output.file);
    const CardCounts counts = ConvertLoadedText(loaded, details, writer, emoji);
    cardsRead = true;
    CardList& cards = details.cards;
    // A conversion that lost a card leaves the output as it was.
    if (cards.writeFailed) DiscardOutputFile(output);
    if (cards.writeFailed || !CommitOutputFile(output)) return Fail(window, kCannotWrite);
    return ReportCounts(window, counts);
}

// A file's bytes to the output file's bytes, handed on in blocks.
int ConvertBytes(std::string&& bytes, const JobWindow& window, const ByteSink& output,
                 ConversionDetails& details, EmojiChoice emoji)
{
    window.addMessage(kConverting);
    LoadedText loaded;
    const int loadResult = LoadInputBytes(std::move(bytes), loaded);
    if (loadResult != kResultOk) return LoadFailure(window, loadResult);
    CardWriter writer{output, "\xFF\xFE", false};
    const CardCounts counts = ConvertLoadedText(loaded, details, writer, emoji);
    if (details.cards.writeFailed) return Fail(window, kCannotWrite);
    return ReportCounts(window, counts);
}

// The report of a conversion that ran to its end. The output is whole by
// then, so running out of memory fails only the report.
int WriteReportGuarded(const JobWindow& window, const ConversionDetails& details,
                       const ReportSink& report)
{
    try {
        WriteReport(details, report);
        return 0;
    } catch (const std::bad_alloc&) {
        window.showError(kReportOutOfMemory);
        return -1;
    }
}

// The report a window keeps: running out of memory ends the report, never
// the conversion, and the window says so only when the report is asked for.
KeptReport KeepReport(const ConversionDetails& details, const ReportSink& report)
{
    try {
        WriteReport(details, report);
        return KeptReport::Made;
    } catch (const std::bad_alloc&) {
        return KeptReport::OutOfMemory;
    }
}

// Runs `convert` on fresh details (the caller's, or its own). Memory that
// runs out anywhere below, from the path checks to the last card, ends here:
// a failed load, with everything built released.
template <typename Convert>
int RunGuarded(const JobWindow& window, ConversionDetails* details, const Convert& convert)
{
    ConversionDetails ownDetails;
    ConversionDetails& used = details ? *details : ownDetails;
    used = ConversionDetails();
    try {
        return convert(used);
    } catch (const std::bad_alloc&) {
        used = ConversionDetails();
        return Fail(window, kCannotLoad);
    }
}

} // namespace

bool ChoseCarrierInVain(const ConversionDetails& details)
{
    const bool carrier = details.emojiChoice != EmojiChoice::Auto && details.emojiChoice != EmojiChoice::None;
    return carrier && details.encoding != SourceEncoding::ShiftJis;
}

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
                  ConversionDetails* details, EmojiChoice emoji, const ReportSink& report)
{
    return RunGuarded(window, details, [&](ConversionDetails& used) {
        if (!CheckPaths(outputPath, window, inputPath)) return -1;
        if (PathExists(outputPath) && !window.askQuestion(kReplaceQuestion)) return 0;
        bool cardsRead = false;
        const int result = Convert(outputPath, window, inputPath, used, emoji, cardsRead);
        return result == 0 && report ? WriteReportGuarded(window, used, report) : result;
    });
}

int RunConversionKeepingReport(PathView outputPath, const JobWindow& window, PathView inputPath,
                               const ReportSink& report, KeptReport& kept)
{
    kept = KeptReport::Unchanged;
    return RunGuarded(window, nullptr, [&](ConversionDetails& used) {
        if (!CheckPaths(outputPath, window, inputPath)) return -1;
        if (PathExists(outputPath) && !window.askQuestion(kReplaceQuestion)) return 0;
        kept = KeptReport::None;
        bool cardsRead = false;
        const int result = Convert(outputPath, window, inputPath, used, EmojiChoice::Auto, cardsRead);
        if (cardsRead) kept = KeepReport(used, report);
        return result;
    });
}

int ConvertFileBytes(PathView fileName, std::string&& bytes, const JobWindow& window,
                     const ByteSink& output, ConversionDetails* details, EmojiChoice emoji)
{
    return RunGuarded(window, details, [&](ConversionDetails& used) {
        if (!CheckFileName(fileName, window)) return -1;
        return ConvertBytes(std::move(bytes), window, output, used, emoji);
    });
}

} // namespace karuto
