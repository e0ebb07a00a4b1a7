#pragma once
// Decoding of one raw property value into the text of the output card.

#include <string_view>

#include "vcard/line.h"
#include "vcard/strings.h"

namespace karuto {

// Quoted-Printable, then UTF-8 to Shift_JIS, then every line break of a
// Quoted-Printable value made a CR LF and a space, then (when asked) katakana
// widening.
OwnedString DecodeValue(ValueEncoding encoding, std::string_view value, Charset charset,
                        bool widenKana);

// DecodeValue appended to `target`, for a value that holds no NUL byte (no
// line of the card scanner does). The stages between reuse their buffers, so
// a book's values are decoded without allocating for each one.
void AppendDecodedValue(ValueEncoding encoding, std::string_view value, Charset charset,
                        bool widenKana, OwnedString& target);

// Decodes "=XX" escapes; a decoded NUL ends the result. A malformed escape is
// kept as it stands.
OwnedString DecodeQuotedPrintable(std::string_view text);

// UTF-8 to Shift_JIS; every character without a Shift_JIS form, and every
// malformed sequence, becomes one space.
OwnedString Utf8ToAnsi(std::string_view utf8);

// Every line break (CR LF, a lone LF or a lone CR) made CR LF followed by a
// space, so that a decoded line continues on a folded line of its property and
// every output line ends with CR LF.
OwnedString ContinueLineBreaks(std::string_view text);

// Every non-overlapping occurrence of `pattern` (not empty) replaced.
OwnedString ReplaceAll(std::string_view text, std::string_view pattern,
                       std::string_view replacement);

} // namespace karuto
