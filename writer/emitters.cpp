#include "writer/emitters.h"

#include <string>

#include "decode/value.h"
#include "vcard/params.h"

namespace karuto {

namespace {

constexpr std::string_view kLineEnd = "\r\n";
constexpr std::string_view kOtherLabel = ".X-ABLabel:_$!<Other>!$_";

bool IsTransferMarker(std::string_view token)
{
    return ContainsNoCase("SHIFT_JIS", token) || ContainsNoCase("UTF-8", token) ||
           ContainsNoCase("BASE64", token) || ContainsEncodingB(token) ||
           EqualsNoCase(token, "B") || ContainsNoCase("QUOTED-PRINTABLE", token);
}

enum class Destination { Work, Home, Other };

void EmitTyped(CardEntry& entry, Destination destination, std::string_view property,
               const TokenArray& valueTokens, const LogicalLine& line)
{
    OwnedString output;
    if (destination != Destination::Other) {
        output.append(property);
        output.append(destination == Destination::Work ? ";TYPE=WORK:" : ";TYPE=HOME:");
        output.append(JoinDecodedValues(valueTokens, line));
        output.append(kLineEnd);
    } else if (entry.itemCount < kMaxItemGroups) {
        // Past the last group number the value has nowhere to go and is left out.
        const std::string item = "item" + std::to_string(++entry.itemCount);
        output.append(item).append(".").append(property).append(":");
        output.append(JoinDecodedValues(valueTokens, line));
        output.append(kLineEnd);
        output.append(item).append(kOtherLabel).append(kLineEnd);
    } else {
        ++entry.droppedItems;  // for the report: the card is written without it
    }
    entry.text.append(output);
}

} // namespace

OwnedString JoinDecodedValues(const TokenArray& valueTokens, const LogicalLine& line)
{
    return JoinDecodedValues(valueTokens, line, line.widenKana);
}

OwnedString JoinDecodedValues(const TokenArray& valueTokens, const LogicalLine& line,
                              bool widenKana)
{
    OwnedString joined;
    for (std::size_t i = 0; i < valueTokens.size(); ++i) {
        if (i > 0) joined.push_back(';');
        joined.append(DecodeValue(line.encoding, valueTokens[i], line.charset, widenKana));
    }
    return joined;
}

void RememberFormattedName(CardEntry& entry, const TokenArray& valueTokens, const LogicalLine& line)
{
    if (entry.hasFormattedName) return;
    entry.hasFormattedName = true;
    entry.formattedName = JoinDecodedValues(valueTokens, line, true);
}

void EmitNameFromFormattedName(CardEntry& entry)
{
    entry.text.append("N:").append(entry.formattedName).append(";;;;").append(kLineEnd);
}

void EmitProperty(CardEntry& entry, const PropertyTokens& tokens, const LogicalLine& line)
{
    const bool keepAll = (line.encoding == EncodingBase64);
    OwnedString output;
    for (std::size_t i = 0; i < tokens.nameTokens.size(); ++i) {
        const std::string_view token = tokens.nameTokens[i];
        if (!keepAll && IsTransferMarker(token)) continue;
        if (i > 0) output.push_back(';');
        output.append(token);
    }
    output.push_back(':');
    output.append(JoinDecodedValues(tokens.valueTokens, line));
    output.append(kLineEnd);
    entry.text.append(output);
}

void EmitPhoneticName(CardEntry& entry, const TokenArray& valueTokens, const LogicalLine& line)
{
    OwnedString output = "X-PHONETIC-LAST-NAME:";
    output.append(DecodeValue(line.encoding, valueTokens[0], line.charset, line.widenKana));
    output.append(kLineEnd);
    output.append("X-PHONETIC-FIRST-NAME:");
    if (valueTokens.size() >= 2) {
        output.append(DecodeValue(line.encoding, valueTokens[1], line.charset, line.widenKana));
    }
    output.append(kLineEnd);
    entry.text.append(output);
}

bool HasSoleType(const TokenArray& tokens, std::string_view typeName)
{
    if (!HasParam(typeName, tokens)) return false;
    for (std::string_view other : KnownTypeNames) {
        if (other != typeName && HasParam(other, tokens)) return false;
    }
    return true;
}

void EmitEmail(CardEntry& entry, const PropertyTokens& tokens, const LogicalLine& line)
{
    const TokenArray& names = tokens.nameTokens;
    Destination destination = Destination::Other;
    if (HasParam("WORK", names)) {
        destination = Destination::Work;
    } else if (HasParam("HOME", names) || HasSoleType(names, "INTERNET") ||
               HasSoleType(names, "CELL") || HasSoleType(names, "PCS")) {
        destination = Destination::Home;
    }
    EmitTyped(entry, destination, "EMAIL", tokens.valueTokens, line);
}

void EmitAddress(CardEntry& entry, const PropertyTokens& tokens, const LogicalLine& line)
{
    const TokenArray& names = tokens.nameTokens;
    Destination destination = Destination::Other;
    if (HasParam("WORK", names)) {
        destination = Destination::Work;
    } else if (HasParam("HOME", names)) {
        destination = Destination::Home;
    }
    EmitTyped(entry, destination, "ADR", tokens.valueTokens, line);
}

} // namespace karuto
