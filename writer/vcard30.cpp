#include "writer/vcard30.h"

#include <algorithm>
#include <array>
#include <string>

#include "platform/shift_jis.h"
#include "vcard/folding.h"
#include "vcard/params.h"

namespace karuto {

namespace {

constexpr std::string_view kLineEnd = "\r\n";

// Parameters that only told how the value was stored: 3.0 values are text
// in the file's own charset, and Base64 is "ENCODING=b".
constexpr ParamWords kStorageWords = WordCharset | WordEncoding | WordShiftJis | WordUtf8 | WordLatin1 |
                                     WordAscii | WordEucJp | WordIso2022Jp | WordQuotedPrintable;
constexpr ParamWords kBase64Words = WordBase64 | WordEncodingB | WordB;

// The next line of a written card, with the line breaks the writer put inside
// its value (CR LF and a blank); `rest` goes on after its line end.
std::string_view NextLine(std::string_view& rest)
{
    std::size_t end = rest.find(kLineEnd);
    while (end != std::string_view::npos && end + 2 < rest.size() && (rest[end + 2] == ' ' || rest[end + 2] == '\t')) {
        end = rest.find(kLineEnd, end + 2);
    }
    const std::string_view line = rest.substr(0, end);
    rest.remove_prefix(end == std::string_view::npos ? rest.size() : end + kLineEnd.size());
    return line;
}

std::string_view ValueOf(std::string_view line)
{
    const std::size_t colon = FindByte(line, ':');
    return colon == std::string_view::npos ? std::string_view() : line.substr(colon + 1);
}

// The property's name without its group ("item1.EMAIL" is an EMAIL).
std::string_view BareName(std::string_view line)
{
    const std::string_view name = line.substr(0, std::min(FindByte(line, ';'), FindByte(line, ':')));
    const std::size_t dot = name.find('.');
    return dot == std::string_view::npos ? name : name.substr(dot + 1);
}

// Properties whose ";" separate components and whose "," (in 3.0) separate
// the values of one component.
bool IsStructured(std::string_view bareName)
{
    return EqualsNoCase(bareName, "N") || EqualsNoCase(bareName, "ADR") || EqualsNoCase(bareName, "ORG");
}

// The bytes that may need an escape. None of them but the backslash can be
// the second byte of a Shift_JIS character, so the text between them goes
// on as it is.
constexpr std::array<bool, 256> kSpecialBytes = [] {
    std::array<bool, 256> special{};
    for (const unsigned char byte : {'\\', ',', ';', '\r', '\n'}) special[byte] = true;
    return special;
}();

// A value's text appended with 3.0's escapes. The escapes it holds stay, as
// the phone reads them in a card of either version; a backslash that starts
// none is itself. A bare "," separates values only in a structured property
// of a 3.0 card: 2.1 has no lists.
void AppendEscaped(std::string_view value, bool structured, bool version30, OwnedString& out)
{
    std::size_t pos = 0;
    for (std::size_t start = 0;; start = pos) {
        while (pos < value.size() && !kSpecialBytes[static_cast<unsigned char>(value[pos])]) ++pos;
        out.append(value.substr(start, pos - start));
        if (pos == value.size()) return;
        const char byte = value[pos];
        const char next = pos + 1 < value.size() ? value[pos + 1] : '\0';
        if (byte == '\r' || byte == '\n') {
            // A line break the writer made: CR LF and a blank.
            out.append("\\n");
            pos += byte == '\r' && next == '\n' ? 3 : 1;
        } else if (byte == '\\' && !StartsAnsiChar(value, pos)) {
            out.push_back(byte);  // the second byte of a character ("ソ" is 83 5C)
            ++pos;
        } else if (byte == '\\' && (next == '\\' || next == ',' || next == ';' || next == 'n' || next == 'N')) {
            out.append(value.substr(pos, 2));
            pos += 2;
        } else {
            const bool escaped = byte == '\\' || (byte == ',' && !(structured && version30)) || (byte == ';' && !structured);
            if (escaped) out.push_back('\\');
            out.push_back(byte);
            ++pos;
        }
    }
}

// The decoded size of a Base64 value without its blanks.
std::int64_t Base64DecodedBytes(std::string_view base64)
{
    const std::size_t padding = base64.size() - std::min(base64.size(), base64.find_last_not_of('=') + 1);
    return static_cast<std::int64_t>(base64.size() / 4 * 3 + (base64.size() % 4 * 3) / 4) -
           static_cast<std::int64_t>(std::min<std::size_t>(padding, 2));
}

void AppendBase64(std::string_view value, bool photo, CardEntry& entry, OwnedString& out)
{
    const std::size_t start = out.size();
    for (const char byte : value) {
        if (byte != '\r' && byte != '\n' && byte != ' ' && byte != '\t') out.push_back(byte);
    }
    if (photo) {
        entry.largestPhotoBytes =
            std::max(entry.largestPhotoBytes, Base64DecodedBytes(std::string_view(out).substr(start)));
    }
}

// A name or parameter as it stands, but for a CR that a line of the input
// held inside it: a 3.0 reader would take it for a line end.
void AppendWithoutCr(std::string_view token, OwnedString& out)
{
    for (std::size_t cr; (cr = token.find('\r')) != std::string_view::npos; token.remove_prefix(cr + 1)) {
        out.append(token.substr(0, cr));
    }
    out.append(token);
}

// One property line in 3.0's form.
void AppendLine(std::string_view line, std::string_view bareName, bool version30, CardEntry& entry, OwnedString& out)
{
    const std::size_t colon = FindByte(line, ':');
    std::string_view parameters = line.substr(0, colon);
    const std::size_t nameEnd = FindByte(parameters, ';');
    AppendWithoutCr(parameters.substr(0, nameEnd), out);
    parameters.remove_prefix(nameEnd == std::string_view::npos ? parameters.size() : nameEnd + 1);
    bool base64 = false;
    while (!parameters.empty()) {
        const std::size_t end = FindByte(parameters, ';');
        const std::string_view token = parameters.substr(0, end);
        parameters.remove_prefix(end == std::string_view::npos ? parameters.size() : end + 1);
        if (token.empty()) continue;
        const ParamWords words = ParamWordsOf(token);
        if (words & kBase64Words) {
            if (!base64) out.append(";ENCODING=b");
            base64 = true;
        } else if (!(words & kStorageWords)) {
            out.append(token.find('=') == std::string_view::npos ? ";TYPE=" : ";");
            AppendWithoutCr(token, out);
        }
    }
    out.push_back(':');
    if (base64) {
        AppendBase64(ValueOf(line), EqualsNoCase(bareName, "PHOTO"), entry, out);
    } else {
        AppendEscaped(ValueOf(line), IsStructured(bareName), version30, out);
    }
    out.append(kLineEnd);
}

// How the card's text is read, and what its FN line is made from where it
// has none.
struct NameFacts {
    bool version30 = false;
    std::string_view name;  // the N line
    std::string_view organization;  // the ORG line
};

// Is the card's first VERSION line 3.0? Its escapes are read so. The line
// comes right after BEGIN:VCARD in nearly every card.
bool IsVersion30(std::string_view card)
{
    for (std::string_view rest = card; !rest.empty();) {
        const std::string_view line = NextLine(rest);
        if (EqualsNoCase(BareName(line), "VERSION")) return ValueOf(line).find("3.0") != std::string_view::npos;
    }
    return false;
}

// The component `index` of a structured property's value, its escapes kept.
std::string_view ComponentOf(std::string_view line, std::size_t index)
{
    PropertyTokens tokens;
    SplitPropertyValueInto(line, tokens);
    return index < tokens.valueTokens.size() ? tokens.valueTokens[index] : std::string_view();
}

void AppendFormattedName(const CardEntry& entry, const NameFacts& facts, OwnedString& out)
{
    out.append("FN:");
    if (!entry.formattedName.empty()) {
        AppendEscaped(entry.formattedName, false, facts.version30, out);
    } else {
        const std::string_view family = ComponentOf(facts.name, 0);
        const std::string_view given = ComponentOf(facts.name, 1);
        AppendEscaped(family, false, facts.version30, out);
        if (!family.empty() && !given.empty()) out.push_back(' ');
        AppendEscaped(given, false, facts.version30, out);
        if (family.empty() && given.empty()) {
            AppendEscaped(ComponentOf(facts.organization, 0), false, facts.version30, out);
        }
    }
    out.append(kLineEnd);
}

// The card's size as written: UTF-8, folded. Its pictograms count as the
// private-use characters they are until the book's carrier is known.
std::int64_t FoldedUtf8Bytes(std::string_view card)
{
    std::string utf8;
    AppendAnsiAsUtf8UpTo(card, card.size(), utf8);
    std::string folded;
    std::size_t lineOctets = 0;
    AppendFoldedLines(utf8, lineOctets, folded);
    return static_cast<std::int64_t>(folded.size());
}

} // namespace

void RewriteAsVCard30(CardEntry& entry, OwnedString& out)
{
    out.clear();
    const std::string_view card = entry.text;
    NameFacts facts;
    facts.version30 = IsVersion30(card);
    out.append("BEGIN:VCARD\r\nVERSION:3.0\r\n");
    const std::size_t formattedNameAt = out.size();
    std::string_view rest = card;
    NextLine(rest);  // BEGIN:VCARD
    while (!rest.empty()) {
        const std::string_view line = NextLine(rest);
        if (rest.empty()) break;  // END:VCARD
        const std::string_view bareName = BareName(line);
        if (EqualsNoCase(bareName, "VERSION")) continue;
        if (facts.name.empty() && EqualsNoCase(bareName, "N")) facts.name = line;
        if (facts.organization.empty() && EqualsNoCase(bareName, "ORG")) facts.organization = line;
        AppendLine(line, bareName, facts.version30, entry, out);
    }
    out.append("END:VCARD\r\n");
    // The FN line, made from the lines after it where the card has none.
    OwnedString formattedName;
    AppendFormattedName(entry, facts, formattedName);
    out.insert(formattedNameAt, formattedName);
    // UTF-8 takes at most three bytes for one of Shift_JIS, and folds a few more.
    if (static_cast<std::int64_t>(out.size()) * 4 > kCardByteLimit) entry.vcard30Bytes = FoldedUtf8Bytes(out);
}

} // namespace karuto
