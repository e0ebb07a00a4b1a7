#pragma once
// One conversion from a source path to a finished output file and its report.

#include "job/input.h"
#include "job/output.h"
#include "job/pictograms.h"
#include "job/window.h"
#include "platform/files.h"
#include "writer/cards.h"

namespace karuto {

// What a conversion leaves behind for a report of what was left out or read
// in an unusual way.
struct ConversionDetails {
    std::u16string inputName;       // the book as the user named it: its path, or its file's name
    CardList cards;                 // the records of the cards
    SourceEncoding encoding = SourceEncoding::ShiftJis;  // how the text was read
    std::int64_t nulCount = 0;      // NUL bytes of the input, read as line breaks
    std::int64_t firstNulLine = 0;  // the line of the first of them
    // Feature-phone pictograms: what was asked, whose became emoji and how
    // many, and whether `Auto` found codes it could give to no one carrier.
    EmojiChoice emojiChoice = EmojiChoice::Auto;
    Carrier carrier = Carrier::None;
    std::int64_t pictogramsConverted = 0;
    bool unattributedCodes = false;
};

// Takes the report of a conversion piece by piece, as it is made.
using ReportSink = std::function<void(std::u16string_view text)>;

// Checks the paths, asks before replacing an existing output file, loads the
// source, writes the output and reports through `window`. Returns 0 when the
// conversion ran to its end or the user declined the replacement, otherwise
// -1. `details`, when given, is filled as far as the conversion got.
// `report`, when given, takes the report of a conversion that ran to its end;
// running out of memory while it is made returns -1 with the output in place.
// `form` says whose importer the output is made for.
int RunConversion(PathView outputPath, const JobWindow& window, PathView inputPath,
                  ConversionDetails* details = nullptr, EmojiChoice emoji = EmojiChoice::Auto,
                  const ReportSink& report = {}, OutputForm form = OutputForm::IPhone);

// What became of the report that a window keeps of its last conversion.
enum class KeptReport {
    Unchanged,    // the conversion did not start: paths refused, replacement declined
    None,         // it started and failed before its cards were read
    Made,         // its report went to the sink whole
    OutOfMemory,  // memory ran out while its report was made
};

// RunConversion for a window that offers the report of its last conversion:
// the report of a conversion whose cards were read (it ran to its end or
// failed to write them) goes to `report`, made inside the same guard. Memory
// that runs out while it is made stops only the report: the result, the
// boxes and the lines are those of the conversion without it.
int RunConversionKeepingReport(PathView outputPath, const JobWindow& window, PathView inputPath,
                               const ReportSink& report, KeptReport& kept,
                               OutputForm form = OutputForm::IPhone);

// The same conversion for a file that comes as bytes with its name, as in a
// browser: the checks of the name (not empty, ".vcf"), then loading,
// converting and the same messages and results. The output file's bytes
// (its mark first) go to `output` in blocks as they are made; they are the
// output only when the result is 0. Nothing is asked: no file is replaced.
int ConvertFileBytes(PathView fileName, std::string&& bytes, const JobWindow& window,
                     const ByteSink& output, ConversionDetails* details = nullptr,
                     EmojiChoice emoji = EmojiChoice::Auto, OutputForm form = OutputForm::IPhone);

// Message texts of the job.
inline constexpr char16_t kReplaceQuestion[] =
    u"添付用ファイルが既に存在します。\r\n上書きで保存しますか？";
inline constexpr char16_t kConverting[] = u"変換処理中...";
inline constexpr char16_t kUnsupportedEncoding[] =
    u"変換元ファイルの文字コードに対応していません。";
inline constexpr char16_t kCannotLoad[] =
    u"変換元ファイルが読み込めません。\r\n他で使用中もしくは破損している可能性があります。";
inline constexpr char16_t kCannotWrite[] =
    u"添付用ファイルへ書き込めません。\r\n他で使用中もしくは書込み禁止の可能性があります。";
inline constexpr char16_t kFailed[] = u"変換処理に失敗しました。";
inline constexpr char16_t kNothingWritten[] = u"出力対象データが1件もありませんでした。";
inline constexpr char16_t kCompleted[] = u"変換が完了しました。";
inline constexpr char16_t kPictogramsOnlyInShiftJis[] =
    u"携帯電話の絵文字を iPhone の絵文字にするのは Shift_JIS のファイルだけです。";
inline constexpr char16_t kReportOutOfMemory[] =
    u"メモリが足りないため、レポートを最後まで作れませんでした。";

// A carrier was chosen for a file whose pictograms were never a phone's:
// nothing was converted, which the user is told.
bool ChoseCarrierInVain(const ConversionDetails& details);

// A number in decimal digits, for message texts.
std::u16string DecimalText(std::int64_t value);

// "入力データ：N件、　出力データ：M件"
std::u16string FormatSummary(std::int32_t cardsRead, std::int32_t cardsWritten);

} // namespace karuto
