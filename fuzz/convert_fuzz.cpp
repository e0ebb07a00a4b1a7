// Any input file converts without a crash into a well-formed output file: the
// byte-order mark, whole UTF-16 units, every line ended by CR LF, counts that
// agree with the cards, and the job's messages in their order.

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

#include "job/conversion.h"

namespace {

void Check(bool condition)
{
    if (!condition) std::abort();
}

std::u16string Units(const std::string& bytes)
{
    std::u16string units;
    for (std::size_t i = 0; i + 1 < bytes.size(); i += 2) {
        units += static_cast<char16_t>(static_cast<unsigned char>(bytes[i]) |
                                       static_cast<unsigned char>(bytes[i + 1]) << 8);
    }
    return units;
}

bool HasLoneCr(std::string_view bytes)
{
    for (std::size_t i = bytes.find('\r'); i != std::string_view::npos; i = bytes.find('\r', i + 1)) {
        if (i + 1 == bytes.size() || bytes[i + 1] != '\n') return true;
    }
    return false;
}

// No line of the output lacks its CR LF: every LF follows a CR and the last
// line is ended too. A CR alone is only ever one the input had inside a line,
// which the scanner keeps as part of it.
void CheckLineEnds(std::u16string_view text, bool inputHasLoneCr)
{
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == u'\r' && !inputHasLoneCr) Check(i + 1 < text.size() && text[i + 1] == u'\n');
        if (text[i] == u'\n') Check(i > 0 && text[i - 1] == u'\r');
    }
    Check(text.empty() || text.ends_with(u"\r\n"));
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    // The bytes are a whole input file: its byte-order mark decides how it is
    // read, and its NUL bytes reach the scanner.
    std::vector<std::u16string> lines;
    karuto::JobWindow window;
    window.askQuestion = [](std::u16string_view) { return true; };
    window.showError = [](std::u16string_view) {};
    window.addMessage = [&lines](std::u16string_view text) { lines.emplace_back(text); };
    std::string file;
    karuto::ConversionDetails details;
    const int result = karuto::ConvertFileBytes(
        u"in.vcf", std::string(reinterpret_cast<const char*>(data), size), window,
        [&file](std::string_view block) {
            file += block;
            return true;
        },
        &details);
    Check(!lines.empty() && lines.front() == karuto::kConverting);
    if (result != 0) {
        Check(lines.back() == karuto::kFailed);
        return 0;
    }

    const karuto::CardCounts counts = karuto::CountCards(details.cards);
    Check(counts.cardsWritten <= counts.cardsRead);
    Check(static_cast<std::size_t>(counts.cardsRead) <= details.cards.records.size());
    Check(lines.back() == (counts.cardsWritten == 0
                               ? std::u16string(karuto::kNothingWritten)
                               : karuto::FormatSummary(counts.cardsRead, counts.cardsWritten)));
    Check(file.size() >= 2 && file.size() % 2 == 0);
    Check(file.compare(0, 2, "\xFF\xFE") == 0);
    Check((counts.cardsWritten == 0) == (file.size() == 2));
    CheckLineEnds(Units(file.substr(2)),
                  HasLoneCr(std::string_view(reinterpret_cast<const char*>(data), size)));
    return 0;
}
