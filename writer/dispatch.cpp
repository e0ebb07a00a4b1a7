#include "writer/dispatch.h"

#include <algorithm>

#include "decode/value.h"
#include "vcard/params.h"
#include "writer/emitters.h"

namespace karuto {

namespace {

enum class Rule { Version, Generic, Phonetic, Email, Address, Photo };

struct DispatchRow {
    std::string_view name;
    bool widenKana;
    Rule rule;
};

constexpr DispatchRow kDispatchTable[] = {
    {"VERSION", false, Rule::Version},
    {"N", true, Rule::Generic},
    {"SOUND", true, Rule::Phonetic},
    {"SORT-STRING", true, Rule::Phonetic},
    {"X-PHONETIC-LAST-NAME", true, Rule::Generic},
    {"X-PHONETIC-FIRST-NAME", true, Rule::Generic},
    {"NICKNAME", true, Rule::Generic},
    {"BDAY", false, Rule::Generic},
    {"TEL", false, Rule::Generic},
    {"EMAIL", false, Rule::Email},
    {"URL", false, Rule::Generic},
    {"ADR", true, Rule::Address},
    {"ORG", true, Rule::Generic},
    {"TITLE", true, Rule::Generic},
    {"NOTE", true, Rule::Generic},
    {"PHOTO", false, Rule::Photo},
};

// "BEGIN:VCARD" and "END:VCARD" are recognised with blanks after them, which
// some phones write; the whole line must otherwise be the keyword.
bool IsKeywordLine(std::string_view lineText, std::string_view keyword)
{
    if (lineText.size() < keyword.size() || UpperAscii(lineText[0]) != keyword[0]) return false;
    const std::size_t end = lineText.find_last_not_of(" \t");
    return EqualsNoCase(lineText.substr(0, end == std::string_view::npos ? 0 : end + 1), keyword);
}

const DispatchRow* FindRow(std::string_view propertyName)
{
    for (const DispatchRow& row : kDispatchTable) {
        if (propertyName.size() == row.name.size() && EqualsNoCase(propertyName, row.name)) return &row;
    }
    return nullptr;
}

void Reject(CardEntry& entry, Rejection why, std::string_view culprit, const LogicalLine& line)
{
    if (entry.rejected) return;  // the first cause is the one worth reporting
    entry.rejected = true;
    entry.rejection = why;
    entry.rejectedBy = culprit;
    entry.rejectedLine = line.firstLineNumber;
}

std::string_view FirstTokenContaining(std::string_view word, const TokenArray& tokens)
{
    auto found = std::find_if(tokens.begin(), tokens.end(),
                              [word](std::string_view token) { return ContainsNoCase(word, token); });
    return found == tokens.end() ? std::string_view() : *found;
}

// Only Shift_JIS and UTF-8 values can be decoded, and only Base64 and
// Quoted-Printable are known transfer encodings.
void CheckTransferParameters(CardEntry& entry, const PropertyTokens& tokens, const LogicalLine& line)
{
    const ParamWords words = AnyParamWords(tokens.nameWords);
    if (line.charset != CharsetShiftJis && line.charset != CharsetUtf8 && (words & WordCharset)) {
        Reject(entry, Rejection::Charset, FirstTokenContaining("CHARSET", tokens.nameTokens), line);
    }
    if (line.encoding != EncodingBase64 && line.encoding != EncodingQuotedPrintable &&
        (words & WordEncoding)) {
        Reject(entry, Rejection::Encoding, FirstTokenContaining("ENCODING", tokens.nameTokens), line);
    }
}

// The card's name for the report, components joined by spaces.
void RememberName(CardEntry& entry, const TokenArray& valueTokens, const LogicalLine& line)
{
    if (!entry.name.empty()) return;
    ValueDecoding decoding = DecodingOf(line);
    decoding.unmappable = nullptr;  // what is written is noted, not the report's own copy
    for (std::string_view token : valueTokens) {
        const std::size_t joined = entry.name.size();
        if (joined > 0) entry.name.push_back(' ');
        AppendDecodedValue(decoding, token, entry.name);
        // An empty component adds nothing, not even its space.
        if (entry.name.size() == joined + (joined > 0 ? 1 : 0)) entry.name.resize(joined);
    }
}

void RunRule(const DispatchRow& row, CardEntry& entry, const PropertyTokens& tokens,
             const LogicalLine& line, std::string_view lineText)
{
    switch (row.rule) {
    case Rule::Version: CheckVersion(entry, tokens, line, lineText); break;
    case Rule::Generic: EmitProperty(entry, tokens, line); break;
    case Rule::Phonetic: EmitPhoneticName(entry, tokens.valueTokens, line); break;
    case Rule::Email: EmitEmail(entry, tokens, line); break;
    case Rule::Address: EmitAddress(entry, tokens, line); break;
    case Rule::Photo: EmitPhoto(entry, tokens, line); break;
    }
}

// A card that will not be written again gives its text's room to the next
// card, so that building card after card allocates almost nothing.
void ReleaseText(CardEntry& entry, CardList& cardList)
{
    entry.text.clear();
    cardList.spareText.swap(entry.text);
    OwnedString().swap(entry.text);
}

void OpenCard(std::string_view lineText, const LogicalLine& line, CardList& cardList)
{
    if (!cardList.entries.empty() && !cardList.entries.back().ended) {
        // The previous card never ended: it will never be written.
        ReleaseText(cardList.entries.back(), cardList);
    }
    CardEntry& entry = cardList.entries.emplace_back();
    entry.beginLine = line.firstLineNumber;
    entry.text.swap(cardList.spareText);
    entry.text.assign(lineText).append("\r\n");
}

// The report names a card without N by its FN, components joined by spaces.
void NameFromFormattedName(CardEntry& entry)
{
    std::string_view rest = entry.formattedName;
    while (!rest.empty()) {
        const std::size_t separator = rest.find(';');
        const std::string_view component = rest.substr(0, separator);
        if (!component.empty()) {
            if (!entry.name.empty()) entry.name.push_back(' ');
            entry.name.append(component);
        }
        rest = separator == std::string_view::npos ? std::string_view() : rest.substr(separator + 1);
    }
}

void CloseCard(CardEntry& entry, std::string_view lineText, const CardSink& sink,
               CardList& cardList)
{
    entry.ended = true;
    if (!entry.hasName && entry.hasFormattedName) {
        EmitNameFromFormattedName(entry);
        NameFromFormattedName(entry);
    }
    entry.text.append(lineText).append("\r\n");
    if (!entry.rejected && !sink(entry.text)) cardList.writeFailed = true;
    // Nothing reads a finished card's text again.
    ReleaseText(entry, cardList);
}

} // namespace

void CheckVersion(CardEntry& entry, const PropertyTokens& tokens, const LogicalLine& line,
                  std::string_view lineText)
{
    if (!HasParam("2.1", tokens.valueTokens) && !HasParam("3.0", tokens.valueTokens)) {
        Reject(entry, Rejection::Version, lineText, line);
    }
    EmitProperty(entry, tokens, line);
}

void ConvertProperty(std::string_view lineText, const CardSink& sink, LogicalLine& line,
                     CardList& cardList)
{
    // A line without ":" has no value: it is no property.
    if (!line.nameComplete && lineText.find(':') == std::string_view::npos) return;

    if (IsKeywordLine(lineText, "BEGIN:VCARD")) OpenCard(lineText, line, cardList);
    if (cardList.entries.empty()) return;
    CardEntry& entry = cardList.entries.back();

    if (IsKeywordLine(lineText, "END:VCARD")) {
        if (!entry.ended) CloseCard(entry, lineText, sink, cardList);
        return;
    }
    if (entry.ended) return;

    // The tokens of the first physical line are this line's when it held the
    // ":"; the value is split only for a property that is handled.
    PropertyTokens& tokens = line.tokens;
    if (!line.nameComplete) SplitPropertyNameInto(lineText, tokens);
    // FN is not written and not a handled property; it only stands in for a missing N.
    if (EqualsNoCase(tokens.nameTokens[0], "FN")) {
        SplitPropertyValueInto(lineText, tokens);
        RememberFormattedName(entry, tokens.valueTokens, line);
        return;
    }
    const DispatchRow* row = FindRow(tokens.nameTokens[0]);
    if (row == nullptr) return;
    SplitPropertyValueInto(lineText, tokens);
    line.recognized = true;
    line.widenKana = row->widenKana;
    if (row->name == "N") {
        entry.hasName = true;
        RememberName(entry, tokens.valueTokens, line);
    }
    RunRule(*row, entry, tokens, line, lineText);
    CheckTransferParameters(entry, tokens, line);
}

CardCounts CountCards(const CardList& cardList)
{
    CardCounts counts;
    for (const CardEntry& entry : cardList.entries) {
        if (!entry.ended) continue;
        ++counts.cardsRead;
        if (!entry.rejected) ++counts.cardsWritten;
    }
    return counts;
}

} // namespace karuto
