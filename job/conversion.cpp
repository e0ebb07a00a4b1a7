#include "job/conversion.h"

#include <algorithm>
#include <span>
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

// Tells the window how the conversion ended; the result of the job's
// interfaces: 0 when it ran to its end or the user kept the existing output.
int Tell(const JobWindow& window, Outcome outcome, const CardList& cards)
{
    switch (outcome) {
    case Outcome::Done: {
        const CardCounts counts = CountCards(cards);
        if (counts.cardsWritten == 0) {
            window.addMessage(kNothingWritten);
        } else {
            window.addMessage(kCompleted);
            window.addMessage(FormatSummary(counts.cardsRead, counts.cardsWritten));
        }
        return 0;
    }
    case Outcome::Declined: return 0;
    case Outcome::Refused: return -1;
    case Outcome::UnsupportedEncoding: return Fail(window, kUnsupportedEncoding);
    case Outcome::CannotMakeOutput:
    case Outcome::CannotWriteOutput: return Fail(window, kCannotWrite);
    case Outcome::ReportOutOfMemory: window.showError(kReportOutOfMemory); return -1;
    case Outcome::CannotOpenInput:
    case Outcome::CannotReadInput:
    case Outcome::OutOfMemory: break;
    }
    return Fail(window, kCannotLoad);
}

// Feature phones' pictograms come in Shift_JIS: a book read as Shift_JIS, or
// one with lines read so.
bool HoldsShiftJisLines(SourceEncoding encoding, std::span<const LinesReadOtherwise> otherwise)
{
    return encoding == SourceEncoding::ShiftJis ||
           (!IsConvertedWhenLoaded(encoding) &&
            std::any_of(otherwise.begin(), otherwise.end(),
                        [](const LinesReadOtherwise& lines) { return lines.encoding == TextShiftJis; }));
}

// The cards of a loaded text, handed to `writer` with their pictograms as
// `emoji` asks; the text is let go as soon as it is read.
Outcome ConvertLoadedText(LoadedText& loaded, ConversionDetails& details, CardWriter& writer,
                          EmojiChoice emoji)
{
    details.encoding = loaded.encoding;
    details.nulCount = loaded.nulCount;
    details.firstNulLine = loaded.firstNulLine;
    details.emojiChoice = emoji;
    details.cards.form = writer.form == OutputForm::ICloud ? CardForm::VCard30 : CardForm::AsRead;
    PictogramStage stage;
    StartPictograms(stage, emoji, HoldsShiftJisLines(loaded.encoding, loaded.linesReadOtherwise), writer);
    TextFacts facts;
    facts.encoding = loaded.encoding;
    facts.otherwise = loaded.linesReadOtherwise;
    facts.lostWhenLoaded = loaded.lostCharacters;
    facts.cardBegins = &loaded.cardBegins;
    facts.crLeftInLine = loaded.crLeftInLine;
    ConvertText(loaded.text, details.cards,
                [&stage, &details](std::string_view card) { PassCard(stage, card, details.cards); }, facts);
    OwnedString().swap(loaded.text);
    FinishCards(stage);
    details.carrier = writer.pictograms.carrier;
    details.pictogramsConverted = writer.pictograms.converted;
    details.unattributedCodes = HasUnattributedCodes(stage);
    return writer.outcome;
}

// Before anything is read: the paths, and the question before a replacement.
Outcome Start(PathView outputPath, const JobWindow& window, PathView inputPath)
{
    if (!CheckPaths(outputPath, window, inputPath)) return Outcome::Refused;
    if (PathExists(outputPath) && !window.askQuestion(kReplaceQuestion)) return Outcome::Declined;
    return Outcome::Done;
}

// Everything after the replacement question. A conversion that lost a card
// leaves the output as it was: the temporary file goes with `output`.
Outcome Convert(PathView outputPath, const JobWindow& window, PathView inputPath,
                ConversionDetails& details, EmojiChoice emoji, OutputForm form)
{
    window.addMessage(kConverting);
    LoadedText loaded;
    Outcome outcome = LoadInputText(inputPath, loaded);
    if (outcome != Outcome::Done) return outcome;
    OutputFile output;
    outcome = OpenOutputFile(outputPath, output, form);
    if (outcome != Outcome::Done) return outcome;
    CardWriter writer = FileCardWriter(output.file, form);
    outcome = ConvertLoadedText(loaded, details, writer, emoji);
    return outcome == Outcome::Done ? CommitOutputFile(output) : outcome;
}

