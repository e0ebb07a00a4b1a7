// Splitting property lines: escaped delimiters and double-byte text must not
// make a split slower per byte as the line grows.

#include <benchmark/benchmark.h>

#include <string>

#include "vcard/strings.h"

namespace karuto {
namespace {

// A value made of escaped ";" only: every delimiter is examined and skipped.
void BM_SplitEscapedDelimiters(benchmark::State& state)
{
    std::string line = "NOTE:";
    while (line.size() < static_cast<std::size_t>(state.range(0))) line += "\\;";
    PropertyTokens tokens;
    for (auto _ : state) {
        SplitPropertyNameInto(line, tokens);
        SplitPropertyValueInto(line, tokens);
        benchmark::DoNotOptimize(tokens.valueTokens.data());
    }
    state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(line.size()));
}
BENCHMARK(BM_SplitEscapedDelimiters)->Arg(64 << 10)->Arg(256 << 10)->Arg(1 << 20);

// Shift_JIS text whose second bytes are backslashes ("ソ" is 83 5C), split at
// every real delimiter.
void BM_SplitDoubleByteTokens(benchmark::State& state)
{
    std::string line = "N:";
    while (line.size() < static_cast<std::size_t>(state.range(0))) line += "\x83\x5C\\;\x83\x5C;";
    PropertyTokens tokens;
    for (auto _ : state) {
        SplitPropertyNameInto(line, tokens);
        SplitPropertyValueInto(line, tokens);
        benchmark::DoNotOptimize(tokens.valueTokens.data());
    }
    state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(line.size()));
}
BENCHMARK(BM_SplitDoubleByteTokens)->Arg(64 << 10)->Arg(256 << 10)->Arg(1 << 20);

} // namespace
} // namespace karuto
