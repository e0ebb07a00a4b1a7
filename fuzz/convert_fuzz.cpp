// Any input file converts without a crash into a well-formed output file: the
// byte-order mark, whole UTF-16 units, every line ended by CR LF, counts that
// agree with the cards, and the job's messages in their order; and into the
// form for iCloud.com: the same cards, each opening with VERSION:3.0 and FN,
// in lines of at most 75 octets folded between characters.

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "fuzz/check.h"
#include "job/conversion.h"
#include "platform/unicode.h"

namespace {

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

std::string Convert(const std::uint8_t* data, std::size_t size, const karuto::JobWindow& window,
                    karuto::ConversionDetails& details, karuto::OutputForm form, int& result)
{
    std::string file;
    result = karuto::ConvertFileBytes(
        u"in.vcf", std::string(reinterpret_cast<const char*>(data), size), window,
        [&file](std::string_view block) {
            file += block;
            return true;
        },
        &details, karuto::EmojiChoice::Auto, form);
    return file;
}

void CheckICloudForm(std::string_view file, std::int32_t cardsWritten)
{
    std::int32_t cards = 0;
    for (std::size_t start = 0, end; (end = file.find("\r\n", start)) != std::string_view::npos; start = end + 2) {
        const std::string_view line = file.substr(start, end - start);
        Check(line.size() <= 75);
        Check(line.empty() || (static_cast<unsigned char>(line[0]) & 0xC0) != 0x80);
        cards += file.substr(start).starts_with("BEGIN:VCARD\r\nVERSION:3.0\r\nFN:") ? 1 : 0;
    }
    Check(cards == cardsWritten);
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
    karuto::ConversionDetails details;
    int result = 0;
    const std::string file = Convert(data, size, window, details, karuto::OutputForm::IPhone, result);
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
    CheckLineEnds(karuto::Utf16LeUnits(std::string_view(file).substr(2)),
                  HasLoneCr(std::string_view(reinterpret_cast<const char*>(data), size)));

    karuto::ConversionDetails icloudDetails;
    const std::string icloud = Convert(data, size, window, icloudDetails, karuto::OutputForm::ICloud, result);
    Check(result == 0 && karuto::CountCards(icloudDetails.cards).cardsWritten == counts.cardsWritten);
    CheckICloudForm(icloud, counts.cardsWritten);
    return 0;
}
