#include "decode/katakana.h"

#include <iterator>
#include <span>

#include "platform/shift_jis.h"

namespace karuto {

namespace {

constexpr std::uint16_t kVoicedMark = 0x814A;      // ゛
constexpr std::uint16_t kSemiVoicedMark = 0x814B;  // ゜
constexpr unsigned char kHalfWidthVoicedMark = 0xDE;      // ﾞ
constexpr unsigned char kHalfWidthSemiVoicedMark = 0xDF;  // ﾟ

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

void AppendDoubleByte(OwnedString& dst, std::uint16_t code)
{
    dst.push_back(static_cast<char>(code >> 8));
    dst.push_back(static_cast<char>(code & 0xFF));
}

bool IsHalfWidthKana(unsigned char byte)
{
    return byte >= HalfWidthKana.front() && byte <= HalfWidthKana.back();
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

// One character of a text as widening leaves it: a half-width katakana is
// its full-width form, a lead byte with the trail byte after it one two-byte
// character, and any other byte (a lead byte without a trail byte too) itself.
// Were a lone lead byte to take the byte after it along, the result would be
// the same: neither byte widens, and no such pair is a base or a mark.
struct WidenedChar {
    std::uint16_t code;
    bool doubleByte;
};

WidenedChar ReadWidenedChar(std::string_view text, std::size_t& pos)
{
    const auto byte = static_cast<unsigned char>(text[pos]);
    if (IsHalfWidthKana(byte)) {
        ++pos;
        return {FullWidthKana[byte - HalfWidthKana.front()], true};
    }
    if (AnsiCharLength(text, pos) == 2) {
        const auto trail = static_cast<unsigned char>(text[pos + 1]);
        pos += 2;
        return {static_cast<std::uint16_t>((byte << 8) | trail), true};
    }
    ++pos;
    return {byte, false};
}

bool IsSoundMark(std::uint16_t code)
{
    return code == kVoicedMark || code == kSemiVoicedMark;
}

// Could the character at `pos` widen into a sound mark: ﾞ, ﾟ, ゛ or ゜?
bool MayBeSoundMark(std::string_view text, std::size_t pos)
{
    if (pos >= text.size()) return false;
    const auto byte = static_cast<unsigned char>(text[pos]);
    if (byte == kHalfWidthVoicedMark || byte == kHalfWidthSemiVoicedMark) return true;
    return byte == (kVoicedMark >> 8) && pos + 1 < text.size() &&
           (static_cast<unsigned char>(text[pos + 1]) == (kVoicedMark & 0xFF) ||
            static_cast<unsigned char>(text[pos + 1]) == (kSemiVoicedMark & 0xFF));
}

// Where the characters from `pos` on that neither widen nor merge end: one
// that does is a half-width katakana, or a two-byte character before what
// may be a sound mark.
std::size_t KeptCharacters(std::string_view text, std::size_t pos)
{
    while (pos < text.size()) {
        const auto byte = static_cast<unsigned char>(text[pos]);
        if (byte < 0x80) {
            ++pos;
        } else if (IsHalfWidthKana(byte)) {
            break;
        } else if (AnsiCharLength(text, pos) == 2) {
            if (MayBeSoundMark(text, pos + 2)) break;
            pos += 2;
        } else {
            ++pos;
        }
    }
    return pos;
}

} // namespace

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
    const std::size_t width = AnsiCharLength(src, pos);
    dst.append(src.substr(pos, width));
    return width;
}

// Widening comes first, so that half-width marks become the full-width marks
// that merging looks for: ｶﾞ, カﾞ, ｶ゛ and カ゛ all end as ガ. Both happen in
// one pass, each character merged with the widened one after it.
void AppendWidenedKatakana(std::string_view text, OwnedString& widened)
{
    std::size_t pos = 0;
    while (pos < text.size()) {
        // Characters that stay as they are go in one piece.
        const std::size_t kept = KeptCharacters(text, pos);
        widened.append(text, pos, kept - pos);
        pos = kept;
        if (pos == text.size()) break;

        const std::size_t start = pos;
        const WidenedChar current = ReadWidenedChar(text, pos);
        if (current.doubleByte && pos < text.size()) {
            std::size_t afterNext = pos;
            const WidenedChar next = ReadWidenedChar(text, afterNext);
            const std::uint16_t merged = next.doubleByte && IsSoundMark(next.code)
                                             ? MergedSoundMark(current.code, next.code)
                                             : 0;
            if (merged != 0) {
                AppendDoubleByte(widened, merged);
                pos = afterNext;
                continue;
            }
        }
        if (IsHalfWidthKana(static_cast<unsigned char>(text[start]))) {
            AppendDoubleByte(widened, current.code);
        } else {
            AppendChar(widened, text, start);  // a character before a mark it does not take
        }
    }
}

} // namespace karuto