// A file's bytes to the output file's bytes, handed on in blocks.
Outcome ConvertBytes(std::string&& bytes, const JobWindow& window, const ByteSink& output,
                     ConversionDetails& details, EmojiChoice emoji, OutputForm form)
{
    window.addMessage(kConverting);
    LoadedText loaded;
    const Outcome outcome = LoadInputBytes(std::move(bytes), loaded);
    if (outcome != Outcome::Done) return outcome;
    CardWriter writer;
    writer.write = output;
    writer.pending = OutputMark(form);
    writer.form = form;
    return ConvertLoadedText(loaded, details, writer, emoji);
}

// The report of a conversion whose cards were read; memory that runs out
// while it is made stops only the report.
Outcome MakeReport(const ConversionDetails& details, const ReportSink& report)
{
    return IfMemoryRunsOut([&] { WriteReport(details, report); return Outcome::Done; },
                           [] { return Outcome::ReportOutOfMemory; });
}

// Runs `convert` on fresh details (the caller's, or its own). Memory that
// runs out anywhere below, from the path checks to the last message, ends
// here: a failed load, with everything built released.
template <typename Convert>
int RunGuarded(const JobWindow& window, ConversionDetails* details, const Convert& convert)
{
    ConversionDetails ownDetails;
    ConversionDetails& used = details ? *details : ownDetails;
    used = ConversionDetails();
    return IfMemoryRunsOut([&] { return convert(used); },
                           [&] {
                               used = ConversionDetails();
                               return Tell(window, Outcome::OutOfMemory, used.cards);
                           });
}

} // namespace

bool ChoseCarrierInVain(const ConversionDetails& details)
{
    const bool carrier = details.emojiChoice != EmojiChoice::Auto && details.emojiChoice != EmojiChoice::None;
    return carrier && details.encoding != SourceEncoding::ShiftJis && details.cards.linesReadOtherwise == 0;
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
                  ConversionDetails* details, EmojiChoice emoji, const ReportSink& report, OutputForm form)
{
    return RunGuarded(window, details, [&](ConversionDetails& used) {
        used.inputName = inputPath;
        Outcome outcome = Start(outputPath, window, inputPath);
        if (outcome == Outcome::Done) outcome = Convert(outputPath, window, inputPath, used, emoji, form);
        const int result = Tell(window, outcome, used.cards);
        if (outcome != Outcome::Done || !report || MakeReport(used, report) == Outcome::Done) return result;
        return Tell(window, Outcome::ReportOutOfMemory, used.cards);
    });
}

int RunConversionKeepingReport(PathView outputPath, const JobWindow& window, PathView inputPath,
                               const ReportSink& report, KeptReport& kept, OutputForm form)
{
    kept = KeptReport::Unchanged;
    return RunGuarded(window, nullptr, [&](ConversionDetails& used) {
        used.inputName = inputPath;
        Outcome outcome = Start(outputPath, window, inputPath);
        if (outcome != Outcome::Done) return Tell(window, outcome, used.cards);
        kept = KeptReport::None;
        outcome = Convert(outputPath, window, inputPath, used, EmojiChoice::Auto, form);
        const int result = Tell(window, outcome, used.cards);
        if (outcome == Outcome::Done || outcome == Outcome::CannotWriteOutput) {
            kept = MakeReport(used, report) == Outcome::Done ? KeptReport::Made : KeptReport::OutOfMemory;
        }
        return result;
    });
}

int ConvertFileBytes(PathView fileName, std::string&& bytes, const JobWindow& window,
                     const ByteSink& output, ConversionDetails* details, EmojiChoice emoji,
                     OutputForm form)
{
    return RunGuarded(window, details, [&](ConversionDetails& used) {
        used.inputName = fileName;
        const Outcome outcome = CheckFileName(fileName, window)
                                    ? ConvertBytes(std::move(bytes), window, output, used, emoji, form)
                                    : Outcome::Refused;
        return Tell(window, outcome, used.cards);
    });
}

} // namespace karuto
