// A 50 MB generated address book converts end to end: under the sanitizer
// build this is the memory-safety check at size.

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "bench/address_book.h"
#include "job/conversion.h"
#include "job/output.h"
#include "job/report.h"
#include "tests/test_support.h"

namespace karuto {
namespace {

TEST(LargeAddressBook, FiftyMegabytesConvertWhole)
{
    for (const bench::BookKind kind : {bench::BookKind::ShiftJis21, bench::BookKind::Utf8V30}) {
        test::TempDir dir;
        std::string book = bench::GenerateAddressBook(kind, 50u << 20);
        test::WriteFileBytes(dir.ChildPath(u"book.vcf"), book);
        std::int32_t cards = 0;
        for (std::size_t at = book.find("BEGIN:VCARD"); at != std::string::npos;
             at = book.find("BEGIN:VCARD", at + 1)) {
            ++cards;
        }
        std::string().swap(book);

        std::vector<std::u16string> lines;
        JobWindow window;
        window.askQuestion = [](std::u16string_view) { return true; };
        window.showError = [&lines](std::u16string_view text) { lines.emplace_back(text); };
        window.addMessage = [&lines](std::u16string_view text) { lines.emplace_back(text); };
        ConversionDetails details;
        ASSERT_EQ(RunConversion(dir.Child(u"PC→iPhone.vcf"), window, dir.Child(u"book.vcf"), &details), 0);

        const CardCounts counts = CountCards(details.cards);
        EXPECT_EQ(counts.cardsRead, cards);
        EXPECT_EQ(counts.cardsWritten, counts.cardsRead);
        ASSERT_EQ(lines.size(), 3u);
        EXPECT_EQ(lines[2], FormatSummary(counts.cardsRead, counts.cardsWritten));
        const std::string output = test::ReadFileBytes(dir.ChildPath(u"PC→iPhone.vcf"));
        EXPECT_EQ(output.substr(0, 2), "\xFF\xFE");
        EXPECT_EQ(output.substr(output.size() - 22),
                  test::Utf16LeBytes(u"END:VCARD\r\n"));
    }
}

std::uint64_t Fnv1a(std::string_view bytes)
{
    std::uint64_t hash = 0xCBF29CE484222325ull;
    for (const char byte : bytes) {
        hash ^= static_cast<unsigned char>(byte);
        hash *= 0x100000001B3ull;
    }
    return hash;
}

// The output file's bytes of a book converted as the page converts it.
std::string OutputOf(std::string&& book, ConversionDetails* details = nullptr)
{
    std::string output;
    JobWindow window;
    window.askQuestion = [](std::u16string_view) { return true; };
    window.showError = [](std::u16string_view) {};
    window.addMessage = [](std::u16string_view) {};
    const ByteSink sink = [&output](std::string_view bytes) {
        output.append(bytes);
        return true;
    };
    EXPECT_EQ(ConvertFileBytes(u"book.vcf", std::move(book), window, sink, details), 0);
    return output;
}

// Every output byte of a generated book of each kind, as the converter wrote
// it before its hot path was reworked for speed: what speed work must leave
// as it is.
TEST(LargeAddressBook, GeneratedBooksConvertToTheRecordedBytes)
{
    struct Recorded {
        bench::BookKind kind;
        std::size_t outputSize;
        std::uint64_t outputHash;
    };
    const Recorded books[] = {{bench::BookKind::ShiftJis21, 6073116, 0x5279B73A483A4E27ull},
                              {bench::BookKind::Utf8V30, 7470206, 0x8AD8871F935EBFAFull}};
    for (const Recorded& book : books) {
        const std::string output = OutputOf(bench::GenerateAddressBook(book.kind, 4u << 20));
        EXPECT_EQ(output.size(), book.outputSize);
        EXPECT_EQ(Fnv1a(output), book.outputHash);
    }
}

// A card that leaves out more lines than the report's log holds changes
// neither which pictograms a later card gets nor what the report counts of
// cards that are not written.
TEST(LargeAddressBook, AFullLossLogChangesNeitherPictogramsNorCounts)
{
    std::string book = "BEGIN:VCARD\r\nN:many\r\n";
    for (std::size_t i = 0; i <= kMaxLoggedLosses; ++i) book += "X-" + std::to_string(10000000 + i) + ":1\r\n";
    book += "END:VCARD\r\nBEGIN:VCARD\r\nVERSION:4.0\r\nN:\xF0\x40\r\nX-A:1\r\nEND:VCARD\r\n"
            "BEGIN:VCARD\r\nN:\xF8\x9F\r\nEND:VCARD\r\nBEGIN:VCARD\r\nX-B:1\r\n";
    ConversionDetails details;
    const std::string output = OutputOf(std::move(book), &details);
    EXPECT_NE(output.find(test::Utf16LeBytes(u"N:☀\r\n")), std::string::npos);
    const std::u16string report = test::ReportText(details);
    EXPECT_NE(report.find(u"書き出さなかった項目：1048577件（カード1件）\n"), std::u16string::npos);
    EXPECT_NE(report.find(u"ほかに、数が多いため一覧にしていないもの 1件\n"), std::u16string::npos);
    EXPECT_NE(report.find(u"私用領域の文字（iPhone では何も表示されません。携帯電話の絵文字など）：なし\n"),
              std::u16string::npos);
}

} // namespace
} // namespace karuto
