#include "writer/cards.h"

#include "platform/shift_jis.h"
#include "writer/emitters.h"
#include "writer/vcard30.h"

namespace karuto {

void ShortenForReport(OwnedString& text)
{
    // A name the report quotes is cut after this many bytes.
    constexpr std::size_t kNamedBytes = 40;
    if (text.size() <= kNamedBytes) return;
    text.resize(AnsiPrefixLength(text, kNamedBytes));
    text.append("\x81\x63");
}

std::uint32_t CurrentCard(const CardList& cardList)
{
    return static_cast<std::uint32_t>(cardList.records.size() - 1);
}

namespace {

// A card that will not be written again gives its text's room to the next
// card, so that building card after card allocates almost nothing.
void ReleaseText(CardEntry& entry, CardList& cardList)
{
    entry.text.clear();
    cardList.spareText.swap(entry.text);
    OwnedString().swap(entry.text);
}

// The report names a card that was not written, or not whole, or that lost
// something on the way.
bool IsNamedInReport(const CardEntry& entry, const CardList& cardList)
{
    const std::vector<Loss>& losses = cardList.lossLog.losses;
    return !entry.ended || entry.rejected || entry.droppedItems > 0 || cardList.records.back().withoutReading ||
           IsTooLargeForICloud(entry.vcard30Bytes, entry.largestPhotoBytes) ||
           (!losses.empty() && losses.back().card == CurrentCard(cardList));
}

// Does the name hold a kanji (first or second level, or an extension one)?
bool HoldsKanji(std::string_view name)
{
    for (std::size_t pos = 0; pos < name.size();) {
        const std::size_t length = AnsiCharLength(name, pos);
        if (length == 2) {
            const unsigned code = static_cast<unsigned char>(name[pos]) << 8 | static_cast<unsigned char>(name[pos + 1]);
            if ((code >= 0x889F && code <= 0xEAA4) || (code >= 0xED40 && code <= 0xEEFC) ||
                (code >= 0xFA5C && code <= 0xFC4B)) {
                return true;
            }
        }
        pos += length;
    }
    return false;
}

// The current card is finished or abandoned: its record keeps what the count
// and the report need, and its texts, cut short, only when the report names it.
void LeaveCard(CardList& cardList)
{
    CardEntry& entry = cardList.current;
    CardRecord& record = cardList.records.back();
    record.ended = entry.ended;
    record.rejected = entry.rejected;
    record.hasName = entry.hasName;
    record.withoutReading = entry.ended && !entry.rejected && !entry.hasReading && HoldsKanji(entry.name);
    cardList.open = false;
    SettleCardLosses(cardList.lossLog, entry.ended && !entry.rejected, entry.hasName);
    if (!IsNamedInReport(entry, cardList)) return;
    ShortenForReport(entry.name);
    ShortenForReport(entry.rejectedBy);
    record.note = static_cast<std::uint32_t>(cardList.notes.size());
    CardNote& note = cardList.notes.emplace_back();
    note.textOffset = cardList.noteText.size();
    note.nameLength = static_cast<std::uint32_t>(entry.name.size());
    note.rejectedByLength = static_cast<std::uint32_t>(entry.rejectedBy.size());
    note.droppedItems = entry.droppedItems;
    note.rejection = entry.rejection;
    note.rejectedLine = entry.rejectedLine;
    note.largestPhotoBytes = entry.largestPhotoBytes;
    note.vcard30Bytes = entry.vcard30Bytes;
    cardList.noteText.append(entry.name).append(entry.rejectedBy);
}

// A fresh current card that keeps the room of the last one's strings.
void ResetEntry(CardEntry& entry, OwnedString&& text)
{
    CardEntry fresh;
    fresh.text = std::move(text);
    for (OwnedString CardEntry::*kept : {&CardEntry::formattedName, &CardEntry::name, &CardEntry::rejectedBy}) {
        fresh.*kept = std::move(entry.*kept);
        (fresh.*kept).clear();
    }
    for (auto CardEntry::*kept : {&CardEntry::userDefinedCodes, &CardEntry::formattedNameCodes}) {
        fresh.*kept = std::move(entry.*kept);
        (fresh.*kept).clear();
    }
    entry = std::move(fresh);
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

} // namespace

void OpenCard(std::string_view lineText, std::int64_t beginLine, CardList& cardList)
{
    // A card still open never ended: it will never be written.
    if (cardList.open) ReleaseText(cardList.current, cardList);
    AbandonOpenCard(cardList);
    cardList.records.emplace_back().beginLine = beginLine;
    CardEntry& entry = cardList.current;
    ResetEntry(entry, std::move(cardList.spareText));
    cardList.open = true;
    entry.beginLine = beginLine;
    entry.text.assign(lineText).append("\r\n");
}

void CloseCard(std::string_view lineText, const CardSink& sink, CardList& cardList)
{
    CardEntry& entry = cardList.current;
    entry.ended = true;
    if (!entry.hasName && entry.hasFormattedName) {
        EmitNameFromFormattedName(entry);
        NameFromFormattedName(entry);
    }
    entry.text.append(lineText).append("\r\n");
    if (!entry.rejected && cardList.form == CardForm::VCard30) {
        RewriteAsVCard30(entry, cardList.rewrittenText);
        sink(cardList.rewrittenText);
    } else if (!entry.rejected) {
        sink(entry.text);
    }
    // Nothing reads a finished card's text again.
    ReleaseText(entry, cardList);
    LeaveCard(cardList);
}

void AbandonOpenCard(CardList& cardList)
{
    if (cardList.open) LeaveCard(cardList);
}

CardDetails DetailsOf(const CardList& cardList, std::size_t index)
{
    const CardRecord& record = cardList.records[index];
    CardDetails details;
    details.beginLine = record.beginLine;
    if (cardList.open && index + 1 == cardList.records.size()) {
        const CardEntry& entry = cardList.current;
        details.ended = entry.ended;
        details.rejected = entry.rejected;
        details.hasName = entry.hasName;
        details.rejection = entry.rejection;
        details.name = entry.name;
        details.rejectedBy = entry.rejectedBy;
        details.rejectedLine = entry.rejectedLine;
        details.droppedItems = entry.droppedItems;
        details.largestPhotoBytes = entry.largestPhotoBytes;
        details.vcard30Bytes = entry.vcard30Bytes;
        return details;
    }
    details.ended = record.ended;
    details.rejected = record.rejected;
    details.hasName = record.hasName;
    details.withoutReading = record.withoutReading;
    if (record.note == kNoNote) return details;
    const CardNote& note = cardList.notes[record.note];
    const std::string_view texts = std::string_view(cardList.noteText).substr(note.textOffset);
    details.rejection = note.rejection;
    details.name = texts.substr(0, note.nameLength);
    details.rejectedBy = texts.substr(note.nameLength, note.rejectedByLength);
    details.rejectedLine = note.rejectedLine;
    details.droppedItems = note.droppedItems;
    details.largestPhotoBytes = note.largestPhotoBytes;
    details.vcard30Bytes = note.vcard30Bytes;
    return details;
}

void NoteLineReadOtherwise(CardList& cardList, std::int64_t lineNumber)
{
    constexpr std::size_t kKeptLines = 30;
    ++cardList.linesReadOtherwise;
    if (cardList.firstLinesReadOtherwise.size() < kKeptLines) {
        cardList.firstLinesReadOtherwise.push_back(lineNumber);
    }
}

CardCounts CountCards(const CardList& cardList)
{
    CardCounts counts;
    for (const CardRecord& record : cardList.records) {
        if (!record.ended) continue;
        ++counts.cardsRead;
        if (!record.rejected) ++counts.cardsWritten;
    }
    return counts;
}

} // namespace karuto
