#include "job/report.h"
#include "job/report_file.h"

#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "platform/unicode.h"
#include "tests/test_support.h"

namespace karuto {
namespace {

const std::string kShiftJisLine = "文字コード：Shift_JIS として読みました。\n";

// The report after its first line, which names the book and its counts.
std::string AfterBookLine(const std::u16string& report)
{
    const std::string text = WideToUtf8(report);
    EXPECT_TRUE(text.starts_with("変換元："));
    return text.substr(text.find('\n') + 1);
}
const std::string kNothingLeftOut = "書き出さなかった項目・文字はありません。\n";

// Adds a card as the writer leaves it behind, with the note the report reads.
void AddCard(CardList& cards, std::int64_t beginLine, std::string_view name, bool ended,
             std::uint32_t droppedItems, Rejection rejection = Rejection::None, bool hasName = false)
{
    CardRecord& record = cards.records.emplace_back();
    record.beginLine = beginLine;
    record.ended = ended;
    record.rejected = rejection != Rejection::None;
    record.hasName = hasName;
    record.note = static_cast<std::uint32_t>(cards.notes.size());
    const std::string_view rejectedBy = "VERSION:4.0";
    cards.notes.push_back({cards.noteText.size(), static_cast<std::uint32_t>(name.size()),
                           static_cast<std::uint32_t>(rejectedBy.size()), droppedItems, rejection,
                           beginLine + 1});
    cards.noteText.append(name).append(rejectedBy);
}

// The report of a conversion of a file holding `bytes`, in `form`.
std::string ReportOfFile(std::string_view bytes, OutputForm form = OutputForm::IPhone)
{
    test::TempDir dir;
    test::WriteFileBytes(dir.path / "in.vcf", bytes);
    JobWindow window;
    window.askQuestion = [](std::u16string_view) { return true; };
    window.showError = [](std::u16string_view) {};
    window.addMessage = [](std::u16string_view) {};
    ConversionDetails details;
    EXPECT_EQ(RunConversion(dir.Child(u"out.vcf"), window, dir.Child(u"in.vcf"), &details, EmojiChoice::Auto, {}, form),
              0);
    return WideToUtf8(test::ReportText(details));
}

TEST(WriteReport, BeginsWithHowTheFileWasRead)
{
    const std::string card = "BEGIN:VCARD\r\nVERSION:3.0\r\nN:\xE5\xB1\xB1;;;;\r\nEND:VCARD\r\n";
    struct Row {
        std::string bytes;
        std::string line;
    };
    const Row rows[] = {
        {"BEGIN:VCARD\r\nN:\x8E\x52;;;;\r\nEND:VCARD\r\n", kShiftJisLine},
        {"\xEF\xBB\xBF" + card, "文字コード：UTF-8（BOM付き）として読みました。\n"},
        {card, "文字コード：UTF-8（BOMなし、内容から判定）として読みました。\n"},
        {"\xFF\xFE" + test::Utf16LeBytes(u"BEGIN:VCARD\r\nN:山;;;;\r\nEND:VCARD\r\n"),
         "文字コード：UTF-16LE として読みました。\n"},
        {test::Utf16LeBytes(u"BEGIN:VCARD\r\nN:山;;;;\r\nEND:VCARD\r\n"),
         "文字コード：UTF-16LE（BOMなし、内容から判定）として読みました。\n"},
        {"BEGIN:VCARD\r\nN:\xBB\xB3\xC5\xC4;\xA4\xE6\xA4\xDF;;;\r\nEND:VCARD\r\n",
         "文字コード：EUC-JP（内容から判定）として読みました。\n"},
        {"BEGIN:VCARD\r\nN:\x1B$B;3ED\x1B(B;;;;\r\nEND:VCARD\r\n",
         "文字コード：ISO-2022-JP（内容から判定）として読みました。\n"},
    };
    for (const Row& row : rows) {
        const std::string report = ReportOfFile(row.bytes);
        const std::string book = "変換元：in.vcf（入力データ：1件、出力データ：1件）\n";
        EXPECT_EQ(report.substr(0, book.size() + row.line.size()), book + row.line);
    }
}

// iCloud.com refuses a card past 256 KB and a photo past 224 KB: the report
// of that form names each card, by what passes (sizes in KB rounded up); the
// cards are still written.
TEST(WriteReport, ListsTheCardsTooLargeForICloud)
{
    std::string book;
    for (const auto& [name, photoBytes] : {std::pair{"Small", 150 * 1024}, {"Card", 192 * 1024}, {"Photo", 228 * 1024 + 3}}) {
        const std::string base64(photoBytes / 3 * 4, 'A');
        book += "BEGIN:VCARD\r\nVERSION:3.0\r\nN:" + std::string(name) + ";;;;\r\nPHOTO;ENCODING=b;TYPE=JPEG:" +
                base64 + "\r\nEND:VCARD\r\n";
    }
    const std::string report = ReportOfFile(book, OutputForm::ICloud);
    EXPECT_NE(report.find("（入力データ：3件、出力データ：3件）"), std::string::npos);  // all are written
    EXPECT_NE(report.find("iCloud.com が読み込まないカード（カードは 256 KB、写真は 224 KB まで。書き出してあります。"
                          "写真を小さくするか、iPhone で写真を付け直してください）：2件\n"
                          "  カード2（6行目）「Card」：カード 267 KB\n"
                          "  カード3（11行目）「Photo」：カード 317 KB、写真 229 KB\n"), std::string::npos) << report;
}

TEST(WriteReport, ListsCardsWrittenWithoutSomeOfTheirItemGroups)
{
    ConversionDetails details;
    CardList& cards = details.cards;
    AddCard(cards, 1, "Full Fumi", true, 0);
    AddCard(cards, 210, "Many Mails", true, 2);
    AddCard(cards, 420, "", true, 17);
    AddCard(cards, 900, "Rejected Rei", true, 5, Rejection::Version);
    AddCard(cards, 999, "Cut Off", false, 3);
    const std::string report = AfterBookLine(test::ReportText(details));
    EXPECT_EQ(report,
              kShiftJisLine +
              "書き出さなかったカード：2件\n"
              "  カード4（900行目）「Rejected Rei」：未対応のバージョン \"VERSION:4.0\"（901行目）\n"
              "  カード5（999行目）「Cut Off」：END:VCARD がないまま次のカードかファイルの終わりになりました\n"
              "一部を書き出さなかったカード：2件\n"
              "  カード2（210行目）「Many Mails」：項目グループ（item1〜item99）に入りきらない"
              "メールアドレス・住所 2件を書き出していません\n"
              "  カード3（420行目）（名前なし）：項目グループ（item1〜item99）に入りきらない"
              "メールアドレス・住所 17件を書き出していません\n" + kNothingLeftOut);
}

TEST(WriteReport, SaysSoWhenEveryCardWasWrittenWhole)
{
    ConversionDetails details;
    AddCard(details.cards, 1, "Full Fumi", true, 0);
    EXPECT_EQ(AfterBookLine(test::ReportText(details)),
              kShiftJisLine + "書き出さなかったカードはありません。\n" + kNothingLeftOut);
    EXPECT_EQ(AfterBookLine(test::ReportText(ConversionDetails())),
              kShiftJisLine + "書き出さなかったカードはありません。\n" + kNothingLeftOut);
}

TEST(WriteReport, NamesTheFirstLineWithANulAndHowManyThereWere)
{
    ConversionDetails details;
    details.nulCount = 12;
    details.firstNulLine = 345;
    EXPECT_EQ(AfterBookLine(test::ReportText(details)),
              kShiftJisLine + "書き出さなかったカードはありません。\n"
              "NUL文字（0x00）が12個ありました（最初は345行目）。改行として読みました。\n" +
                  kNothingLeftOut);
}

// Pictograms no one carrier's table holds: the reader is told how to choose
// the carrier in the program the report comes from.
TEST(WriteReport, SaysHowToChooseTheCarrierInTheFrontEndThatAsks)
{
    ConversionDetails details;
    details.unattributedCodes = true;
    const std::string sentence = "携帯電話会社を選んで変換し直すと絵文字になります";
    const std::string byOption = WideToUtf8(test::ReportText(details));
    EXPECT_NE(byOption.find(sentence + "（コマンドラインでは --emoji=docomo、--emoji=au、--emoji=softbank）。\n"),
              std::string::npos);
    const std::string inPage = WideToUtf8(test::ReportText(details, u"（【携帯電話の絵文字】で選べます）"));
    EXPECT_NE(inPage.find(sentence + "（【携帯電話の絵文字】で選べます）。\n"), std::string::npos);
    EXPECT_EQ(inPage.find("--emoji"), std::string::npos);
}

// Only what written cards lost is listed (an FN line's characters only where
// the card has no N); what the full log could not hold is counted. Control
// characters quoted from the file are shown, not sent to the terminal.
TEST(WriteReport, ListsWhatWrittenCardsLostAndCountsWhatTheLogCouldNotHold)
{
    ConversionDetails details;
    CardList& cards = details.cards;
    AddCard(cards, 1, "Kim\x1b]0;x\x07", true, 0, Rejection::None, true);
    AddCard(cards, 20, "Rejected Rei", true, 0, Rejection::Version);
    LossLog& log = cards.lossLog;
    NoteLoss(log, 0, LossKind::Line, false, 5, 0, "X-FOO");
    NoteLoss(log, 0, LossKind::Character, true, 3, 0xAC00);
    NoteLoss(log, 0, LossKind::Line, false, 9, 0, "X-FOO");
    NoteLoss(log, 0, LossKind::Line, false, 11, 0, "X-\x1b[2J");
    NoteLoss(log, 0, LossKind::ClosestForm, false, 12, 0xFC, "u");
    NoteLoss(log, 0, LossKind::Control, false, 13, 0x1B);
    NoteLoss(log, 1, LossKind::Line, false, 22, 0, "X-BAR");
    log.unlisted[static_cast<std::size_t>(LossKind::PrivateUse)] = 7;
    details.unattributedCodes = true;  // the pictogram line counts them as their list does
    EXPECT_EQ(AfterBookLine(test::ReportText(details)).substr(kShiftJisLine.size()),
              "書き出さなかったカード：1件\n"
              "  カード2（20行目）「Rejected Rei」：未対応のバージョン \"VERSION:4.0\"（21行目）\n"
              "絵文字：携帯電話の絵文字と思われる文字7個は、どの携帯電話会社のものか決められないため、"
              "そのままにしました（iPhone では表示されません）。携帯電話会社を選んで変換し直すと絵文字になります"
              "（コマンドラインでは --emoji=docomo、--emoji=au、--emoji=softbank）。\n"
              "書き出さなかった項目：3件（カード1件）\n"
              "  カード1（1行目）「Kim\\x1b]0;x\\x07」：X-FOO（5行目ほか、計2件）、X-\\x1b[2J（11行目）\n"
              "Shift_JIS にないため空白にした文字：なし\n"
              "Shift_JIS にないため近い文字にした文字：1文字（カード1件）\n"
              "  カード1（1行目）「Kim\\x1b]0;x\\x07」：U+00FC→u（12行目）\n"
              "書き出さなかった制御文字：1文字（カード1件）\n"
              "  カード1（1行目）「Kim\\x1b]0;x\\x07」：U+001B（13行目）\n"
              "私用領域の文字（iPhone では何も表示されません。携帯電話の絵文字など）：7文字（カード0件）\n"
              "  ほかに、数が多いため一覧にしていないもの 7文字\n");
    // A card's line names 30 of them and counts the rest.
    for (const auto& [names, ending] :
         {std::pair{30, "X-29（30行目）\n"}, std::pair{31, "X-29（30行目）、ほか1種類\n"}}) {
        ConversionDetails many;
        AddCard(many.cards, 1, "Many", true, 0);
        for (int i = 0; i < names; ++i) {
            NoteLoss(many.cards.lossLog, 0, LossKind::Line, false, i + 1, 0, "X-" + std::to_string(i));
        }
        const std::string report = WideToUtf8(test::ReportText(many));
        EXPECT_NE(report.find(ending), std::string::npos) << report;
    }
}

TEST(NoteLoss, KeepsABoundedLogAndCountsRepeatsInPlace)
{
    LossLog log;
    for (std::uint32_t code = 0; code < kMaxLoggedLosses + 2; ++code) {
        NoteLoss(log, 0, LossKind::Character, false, 1, code);
    }
    NoteLoss(log, 0, LossKind::Character, false, 2, 0);
    EXPECT_EQ(log.losses.size(), kMaxLoggedLosses);
    SettleCardLosses(log, true, false);
    EXPECT_EQ(log.unlisted[static_cast<std::size_t>(LossKind::Character)], 2);
    EXPECT_EQ(log.losses[0].count, 2u);
    EXPECT_EQ(log.losses[0].line, 1);
}

// The text file the page saves and the window opens.
TEST(AppendReportFileText, WritesUtf8WithCrLfAfterWhatIsThere)
{
    std::string file(kReportFileMark);
    AppendReportFileText(file, u"カード1「김」\n");
    AppendReportFileText(file, u"\n\U0001F600 a\r\n");
    EXPECT_EQ(file, "\xEF\xBB\xBF" "カード1「김」\r\n\r\n\xF0\x9F\x98\x80 a\r\r\n");
    std::string empty;
    AppendReportFileText(empty, u"");
    EXPECT_EQ(empty, "");
}

} // namespace
} // namespace karuto
