// A 50 MB generated address book converts end to end: under the sanitizer
// build this is the memory-safety check at size.

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "bench/address_book.h"
#include "job/conversion.h"
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

} // namespace
} // namespace karuto
