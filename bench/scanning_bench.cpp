// Whole conversions of large inputs into a temporary output file: the time per
// e-mail, parameter, card or folded line must stay flat as the input grows.

#include <benchmark/benchmark.h>

#include <cstdint>
#include <filesystem>
#include <random>
#include <string>
#include <string_view>
#include <system_error>

#include "job/output.h"
#include "writer/scanning.h"

namespace karuto {
namespace {

// An output file in the temporary folder, removed when the benchmark is done.
struct TemporaryOutput {
    std::filesystem::path path;
    explicit TemporaryOutput(std::string_view benchmarkName)
        : path(std::filesystem::temp_directory_path() /
               ("karuto-bench-" + std::string(benchmarkName) + "-" +
                std::to_string(std::random_device()()) + ".vcf"))
    {
    }
    ~TemporaryOutput()
    {
        std::error_code ignored;
        std::filesystem::remove(path, ignored);
    }
    TemporaryOutput(const TemporaryOutput&) = delete;
    TemporaryOutput& operator=(const TemporaryOutput&) = delete;
};

// Converts `text` once per iteration, each time into a freshly created file.
void RunConversion(benchmark::State& state, const std::string& text, std::string_view name)
{
    const TemporaryOutput output(name);
    const std::u16string path = output.path.u16string();
    CardCounts counts;
    for (auto _ : state) {
        // Written but never put in place: the flush to disk before the
        // replacement would measure the disk, not the converter.
        OutputFile file;
        if (OpenOutputFile(path, file) != Outcome::Done) {
            state.SkipWithError("cannot create the output file");
            return;
        }
        CardList cards;
        CardWriter writer = FileCardWriter(file.file);
        counts = ConvertText(text, cards,
                             [&writer](std::string_view card) { return WriteCardBuffered(card, writer); });
        FlushCards(writer);
        benchmark::DoNotOptimize(counts);
    }
    state.counters["cardsWritten"] = counts.cardsWritten;
    state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations()) * state.range(0));
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) *
                            static_cast<std::int64_t>(text.size()));
}

// One card with n e-mails of every form: work, home, and item groups (of which
// only the first 99 are written).
std::string CardWithEmails(std::int64_t count)
{
    constexpr std::string_view kForms[] = {"EMAIL;WORK:", "EMAIL;INTERNET:",
                                           "EMAIL;INTERNET;CELL:", "EMAIL:"};
    std::string text = "BEGIN:VCARD\r\nVERSION:2.1\r\nN;CHARSET=SHIFT_JIS:last;first;;;\r\n";
    for (std::int64_t i = 0; i < count; ++i) {
        text.append(kForms[i % 4]).append("user").append(std::to_string(i));
        text.append("@example.com\r\n");
    }
    return text.append("END:VCARD\r\n");
}

// One card whose e-mail line carries n parameters; the last one, INTERNET,
// makes it a home address only after every other parameter has been looked at.
std::string CardWithManyParameters(std::int64_t count)
{
    std::string text = "BEGIN:VCARD\r\nVERSION:2.1\r\nEMAIL";
    for (std::int64_t i = 0; i < count; ++i) text.append(";X-PARAM").append(std::to_string(i));
    text.append(";CHARSET=SHIFT_JIS;INTERNET:user@example.com\r\n");
    // The same parameters on a line that keeps them all.
    text.append("TEL");
    for (std::int64_t i = 0; i < count; ++i) text.append(";X-PARAM").append(std::to_string(i));
    return text.append(";CELL:090-0000-0000\r\nEND:VCARD\r\n");
}

// n small cards, one of every eight rejected, with a Quoted-Printable note and
// a folded organisation.
std::string ManyCards(std::int64_t count)
{
    std::string text;
    for (std::int64_t i = 0; i < count; ++i) {
        text.append("BEGIN:VCARD\r\n");
        text.append(i % 8 == 7 ? "VERSION:4.0\r\n" : "VERSION:2.1\r\n");
        text.append("N;CHARSET=SHIFT_JIS:\x8E\x52\x96\x7B;\xB1\xB2\xB3;;;\r\n");  // 山本;ｱｲｳ
        text.append("TEL;CELL:090-0000-").append(std::to_string(i % 10000)).append("\r\n");
        text.append("EMAIL;INTERNET:user").append(std::to_string(i)).append("@example.com\r\n");
        text.append("NOTE;ENCODING=QUOTED-PRINTABLE:line=0D=0A=\r\nnext\r\n");
        text.append("ORG:Example\r\n Division\r\n");
        text.append("END:VCARD\r\n");
    }
    return text;
}

// One card with a Base64 photo folded into n lines.
std::string CardWithFoldedPhoto(std::int64_t count)
{
    std::string text = "BEGIN:VCARD\r\nVERSION:2.1\r\nPHOTO;ENCODING=BASE64;TYPE=JPEG:";
    for (std::int64_t i = 0; i < count; ++i) {
        text.append(" /9j/4AAQSkZJRgABAQEASABIAAD/2wBDAAgGBgcGBQgHBwcJCQgKDBQNDAsL\r\n");
    }
    return text.append("\r\nEND:VCARD\r\n");
}

void BM_ConvertOneCardWithManyEmails(benchmark::State& state)
{
    RunConversion(state, CardWithEmails(state.range(0)), "emails");
}

void BM_ConvertLineWithManyParameters(benchmark::State& state)
{
    RunConversion(state, CardWithManyParameters(state.range(0)), "parameters");
}

void BM_ConvertManyCards(benchmark::State& state)
{
    RunConversion(state, ManyCards(state.range(0)), "cards");
}

void BM_ConvertLongFoldedPhoto(benchmark::State& state)
{
    RunConversion(state, CardWithFoldedPhoto(state.range(0)), "photo");
}

BENCHMARK(BM_ConvertOneCardWithManyEmails)
    ->Arg(2500)->Arg(10000)->Arg(40000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ConvertLineWithManyParameters)
    ->Arg(25000)->Arg(100000)->Arg(400000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ConvertManyCards)
    ->Arg(25000)->Arg(100000)->Arg(400000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ConvertLongFoldedPhoto)
    ->Arg(25000)->Arg(100000)->Arg(400000)->Unit(benchmark::kMillisecond);

} // namespace
} // namespace karuto
