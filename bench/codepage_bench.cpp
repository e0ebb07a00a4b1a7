// Throughput of the code-page conversions on address-book-like text: ASCII
// property names mixed with kanji, kana and half-width katakana.

#include <benchmark/benchmark.h>

#include <cstddef>
#include <cstdint>
#include <string>

#include "platform/shift_jis.h"
#include "platform/unicode.h"

namespace {

// A vCard line in Shift_JIS: "N:" 山田;太郎 ｶﾅ, then CR LF.
const std::string kSampleLine =
    "N:\x8E\x52\x93\x63;\x91\xBE\x98\x59 \xB6\xC5 TEL;CELL:090-1234-5678\r\n";

std::string AnsiText(std::size_t size)
{
    std::string text;
    while (text.size() < size)
        text += kSampleLine;
    return text;
}

void BM_AnsiToWide(benchmark::State& state)
{
    const std::string ansi = AnsiText(static_cast<std::size_t>(state.range(0)));
    for (auto _ : state)
        benchmark::DoNotOptimize(karuto::AnsiToWide(ansi));
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * ansi.size()));
}
BENCHMARK(BM_AnsiToWide)->Range(4 << 10, 4 << 20);

void BM_WideToAnsi(benchmark::State& state)
{
    const std::u16string wide =
        karuto::AnsiToWide(AnsiText(static_cast<std::size_t>(state.range(0))));
    for (auto _ : state)
        benchmark::DoNotOptimize(karuto::WideToAnsi(wide));
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * wide.size() * 2));
}
BENCHMARK(BM_WideToAnsi)->Range(4 << 10, 4 << 20);

void BM_Utf8ToWide(benchmark::State& state)
{
    const std::string utf8 =
        karuto::WideToUtf8(karuto::AnsiToWide(AnsiText(static_cast<std::size_t>(state.range(0)))));
    for (auto _ : state)
        benchmark::DoNotOptimize(karuto::Utf8ToWide(utf8));
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * utf8.size()));
}
BENCHMARK(BM_Utf8ToWide)->Range(4 << 10, 4 << 20);

void BM_WideToUtf8(benchmark::State& state)
{
    const std::u16string wide =
        karuto::AnsiToWide(AnsiText(static_cast<std::size_t>(state.range(0))));
    for (auto _ : state)
        benchmark::DoNotOptimize(karuto::WideToUtf8(wide));
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * wide.size() * 2));
}
BENCHMARK(BM_WideToUtf8)->Range(4 << 10, 4 << 20);

} // namespace
