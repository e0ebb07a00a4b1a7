#pragma once
// The cards of one conversion while they are rewritten.

#include <cstdint>
#include <functional>
#include <string_view>
#include <vector>

#include "platform/shift_jis.h"
#include "vcard/strings.h"
#include "writer/losses.h"

namespace karuto {

// Why a card that ended was not written.
enum class Rejection : std::uint8_t {
    None,
    Version,   // a VERSION line without "2.1" or "3.0"
    Charset,   // a CHARSET parameter naming neither Shift_JIS nor UTF-8
    Encoding,  // an ENCODING parameter naming neither Base64 nor Quoted-Printable
};

inline constexpr std::uint32_t kMaxItemGroups = 99;

// The card being read. The small fields come first, together.
struct CardEntry {
    bool ended = false;           // its END:VCARD line was taken in
    bool rejected = false;        // it must not be written
    // A card that names itself only by FN still gets an N line (see CloseCard).
    bool hasName = false;           // an N line with a component was dispatched
    bool hasFormattedName = false;  // an FN line was seen
    bool hasReading = false;        // a reading of the name was written
    // A code FB41-FBD7 was written: an IBM extension kanji, or a SoftBank pictogram.
    bool holdsSoftBankRange = false;
    // Where an N line without any component stands in the text, for the N
    // line that FN gives in its place.
    std::size_t emptyNameStart = 0;
    std::size_t emptyNameEnd = 0;
    std::uint32_t itemCount = 0;  // numbered item groups used so far (e-mails and addresses)
    std::uint32_t droppedItems = 0;  // e-mails and addresses left out past the last group
    Rejection rejection = Rejection::None;  // why the report tells it was not written

    // The codes F040-F9FC written, for the pictogram stage; an FN line's
    // apart, since they reach the card only where it has no N.
    std::vector<std::uint16_t> userDefinedCodes;
    std::vector<std::uint16_t> formattedNameCodes;

    OwnedString text;             // the rewritten card; released once the card is finished
    OwnedString formattedName;    // the first FN value, decoded and widened as an N value

    // What the report tells about a card that was not written.
    std::int64_t beginLine = 0;   // line number of its BEGIN:VCARD
    OwnedString name;             // the decoded N value, components joined by spaces
    OwnedString rejectedBy;       // the VERSION line or parameter that rejected it, as written
    std::int64_t rejectedLine = 0;

    // Written in vCard 3.0: the decoded size of its largest photo, and its
    // own size where it may pass what iCloud.com imports (else 0).
    std::int64_t largestPhotoBytes = 0;
    std::int64_t vcard30Bytes = 0;
};

inline constexpr std::uint32_t kNoNote = UINT32_MAX;

// What is kept of every card once it is left behind: 16 bytes, so that a book
// of millions of cards costs little beyond its own text.
struct CardRecord {
    std::int64_t beginLine = 0;
    std::uint32_t note = kNoNote;  // its CardNote, when the report names the card
    bool ended = false;
    bool rejected = false;
    bool hasName = false;
    // Written with a name in kanji and no reading: the iPhone sorts it
    // outside the order of the syllabary.
    bool withoutReading = false;
};

// What the report says of a card it names: one not written, one written
// without some of its items, one that lost something.
struct CardNote {
    std::size_t textOffset = 0;   // its name, then what rejected it, in CardList::noteText
    std::uint32_t nameLength = 0;
    std::uint32_t rejectedByLength = 0;
    std::uint32_t droppedItems = 0;
    Rejection rejection = Rejection::None;
    std::int64_t rejectedLine = 0;
    std::int64_t largestPhotoBytes = 0;
    std::int64_t vcard30Bytes = 0;
};

// A BEGIN:VCARD that starts no card: where, and why.
struct UnreadBegin {
    enum class Why : std::uint8_t {
        InsideALine,     // after other text on its line: a value's text, a line cut off
        ContinuesALine,  // read as the continuation of the line before (a soft line break, a fold)
        MoreOnItsLine,   // its line holds more than BEGIN:VCARD
    };
    std::int64_t line;
    Why why;
};

// The form of the written cards: each as it was read (its version, 2.1 or
// 3.0), or all in vCard 3.0.
enum class CardForm { AsRead, VCard30 };

struct CardList {
    CardForm form = CardForm::AsRead;
    std::vector<CardRecord> records;  // one per BEGIN:VCARD line, in input order
    CardEntry current;                // the last of them, while it is read
    bool open = false;                // `current` has not been left behind yet
    std::vector<CardNote> notes;
    OwnedString noteText;
    OwnedString spareText;           // room left by a finished card, for the next one
    OwnedString rewrittenText;       // a finished card in vCard 3.0, on its way to the sink
    // What the cards lost; only what a written card lost matters, which the
    // report finds out.
    LossLog lossLog;
    // The lines read otherwise than the book as a whole (Shift_JIS lines of
    // a UTF-8 book, UTF-8 lines of a Shift_JIS one): how many, and the first of them.
    std::int64_t linesReadOtherwise = 0;
    std::vector<std::int64_t> firstLinesReadOtherwise;
    // Every BEGIN:VCARD that starts no card, in line order.
    std::vector<UnreadBegin> unreadBegins;
    // Room for what one line lost: characters to the decoding, and its
    // private-use codes.
    std::vector<Substitution> substituted;
    std::vector<std::uint16_t> userDefinedCodes;
};

// A card as the report sees it; its texts point into the card list.
struct CardDetails {
    std::int64_t beginLine = 0;
    bool ended = false;
    bool rejected = false;
    bool hasName = false;
    bool withoutReading = false;
    Rejection rejection = Rejection::None;
    std::string_view name;
    std::string_view rejectedBy;
    std::int64_t rejectedLine = 0;
    std::uint32_t droppedItems = 0;
    std::int64_t largestPhotoBytes = 0;
    std::int64_t vcard30Bytes = 0;
};

// The card `index` of the list (0 for the first), read or still being read.
CardDetails DetailsOf(const CardList& cardList, std::size_t index);

// Takes the text of each finished, accepted card (Shift_JIS, CR LF line ends)
// from the writer. The job supplies it, so the writer needs nothing of files.
using CardSink = std::function<void(std::string_view cardText)>;

struct CardCounts {
    std::int32_t cardsRead = 0;     // cards whose END:VCARD was seen
    std::int32_t cardsWritten = 0;  // of those, the ones not rejected
};

CardCounts CountCards(const CardList& cardList);

// The card's life. BEGIN:VCARD opens a card at `beginLine` (a card still open
// is abandoned); END:VCARD closes it, handing an accepted one to `sink`; the
// input's end abandons one still open, never written. A card left behind keeps only its record.
void OpenCard(std::string_view lineText, std::int64_t beginLine, CardList& cardList);
void CloseCard(std::string_view lineText, const CardSink& sink, CardList& cardList);
void AbandonOpenCard(CardList& cardList);

// The index of the current card.
std::uint32_t CurrentCard(const CardList& cardList);

// Cuts a text the report quotes (a card's name, a line's) to a sensible
// length, marked with "…".
void ShortenForReport(OwnedString& text);

// Notes a line read otherwise than the book as a whole.
void NoteLineReadOtherwise(CardList& cardList, std::int64_t lineNumber);

} // namespace karuto
