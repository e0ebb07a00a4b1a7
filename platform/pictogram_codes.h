#pragma once
// The pictograms of Japanese feature phones and the emoji they stand for.

#include <cstdint>
#include <string_view>

namespace karuto {

// The Japanese carrier whose feature phones wrote a text: its pictograms are
// double-byte codes of its own (docomo F89F-F9FC, au F340-F7FC, SoftBank
// F741-F9ED and FB41-FBD7), which code page 932 reads as private-use
// characters (and SoftBank's FB codes as IBM extension kanji).
enum class Carrier { None, Docomo, Au, SoftBank };

// The emoji (UTF-16, a character or a sequence) that `code` stands for on
// `carrier`'s phones; empty when it is none of its pictograms.
std::u16string_view PictogramOf(Carrier carrier, std::uint16_t code);

// Whose pictograms the output's conversion turns into emoji, and how many it turned.
struct PictogramConversion {
    Carrier carrier = Carrier::None;
    std::int64_t converted = 0;
};

} // namespace karuto
