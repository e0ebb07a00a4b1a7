#include "decode/katakana.h"

#include <algorithm>
#include <iterator>
#include <span>

#include "platform/codepage.h"

namespace karuto {

namespace {

constexpr unsigned char kFirstHalfWidthKana = 0xA1;
constexpr unsigned char kLastHalfWidthKana = 0xDF;

constexpr std::uint16_t kVoicedMark = 0x814A;      // ゛
constexpr std::uint16_t kSemiVoicedMark = 0x814B;  // ゜

// ウ カ キ ク ケ コ サ シ ス セ ソ タ チ ツ テ ト ハ ヒ フ ヘ ホ
constexpr std::uint16_t kVoicedBases[] = {
    0x8345, 0x834A, 0x834C, 0x834E, 0x8350, 0x8352, 0x8354, 0x8356, 0x8358, 0x835A, 0x835C,
    0x835E, 0x8360, 0x8363, 0x8365, 0x8367, 0x836E, 0x8371, 0x8374, 0x8377, 0x837A};
// ヴ ガ ギ グ ゲ ゴ ザ ジ ズ ゼ ゾ ダ ヂ ヅ デ ド バ ビ ブ ベ ボ
constexpr std::uint16_t kVoicedResults[] = {
    0x8394, 0x834B, 0x834D, 0x834F, 0x8351, 0x8353, 0x8355, 0x8357, 0x8359, 0x835B, 0x835D,
    0x835F, 0x8361, 0x8364, 0x8366, 0x8368, 0x836F, 0x8372, 0x8375, 0x8378, 0x837B};
// ハ ヒ フ ヘ ホ
constexpr std::uint16_t kSemiVoicedBases[] = {0x836E, 0x8371, 0x8374, 0x8377, 0x837A};
// パ ピ プ ペ ポ
constexpr std::uint16_t kSemiVoicedResults[] = {0x8370, 0x8373, 0x8376, 0x8379, 0x837C};

static_assert(std::size(kVoicedBases) == std::size(kVoicedResults));
static_assert(std::size(kSemiVoicedBases) == std::size(kSemiVoicedResults));

struct SoundMarkTable {
    std::uint16_t mark;
    std::span<const std::uint16_t> bases;
    std::span<const std::uint16_t> results;  // parallel to bases
};

// Tried in this order. ワ, ヰ, ヱ, ヲ, the vowels other than ウ and all hiragana
// are deliberately absent: they never merge.
constexpr SoundMarkTable kSoundMarkTables[] = {
    {kVoicedMark, kVoicedBases, kVoicedResults},
    {kSemiVoicedMark, kSemiVoicedBases, kSemiVoicedResults},
};

constexpr std::array<unsigned char, 63> MakeHalfWidthKana()
{
    std::array<unsigned char, 63> bytes{};
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        bytes[i] = static_cast<unsigned char>(kFirstHalfWidthKana + i);
    }
    return bytes;
}

void AppendDoubleByte(OwnedString& dst, std::uint16_t code)
{
    dst.push_back(static_cast<char>(code >> 8));
    dst.push_back(static_cast<char>(code & 0xFF));
}

bool IsHalfWidthKana(unsigned char byte)
{
    return byte >= kFirstHalfWidthKana && byte <= kLastHalfWidthKana;
}

// The two-byte character starting at `pos`, or 0 when the character there is a
// single byte (a one-byte character is never a base or a mark).
std::uint16_t DoubleByteAt(std::string_view text, std::size_t pos)
{
    if (pos + 1 >= text.size()) return 0;
    const auto lead = static_cast<unsigned char>(text[pos]);
    if (!IsAnsiLeadByte(lead)) return 0;
    return static_cast<std::uint16_t>((lead << 8) | static_cast<unsigned char>(text[pos + 1]));
}

// The merged character for `base` followed by `mark`, or 0 when they don't merge.
std::uint16_t MergedSoundMark(std::uint16_t base, std::uint16_t mark)
{
    for (const SoundMarkTable& table : kSoundMarkTables) {
        if (table.mark != mark) continue;
        for (std::size_t i = 0; i < table.bases.size(); ++i) {
            if (table.bases[i] == base) return table.results[i];
        }
    }
    return 0;
}

OwnedString WidenHalfWidthKana(std::string_view text)
{
    OwnedString widened;
    widened.reserve(text.size() * 2);
    std::size_t pos = 0;
    while (pos < text.size()) {
        const auto byte = static_cast<unsigned char>(text[pos]);
        if (IsHalfWidthKana(byte)) {
            AppendDoubleByte(widened, FullWidthKana[byte - kFirstHalfWidthKana]);
            ++pos;
        } else {
            pos += AppendChar(widened, text, pos);
        }
    }
    return widened;
}

OwnedString MergeSoundMarks(std::string_view text)
{
    OwnedString merged;
    merged.reserve(text.size());
    std::size_t pos = 0;
    while (pos < text.size()) {
        const std::uint16_t current = DoubleByteAt(text, pos);
        if (current != 0) {
            const std::uint16_t next = DoubleByteAt(text, pos + 2);
            const std::uint16_t result = next != 0 ? MergedSoundMark(current, next) : 0;
            if (result != 0) {
                AppendDoubleByte(merged, result);
                pos += 4;
                continue;
            }
        }
        pos += AppendChar(merged, text, pos);
    }
    return merged;
}

} // namespace

