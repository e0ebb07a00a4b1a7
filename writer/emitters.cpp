#include "writer/emitters.h"

#include <algorithm>
#include <string>

#include "decode/value.h"
#include "vcard/params.h"

namespace karuto {

namespace {

constexpr std::string_view kLineEnd = "\r\n";
constexpr std::string_view kOtherLabel = ".X-ABLabel:_$!<Other>!$_";

constexpr ParamWords kTransferMarkers =
    WordShiftJis | WordUtf8 | WordLatin1 | WordAscii | WordBase64 | WordEncodingB | WordB | WordQuotedPrintable;

// Room for about the whole line at once, so that a long value (a photo) is
// copied into the card once instead of being moved again by the growth for
// the line end after it. At least doubling, so that growing line by line
// stays linear with every standard library.
void MakeRoomForLine(const PropertyTokens& tokens, OwnedString& output)
{
    constexpr std::size_t kLineEndAndMore = 16;
    std::size_t needed = kLineEndAndMore;
    for (std::string_view token : tokens.nameTokens) needed += token.size() + 1;
    for (std::string_view token : tokens.valueTokens) needed += token.size() + 1;
    if (output.capacity() - output.size() >= needed) return;
    output.reserve(std::max(output.size() + needed, 2 * output.capacity()));
}

// The property's name and the parameters that stay: all of them on a Base64
// line, else all but the charset and transfer-encoding markers.
void AppendNameAndParameters(const PropertyTokens& tokens, const ValueDecoding& decoding,
                             OwnedString& output)
{
    const bool keepAll = (decoding.encoding == EncodingBase64);
    for (std::size_t i = 0; i < tokens.nameTokens.size(); ++i) {
        if (!keepAll && (tokens.nameWords[i] & kTransferMarkers)) continue;
        if (i > 0) output.push_back(';');
        AppendString(output, tokens.nameTokens[i]);
    }
}

enum class Destination { Work, Home, Other };

void EmitTyped(CardEntry& entry, Destination destination, std::string_view property,
               const TokenArray& valueTokens, const ValueDecoding& decoding)
{
    OwnedString& output = entry.text;
    if (destination != Destination::Other) {
        output.append(property);
        output.append(destination == Destination::Work ? ";TYPE=WORK:" : ";TYPE=HOME:");
        AppendDecodedValues(valueTokens, decoding, output);
        output.append(kLineEnd);
    } else if (entry.itemCount < kMaxItemGroups) {
        // Past the last group number the value has nowhere to go and is left out.
        const std::string item = "item" + std::to_string(++entry.itemCount);
        output.append(item).append(".").append(property).append(":");
        AppendDecodedValues(valueTokens, decoding, output);
        output.append(kLineEnd);
        output.append(item).append(kOtherLabel).append(kLineEnd);
    } else {
        ++entry.droppedItems;  // for the report: the card is written without it
    }
}

} // namespace

void AppendDecodedValues(const TokenArray& valueTokens, const ValueDecoding& decoding, OwnedString& target)
{
    for (std::size_t i = 0; i < valueTokens.size(); ++i) {
        if (i > 0) target.push_back(';');
        AppendDecodedValue(decoding, valueTokens[i], target);
    }
}

void RememberFormattedName(CardEntry& entry, const TokenArray& valueTokens, const ValueDecoding& decoding)
{
    if (entry.hasFormattedName) return;
    entry.hasFormattedName = true;
    AppendDecodedValues(valueTokens, decoding, entry.formattedName);
}

void EmitNameFromFormattedName(CardEntry& entry)
{
    OwnedString name = "N:";
    name.append(entry.formattedName).append(";;;;").append(kLineEnd);
    if (entry.emptyNameEnd > entry.emptyNameStart) {
        entry.text.replace(entry.emptyNameStart, entry.emptyNameEnd - entry.emptyNameStart, name);
    } else {
        entry.text.append(name);
    }
}

void EmitProperty(CardEntry& entry, const PropertyTokens& tokens, const ValueDecoding& decoding)
{
    OwnedString& output = entry.text;
    MakeRoomForLine(tokens, output);
    AppendNameAndParameters(tokens, decoding, output);
    output.push_back(':');
    AppendDecodedValues(tokens.valueTokens, decoding, output);
    output.append(kLineEnd);
}

void EmitPhoto(CardEntry& entry, const PropertyTokens& tokens, const ValueDecoding& decoding)
{
    if (decoding.encoding != EncodingQuotedPrintable) {
        EmitProperty(entry, tokens, decoding);
        return;
    }
    // An image is bytes, not text: decoded whole, zero bytes included, and
    // written in Base64, which every reader takes for a photo.
    OwnedString& output = entry.text;
    AppendNameAndParameters(tokens, decoding, output);
    output.append(";ENCODING=BASE64:");
    const std::string_view first = tokens.valueTokens.front();
    const std::string_view last = tokens.valueTokens.back();
    AppendQuotedPrintableAsBase64(
        std::string_view(first.data(), static_cast<std::size_t>(last.data() + last.size() - first.data())),
        output);
    output.append(kLineEnd);
}

void EmitPhoneticName(CardEntry& entry, const TokenArray& valueTokens, const ValueDecoding& decoding)
{
    OwnedString& output = entry.text;
    output.append("X-PHONETIC-LAST-NAME:");
    AppendDecodedValue(decoding, valueTokens[0], output);
    output.append(kLineEnd);
    output.append("X-PHONETIC-FIRST-NAME:");
    if (valueTokens.size() >= 2) AppendDecodedValue(decoding, valueTokens[1], output);
    output.append(kLineEnd);
}

bool HasSoleType(ParamWords words, ParamWord type)
{
    if ((words & type) == 0) return false;
    for (const ParamWord other : KnownTypeNames) {
        if (other != type && (words & other) != 0) return false;
    }
    return true;
}

void EmitEmail(CardEntry& entry, const PropertyTokens& tokens, const ValueDecoding& decoding)
{
    const ParamWords words = AnyParamWords(tokens.nameWords);
    Destination destination = Destination::Other;
    if (words & WordWork) {
        destination = Destination::Work;
    } else if ((words & WordHome) || HasSoleType(words, WordInternet) ||
               HasSoleType(words, WordCell) || HasSoleType(words, WordPcs)) {
        destination = Destination::Home;
    }
    EmitTyped(entry, destination, "EMAIL", tokens.valueTokens, decoding);
}

void EmitAddress(CardEntry& entry, const PropertyTokens& tokens, const ValueDecoding& decoding)
{
    const ParamWords words = AnyParamWords(tokens.nameWords);
    Destination destination = Destination::Other;
    if (words & WordWork) {
        destination = Destination::Work;
    } else if (words & WordHome) {
        destination = Destination::Home;
    }
    EmitTyped(entry, destination, "ADR", tokens.valueTokens, decoding);
}

} // namespace karuto
