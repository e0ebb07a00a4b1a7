#pragma once
// Decoding of one raw property value into the text of the output card.

#include <string_view>
#include <vector>

#include "platform/shift_jis.h"
#include "vcard/line.h"
#include "vcard/strings.h"

namespace karuto {

// How the values of one property line are decoded.
struct ValueDecoding {
    ValueEncoding encoding = EncodingNone;
    Charset charset = CharsetNone;     // of the bytes that Quoted-Printable escapes stand for
    Charset ownCharset = CharsetNone;  // of the bytes that stand as they are
    bool widenKana = false;
    bool loneCrBreaks = false;  // a CR alone in a value is a line break, as an escaped one is
    // Where each character not written as itself is noted; or none.
    std::vector<Substitution>* substituted = nullptr;
};

// The decoding of the values of `line`, with katakana widened as it asks;
// nothing noted of the characters not written as themselves.
ValueDecoding DecodingOf(const LogicalLine& line);

// The value decoded, appended to `target`: Quoted-Printable, then UTF-8 to
// Shift_JIS, then the control characters escapes stood for left out (and
// noted, as U+001B and the like), then every line break of a Quoted-Printable value made a CR LF
// and a space, then (when asked) katakana widening. The value holds no NUL
// byte (no line of the card scanner does). Where the bytes that stand as they
// are and those that Quoted-Printable escapes stand for differ in charset,
// each run is converted from its own. The stages between reuse their buffers,
// so a book's values are decoded without allocating for each one.
void AppendDecodedValue(const ValueDecoding& decoding, std::string_view value, OwnedString& target);

// A Quoted-Printable value's bytes, all of them, NUL bytes included (a photo),
// appended to `target` in Base64 (RFC 4648, with padding), CR LF and a space
// after every 76 characters that more follow, so that it goes on as a folded line.
void AppendQuotedPrintableAsBase64(std::string_view value, OwnedString& target);

// Decodes "=XX" escapes; a decoded NUL ends the result. A malformed escape is
// kept as it stands.
OwnedString DecodeQuotedPrintable(std::string_view text);

} // namespace karuto