const std::array<unsigned char, 63> HalfWidthKana = MakeHalfWidthKana();

const std::array<std::uint16_t, 63> FullWidthKana = {
    0x8142, 0x8175, 0x8176, 0x8141, 0x8145,  // 。「」、・
    0x8392,                                  // ヲ
    0x8340, 0x8342, 0x8344, 0x8346, 0x8348,  // ァィゥェォ
    0x8383, 0x8385, 0x8387, 0x8362,          // ャュョッ
    0x815B,                                  // ー
    0x8341, 0x8343, 0x8345, 0x8347, 0x8349,  // アイウエオ
    0x834A, 0x834C, 0x834E, 0x8350, 0x8352,  // カキクケコ
    0x8354, 0x8356, 0x8358, 0x835A, 0x835C,  // サシスセソ
    0x835E, 0x8360, 0x8363, 0x8365, 0x8367,  // タチツテト
    0x8369, 0x836A, 0x836B, 0x836C, 0x836D,  // ナニヌネノ
    0x836E, 0x8371, 0x8374, 0x8377, 0x837A,  // ハヒフヘホ
    0x837D, 0x837E, 0x8380, 0x8381, 0x8382,  // マミムメモ
    0x8384, 0x8386, 0x8388,                  // ヤユヨ
    0x8389, 0x838A, 0x838B, 0x838C, 0x838D,  // ラリルレロ
    0x838F, 0x8393,                          // ワン
    0x814A, 0x814B,                          // ゛゜
};

// The caller vouches that `pos` is a character boundary, so the lead-byte test
// of this one byte is enough; walking again from the start of `src` for every
// character would make a whole pass quadratic.
std::size_t AppendChar(OwnedString& dst, std::string_view src, std::size_t pos)
{
    if (pos >= src.size()) return 0;
    const auto byte = static_cast<unsigned char>(src[pos]);
    const std::size_t width = IsAnsiLeadByte(byte) && pos + 1 < src.size() ? 2 : 1;
    dst.append(src.substr(pos, width));
    return width;
}

// Widening runs first so that half-width marks become the full-width marks that
// merging looks for: ｶﾞ, カﾞ, ｶ゛ and カ゛ all end as ガ.
OwnedString WidenKatakana(std::string_view text)
{
    text = UpToFirstNul(text);
    // Most values (numbers, addresses in kanji, plain ASCII) hold no
    // half-width kana and no sound mark: nothing to do but copy them.
    const bool halfWidth = std::any_of(text.begin(), text.end(), [](char byte) {
        return IsHalfWidthKana(static_cast<unsigned char>(byte));
    });
    OwnedString widened = halfWidth ? WidenHalfWidthKana(text) : OwnedString(text);
    const bool marks = widened.find("\x81\x4A") != OwnedString::npos ||
                       widened.find("\x81\x4B") != OwnedString::npos;
    return marks ? MergeSoundMarks(widened) : widened;
}

} // namespace karuto
