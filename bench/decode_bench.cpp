// Value decoding over large values: the time per byte must stay flat as the
// value grows from 64 KiB to 1 MiB.

#include <benchmark/benchmark.h>

#include <cstddef>
#include <string>
#include <string_view>

#include "decode/value.h"

namespace karuto {
namespace {

// Repeats `unit` until the text holds `size` bytes (a partial unit at the end).
std::string Fill(std::string_view unit, std::size_t size)
{
    std::string text;
    text.reserve(size);
    while (text.size() < size) text.append(unit.substr(0, size - text.size()));
    return text;
}

// A note of half-width katakana with merging, non-merging and stray sound marks:
// ｶﾞﾊﾟｱﾞﾃﾞﾝﾜﾞﾞ ｰ｡ｳﾞ followed by full-width カ゛ and a two-byte Γ.
constexpr std::string_view kKanaUnit =
    "\xB6\xDE\xCA\xDF\xB1\xDE\xC3\xDE\xDD\xDC\xDE\xDE \xB0\xA1\xB3\xDE\x83\x4A\x81\x4A\x83\xA1";

// Quoted-Printable Shift_JIS text with line breaks: "TEL =3D カナ" and CR LF.
constexpr std::string_view kQpUnit = "TEL =3D =83=4A=83=69 ab=0D=0Acd=\xB6 ";

// UTF-8 katakana (カ, ｶﾞ) and a Hangul syllable, all escaped.
constexpr std::string_view kQpUtf8Unit = "=E3=82=AB=EF=BD=B6=EF=BE=9E=ED=95=9C x=0A";

void RunDecode(benchmark::State& state, std::string_view unit, ValueEncoding encoding,
               Charset charset, bool widenKana)
{
    const std::string value = Fill(unit, static_cast<std::size_t>(state.range(0)));
    for (auto _ : state) {
        OwnedString decoded;
        AppendDecodedValue({encoding, charset, charset, widenKana}, value, decoded);
        benchmark::DoNotOptimize(decoded.data());
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) *
                            static_cast<std::int64_t>(value.size()));
}

void BM_DecodeHalfWidthKanaNote(benchmark::State& state)
{
    RunDecode(state, kKanaUnit, EncodingNone, CharsetShiftJis, true);
}

void BM_DecodeQuotedPrintable(benchmark::State& state)
{
    RunDecode(state, kQpUnit, EncodingQuotedPrintable, CharsetShiftJis, true);
}

void BM_DecodeQuotedPrintableUtf8(benchmark::State& state)
{
    RunDecode(state, kQpUtf8Unit, EncodingQuotedPrintable, CharsetUtf8, true);
}

BENCHMARK(BM_DecodeHalfWidthKanaNote)->RangeMultiplier(4)->Range(64 << 10, 1 << 20);
BENCHMARK(BM_DecodeQuotedPrintable)->RangeMultiplier(4)->Range(64 << 10, 1 << 20);
BENCHMARK(BM_DecodeQuotedPrintableUtf8)->RangeMultiplier(4)->Range(64 << 10, 1 << 20);

} // namespace
} // namespace karuto
