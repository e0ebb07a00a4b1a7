#include "writer/dispatch.h"

#include <algorithm>

#include "decode/value.h"
#include "platform/shift_jis.h"
#include "vcard/params.h"
#include "writer/emitters.h"

namespace karuto {

namespace {

enum class Rule { Version, Generic, Phonetic, Email, Address, Photo };

struct DispatchRow {
    std::string_view name;
    bool widenKana;
    Rule rule;
    bool reading = false;  // the line is a reading of the name
};

constexpr DispatchRow kDispatchTable[] = {
    {"VERSION", false, Rule::Version},
    {"N", true, Rule::Generic},
    {"SOUND", true, Rule::Phonetic, true},
    {"SORT-STRING", true, Rule::Phonetic, true},
    {"X-PHONETIC-LAST-NAME", true, Rule::Generic, true},
    {"X-PHONETIC-FIRST-NAME", true, Rule::Generic, true},
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
    // Shown in Shift_JIS, as a left-out line's name is.
    entry.rejectedBy.clear();
    if (line.textEncoding == TextUtf8) {
        AppendUtf8AsAnsi(culprit, entry.rejectedBy);
    } else {
        entry.rejectedBy.append(culprit);
    }
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
    const bool accepted = line.charset == CharsetShiftJis || line.charset == CharsetUtf8 || line.charset == CharsetLatin1;
    if (!accepted && (words & WordCharset)) {
        Reject(entry, Rejection::Charset, FirstTokenContaining("CHARSET", tokens.nameTokens), line);
    }
    if (line.encoding != EncodingBase64 && line.encoding != EncodingQuotedPrintable &&
        (words & WordEncoding)) {
        Reject(entry, Rejection::Encoding, FirstTokenContaining("ENCODING", tokens.nameTokens), line);
    }
}

// Lines that carry nothing a person would miss on the phone: identifiers,
// time stamps and the writing program's own. Compared without a group prefix.
constexpr std::string_view kUnmissedProperties[] = {
    "PRODID", "REV", "UID", "X-IRMC-LUID", "CLASS", "SOURCE", "NAME", "PROFILE", "MAILER", "X-ABUID"};
// Lines that only label a group, whose own line is listed when it is left out.
constexpr std::string_view kGroupLabels[] = {"X-ABLabel", "X-ABADR"};

bool IsUnmissed(std::string_view name)
{
    const std::size_t dot = name.find('.');
    const std::string_view bare = dot == std::string_view::npos ? name : name.substr(dot + 1);
    const auto equals = [bare](std::string_view known) { return EqualsNoCase(bare, known); };
    return std::any_of(std::begin(kUnmissedProperties), std::end(kUnmissedProperties), equals) ||
           (dot != std::string_view::npos &&
            std::any_of(std::begin(kGroupLabels), std::end(kGroupLabels), equals));
}

// Notes a line of the current card that gives no output line, by its name in
// Shift_JIS, as the report shows it.
void NoteLeftOutLine(std::string_view name, const LogicalLine& line, CardList& cardList,
                     bool onlyWithoutName = false)
{
    OwnedString shown;
    if (line.textEncoding == TextUtf8) {
        AppendUtf8AsAnsi(name, shown);
    } else {
        shown = DuplicateString(name);
    }
    ShortenForReport(shown);
    NoteLoss(cardList.lossLog, CurrentCard(cardList), LossKind::Line, onlyWithoutName,
             line.firstLineNumber, 0, shown);
}

// The decoding of the line's values, which notes, in an emptied list, each
// character that it does not write as itself.
ValueDecoding DecodingNotingSubstitutions(const LogicalLine& line, CardList& cardList)
{
    cardList.substituted.clear();
    ValueDecoding decoding = DecodingOf(line);
    decoding.substituted = &cardList.substituted;
    return decoding;
}

// Notes what the text `written` (whole lines just added to the card from
// `line`) lost: the characters not written as themselves (spaces for those
// Shift_JIS lacks, closest forms), when the text was loaded or as its values
// were decoded, and the private-use codes in it; and
// whether it holds a code that is a kanji unless the book is SoftBank's.
void NoteLostCharacters(std::string_view written, const LogicalLine& line, CardList& cardList,
                        bool onlyWithoutName)
{
    const auto note = [&](LossKind kind, std::uint32_t code) {
        NoteLoss(cardList.lossLog, CurrentCard(cardList), kind, onlyWithoutName,
                 line.firstLineNumber, code);
    };
    const auto noteSubstitution = [&](const Substitution& substitution) {
        if (substitution.code == 0) {
            const bool control = substitution.codePoint < 0x20 || substitution.codePoint == 0x7F;
            note(control ? LossKind::Control : LossKind::Character, substitution.codePoint);
            return;
        }
        // The report shows the form written beside the character.
        const char form[] = {static_cast<char>(substitution.code >> 8), static_cast<char>(substitution.code & 0xFF)};
        const std::string_view shown = substitution.code > 0xFF ? std::string_view(form, 2) : std::string_view(form + 1, 1);
        NoteLoss(cardList.lossLog, CurrentCard(cardList), LossKind::ClosestForm, onlyWithoutName,
                 line.firstLineNumber, substitution.codePoint, shown);
    };
    for (const LostCharacter& lost : line.lostWhenLoaded) noteSubstitution(lost.substitution);
    for (const Substitution& substitution : cardList.substituted) noteSubstitution(substitution);
    std::vector<std::uint16_t>& codes = cardList.userDefinedCodes;
    codes.clear();
    FindDoubleByteCodes(written, 0xF0, 0xFB, codes);
    CardEntry& entry = cardList.current;
    for (const std::uint16_t code : codes) {
        if (code <= 0xF9FC) {
            note(LossKind::PrivateUse, code);
            (onlyWithoutName ? entry.formattedNameCodes : entry.userDefinedCodes).push_back(code);
        } else if (code >= 0xFB41 && code <= 0xFBD7) {
            entry.holdsSoftBankRange = true;
        }
    }
}

// Does a reading line hold a reading, not only its name and separators?
bool HoldsAReading(const TokenArray& valueTokens)
{
    return std::any_of(valueTokens.begin(), valueTokens.end(), [](std::string_view token) {
        return std::any_of(token.begin(), token.end(), [](char byte) { return byte != ' ' && byte != '\t'; });
    });
}

// "N:;;;;" names no one: an FN line gives the card its name as if it had no N.
bool IsEmptyName(const TokenArray& valueTokens)
{
    return std::all_of(valueTokens.begin(), valueTokens.end(),
                       [](std::string_view token) { return token.empty(); });
}

// The card's name for the report, components joined by spaces.
void RememberName(CardEntry& entry, const TokenArray& valueTokens, const LogicalLine& line)
{
    if (!entry.name.empty()) return;
    // What is written is noted, not the report's own copy.
    const ValueDecoding decoding = DecodingOf(line);
    for (std::string_view token : valueTokens) {
        const std::size_t joined = entry.name.size();
        if (joined > 0) entry.name.push_back(' ');
        AppendDecodedValue(decoding, token, entry.name);
        // An empty component adds nothing, not even its space.
        if (entry.name.size() == joined + (joined > 0 ? 1 : 0)) entry.name.resize(joined);
    }
}

// The VERSION rule: a card is acceptable only as version 2.1 or 3.0.
void CheckVersion(CardEntry& entry, const PropertyTokens& tokens, const LogicalLine& line,
                  const ValueDecoding& decoding, std::string_view lineText)
{
    if (!HasParam("2.1", tokens.valueTokens) && !HasParam("3.0", tokens.valueTokens)) {
        Reject(entry, Rejection::Version, lineText, line);
    }
    EmitProperty(entry, tokens, decoding);
}

void RunRule(const DispatchRow& row, CardEntry& entry, const PropertyTokens& tokens,
             const LogicalLine& line, const ValueDecoding& decoding, std::string_view lineText)
{
    switch (row.rule) {
    case Rule::Version: CheckVersion(entry, tokens, line, decoding, lineText); break;
    case Rule::Generic: EmitProperty(entry, tokens, decoding); break;
    case Rule::Phonetic: EmitPhoneticName(entry, tokens.valueTokens, decoding); break;
    case Rule::Email: EmitEmail(entry, tokens, decoding); break;
    case Rule::Address: EmitAddress(entry, tokens, decoding); break;
    case Rule::Photo: EmitPhoto(entry, tokens, decoding); break;
    }
}

// A line without ":" has no value: it is no property. Inside a card, where it
// is a piece of text that a writer broke off without folding it, it is lost.
void HandleLineWithoutValue(std::string_view lineText, const LogicalLine& line, CardList& cardList)
{
    if (!cardList.open) return;
    if (lineText.find_first_not_of(" \t") == std::string_view::npos) return;
    NoteLeftOutLine(lineText.substr(0, FindByte(lineText, ';')), line, cardList);
}

// The FN line: its first value stands in for a missing N, and is written
// only in vCard 3.0, which asks for it.
void HandleFormattedName(CardEntry& entry, PropertyTokens& tokens, LogicalLine& line,
                         std::string_view lineText, CardList& cardList)
{
    if (entry.hasFormattedName) {
        NoteLeftOutLine(tokens.nameTokens[0], line, cardList, true);
        return;
    }
    SplitPropertyValueInto(lineText, tokens);
    const std::size_t before = entry.formattedName.size();
    ValueDecoding decoding = DecodingNotingSubstitutions(line, cardList);
    decoding.widenKana = true;  // as for an N value
    RememberFormattedName(entry, tokens.valueTokens, decoding);
    NoteLostCharacters(std::string_view(entry.formattedName).substr(before), line, cardList,
                       cardList.form != CardForm::VCard30);
}

} // namespace

void ConvertProperty(LogicalLine& line, const CardSink& sink, CardList& cardList)
{
    const std::string_view lineText = line.text;
    if (!line.nameComplete && lineText.find(':') == std::string_view::npos) {
        HandleLineWithoutValue(lineText, line, cardList);
        return;
    }

    if (IsKeywordLine(lineText, "BEGIN:VCARD")) {
        OpenCard(lineText, line.firstLineNumber, cardList);
        return;
    }
    if (cardList.records.empty()) return;
    CardEntry& entry = cardList.current;

    if (IsKeywordLine(lineText, "END:VCARD")) {
        if (!entry.ended) CloseCard(lineText, sink, cardList);
        return;
    }
    if (entry.ended) return;

    // The tokens of the first physical line are this line's when it held the
    // ":"; the value is split only for a property that is handled.
    PropertyTokens& tokens = line.tokens;
    if (!line.nameComplete) SplitPropertyNameInto(lineText, tokens);
    const std::string_view name = tokens.nameTokens[0];
    if (EqualsNoCase(name, "FN")) {
        HandleFormattedName(entry, tokens, line, lineText, cardList);
        return;
    }
    const DispatchRow* row = FindRow(name);
    if (row == nullptr) {
        if (!IsUnmissed(name)) NoteLeftOutLine(name, line, cardList);
        return;
    }
    // A sound clip (SOUND;ENCODING=BASE64:UklGR...) is no reading.
    if (row->rule == Rule::Phonetic && line.encoding == EncodingBase64) {
        NoteLeftOutLine(name, line, cardList);
        CheckTransferParameters(entry, tokens, line);
        return;
    }
    SplitPropertyValueInto(lineText, tokens);
    line.widenKana = row->widenKana;
    const bool emptyName = row->name == "N" && IsEmptyName(tokens.valueTokens);
    if (row->name == "N") {
        entry.hasName = entry.hasName || !emptyName;
        RememberName(entry, tokens.valueTokens, line);
    }
    const std::size_t before = entry.text.size();
    RunRule(*row, entry, tokens, line, DecodingNotingSubstitutions(line, cardList), lineText);
    if (emptyName && entry.emptyNameEnd == 0) {
        entry.emptyNameStart = before;
        entry.emptyNameEnd = entry.text.size();
    }
    if (entry.text.size() > before) {
        NoteLostCharacters(std::string_view(entry.text).substr(before), line, cardList, false);
    }
    if (row->reading && !entry.hasReading) entry.hasReading = HoldsAReading(tokens.valueTokens);
    CheckTransferParameters(entry, tokens, line);
}

} // namespace karuto
