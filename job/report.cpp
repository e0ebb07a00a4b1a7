#include "job/report.h"

#include <algorithm>
#include <span>
#include <string>
#include <unordered_map>
#include <vector>

#include "platform/file_names.h"
#include "platform/shift_jis.h"
#include "writer/vcard30.h"

namespace karuto {

namespace {

// How the file was read comes first: it explains every other line.
std::u16string EncodingText(SourceEncoding encoding)
{
    switch (encoding) {
    case SourceEncoding::ShiftJis: return u"文字コード：Shift_JIS として読みました。\n";
    case SourceEncoding::Utf8WithMark: return u"文字コード：UTF-8（BOM付き）として読みました。\n";
    case SourceEncoding::Utf8WithoutMark:
        return u"文字コード：UTF-8（BOMなし、内容から判定）として読みました。\n";
    case SourceEncoding::Utf16Le: return u"文字コード：UTF-16LE として読みました。\n";
    case SourceEncoding::Utf16LeWithoutMark:
        return u"文字コード：UTF-16LE（BOMなし、内容から判定）として読みました。\n";
    case SourceEncoding::EucJp: return u"文字コード：EUC-JP（内容から判定）として読みました。\n";
    case SourceEncoding::Iso2022Jp: return u"文字コード：ISO-2022-JP（内容から判定）として読みました。\n";
    }
    return {};
}

std::u16string RejectionText(const CardDetails& card)
{
    const std::u16string culprit = u"\"" + EscapeControls(AnsiToWide(card.rejectedBy)) + u"\"";
    const std::u16string where = u"（" + DecimalText(card.rejectedLine) + u"行目）";
    switch (card.rejection) {
    case Rejection::Version: return u"未対応のバージョン " + culprit + where;
    case Rejection::Charset: return u"未対応の文字コード " + culprit + where;
    case Rejection::Encoding: return u"未対応のエンコード " + culprit + where;
    case Rejection::None: break;
    }
    return u"END:VCARD がないまま次のカードかファイルの終わりになりました";
}

// "  カードN（L行目）「name」：" and the reason.
std::u16string ReportLine(const CardDetails& card, std::size_t number, std::u16string_view reason)
{
    std::u16string line = u"  カード" + DecimalText(static_cast<std::int64_t>(number)) + u"（" +
                          DecimalText(card.beginLine) + u"行目）";
    line += card.name.empty() ? u"（名前なし）" : u"「" + EscapeControls(AnsiToWide(card.name)) + u"」";
    line += u"：";
    line += reason;
    line += u"\n";
    return line;
}

std::u16string DroppedItemsText(const CardDetails& card)
{
    return u"項目グループ（item1〜item99）に入りきらないメールアドレス・住所 " +
           DecimalText(card.droppedItems) + u"件を書き出していません";
}

// The cards that the report names, which are few in most books, are found
// through their notes.
template <typename Visit>
void ForEachNamedCard(const CardList& cards, const Visit& visit)
{
    for (std::size_t i = 0; i < cards.records.size(); ++i) {
        if (cards.records[i].note != kNoNote) visit(i, DetailsOf(cards, i));
    }
}

bool IsNotWritten(const CardDetails& card) { return !card.ended || card.rejected; }

bool IsPartlyWritten(const CardDetails& card)
{
    return card.ended && !card.rejected && card.droppedItems > 0;
}

bool IsWithoutReading(const CardDetails& card) { return card.withoutReading; }

std::u16string NoReadingText(const CardDetails&) { return u"漢字の名前に読みがありません"; }

bool IsTooLarge(const CardDetails& card) { return IsTooLargeForICloud(card.vcard30Bytes, card.largestPhotoBytes); }

// "カード 300 KB、写真 250 KB": what passes iCloud.com's limits, in KB rounded up.
std::u16string TooLargeText(const CardDetails& card)
{
    const auto kilobytes = [](std::int64_t bytes) { return DecimalText((bytes + 1023) / 1024) + u" KB"; };
    std::u16string text;
    if (card.vcard30Bytes > kCardByteLimit) text = u"カード " + kilobytes(card.vcard30Bytes);
    if (card.largestPhotoBytes > kPhotoByteLimit) {
        text += (text.empty() ? u"写真 " : u"、写真 ") + kilobytes(card.largestPhotoBytes);
    }
    return text;
}

// A title with the number of cards, then a line for each card `listed` picks;
// nothing, and false, when it picks none.
template <typename Listed, typename Reason>
bool WriteCardList(const CardList& cards, const Listed& listed, const Reason& reason,
                   std::u16string_view title, const ReportSink& sink)
{
    std::int64_t count = 0;
    ForEachNamedCard(cards, [&](std::size_t, const CardDetails& card) { count += listed(card) ? 1 : 0; });
    if (count == 0) return false;
    sink(std::u16string(title) + DecimalText(count) + u"件\n");
    ForEachNamedCard(cards, [&](std::size_t i, const CardDetails& card) {
        if (listed(card)) sink(ReportLine(card, i + 1, reason(card)));
    });
    return true;
}

// ---- What written cards lost ----

// Lost by a written card, and not a pictogram that became an emoji.
bool Counts(const Loss& loss, const ConversionDetails& details)
{
    const CardRecord& card = details.cards.records[loss.card];
    if (loss.kind == LossKind::PrivateUse &&
        !PictogramOf(details.carrier, static_cast<std::uint16_t>(loss.code)).empty()) {
        return false;
    }
    return card.ended && !card.rejected && !(loss.onlyWithoutName && card.hasName);
}

std::u16string HexText(std::uint32_t value, int digits)
{
    static constexpr char16_t kDigits[] = u"0123456789ABCDEF";
    std::u16string text;
    do {
        text.insert(text.begin(), kDigits[value & 0xF]);
        value >>= 4;
        --digits;
    } while (value != 0 || digits > 0);
    return text;
}

// How one loss is named: the line's name as written, "U+AC00", "U+00FC→u", "F89F".
std::u16string LossLabel(const Loss& loss, const LossLog& log)
{
    switch (loss.kind) {
    case LossKind::Line:
        return EscapeControls(AnsiToWide(std::string_view(log.names).substr(loss.nameOffset, loss.nameLength)));
    case LossKind::Character:
    case LossKind::Control: return u"U+" + HexText(loss.code, 4);
    case LossKind::ClosestForm:
        return u"U+" + HexText(loss.code, 4) + u"→" +
               AnsiToWide(std::string_view(log.names).substr(loss.nameOffset, loss.nameLength));
    case LossKind::PrivateUse: return HexText(loss.code, 4);
    }
    return {};
}

// One of the lists: what it is called and how its things are counted.
struct LossList {
    LossKind kind;
    std::u16string_view title;
    std::u16string_view unit;
    bool shownWhenNone = true;  // a list of what books seldom hold is left out when empty
};

constexpr LossList kLossLists[] = {
    {LossKind::Line, u"書き出さなかった項目", u"件"},
    {LossKind::Character, u"Shift_JIS にないため空白にした文字", u"文字"},
    {LossKind::ClosestForm, u"Shift_JIS にないため近い文字にした文字", u"文字"},
    {LossKind::Control, u"書き出さなかった制御文字", u"文字", false},
    {LossKind::PrivateUse, u"私用領域の文字（iPhone では何も表示されません。携帯電話の絵文字など）",
     u"文字"},
};

// What written cards lost past a full log, but the pictograms that became emoji.
std::int64_t Unlisted(LossKind kind, const ConversionDetails& details)
{
    const LossLog& log = details.cards.lossLog;
    std::int64_t count = log.unlisted[static_cast<std::size_t>(kind)];
    if (kind != LossKind::PrivateUse) return count;
    for (std::size_t offset = 0; offset < log.unlistedCodes.size(); ++offset) {
        if (!PictogramOf(details.carrier, static_cast<std::uint16_t>(0xF000 + offset)).empty()) {
            count -= log.unlistedCodes[offset];
        }
    }
    return count;
}

// A card's line lists at most this many different names or codes.
constexpr std::size_t kShownPerCard = 30;

struct LossGroup {
    std::u16string label;
    std::int64_t firstLine;
    std::int64_t count;
};

// "X-CLASS（17行目）", "U+AC00（62行目ほか、計5文字）"
std::u16string GroupText(const LossGroup& group, std::u16string_view unit)
{
    std::u16string text = group.label + u"（" + DecimalText(group.firstLine) + u"行目";
    if (group.count > 1) text += u"ほか、計" + DecimalText(group.count) + std::u16string(unit);
    return text + u"）";
}

// The card's losses of one kind, the same name or code together (an FN line
// that stands in for N keeps its own), in the order of their first line.
std::u16string CardLosses(std::span<const Loss> losses, const LossList& list, const ConversionDetails& details)
{
    std::vector<LossGroup> groups;
    std::unordered_map<std::u16string, std::size_t> groupOf;
    for (const Loss& loss : losses) {
        if (loss.kind != list.kind || !Counts(loss, details)) continue;
        std::u16string label = LossLabel(loss, details.cards.lossLog);
        const auto [found, added] = groupOf.try_emplace(label, groups.size());
        if (added) {
            groups.push_back({std::move(label), loss.line, loss.count});
        } else {
            LossGroup& group = groups[found->second];
            group.firstLine = std::min(group.firstLine, loss.line);
            group.count += loss.count;
        }
    }
    std::stable_sort(groups.begin(), groups.end(),
                     [](const LossGroup& a, const LossGroup& b) { return a.firstLine < b.firstLine; });
    std::u16string text;
    for (std::size_t i = 0; i < groups.size() && i < kShownPerCard; ++i) {
        if (i > 0) text += u"、";
        text += GroupText(groups[i], list.unit);
    }
    if (groups.size() > kShownPerCard) {
        text += u"、ほか" + DecimalText(static_cast<std::int64_t>(groups.size() - kShownPerCard)) + u"種類";
    }
    return text;
}

// Calls `visit` with each card's losses of the list's kind that count, and
// how many they are.
template <typename Visit>
void ForEachCardThatLost(const LossList& list, const ConversionDetails& details, const Visit& visit)
{
    const std::span<const Loss> losses = details.cards.lossLog.losses;
    for (std::size_t start = 0; start < losses.size();) {
        std::size_t end = start;
        std::int64_t counted = 0;
        for (; end < losses.size() && losses[end].card == losses[start].card; ++end) {
            if (losses[end].kind == list.kind && Counts(losses[end], details)) counted += losses[end].count;
        }
        if (counted > 0) visit(losses[start].card, losses.subspan(start, end - start), counted);
        start = end;
    }
}

// One list: a first line with its totals, then a line for each card.
void WriteLossList(const LossList& list, const ConversionDetails& details, const ReportSink& sink)
{
    std::int64_t total = 0;
    std::int64_t cardCount = 0;
    ForEachCardThatLost(list, details, [&](std::uint32_t, std::span<const Loss>, std::int64_t counted) {
        total += counted;
        ++cardCount;
    });
    const std::int64_t unlisted = Unlisted(list.kind, details);
    if (total + unlisted == 0) {
        if (list.shownWhenNone) sink(std::u16string(list.title) + u"：なし\n");
        return;
    }
    sink(std::u16string(list.title) + u"：" + DecimalText(total + unlisted) + std::u16string(list.unit) +
         u"（カード" + DecimalText(cardCount) + u"件）\n");
    ForEachCardThatLost(list, details, [&](std::uint32_t card, std::span<const Loss> losses, std::int64_t) {
        sink(ReportLine(DetailsOf(details.cards, card), card + std::size_t{1},
                        CardLosses(losses, list, details)));
    });
    if (unlisted > 0) {
        sink(u"  ほかに、数が多いため一覧にしていないもの " + DecimalText(unlisted) +
             std::u16string(list.unit) + u"\n");
    }
}

// The lists, or one line when no written card lost anything.
void WriteLosses(const ConversionDetails& details, const ReportSink& sink)
{
    const LossLog& log = details.cards.lossLog;
    const bool any =
        std::any_of(log.losses.begin(), log.losses.end(), [&details](const Loss& loss) { return Counts(loss, details); }) ||
        std::any_of(std::begin(kLossLists), std::end(kLossLists),
                    [&details](const LossList& list) { return Unlisted(list.kind, details) > 0; });
    if (!any) {
        sink(u"書き出さなかった項目・文字はありません。\n");
        return;
    }
    for (const LossList& list : kLossLists) WriteLossList(list, details, sink);
}

std::u16string_view CarrierName(Carrier carrier)
{
    switch (carrier) {
    case Carrier::Docomo: return u"docomo";
    case Carrier::Au: return u"au";
    case Carrier::SoftBank: return u"SoftBank";
    case Carrier::None: break;
    }
    return {};
}

// Which carrier's pictograms became emoji, or why the ones found did not.
std::u16string PictogramsText(const ConversionDetails& details, std::u16string_view chooseCarrier)
{
    if (ChoseCarrierInVain(details)) return u"絵文字：" + std::u16string(kPictogramsOnlyInShiftJis) + u"\n";
    if (details.carrier != Carrier::None) {
        const std::u16string carrier = u"絵文字：" + std::u16string(CarrierName(details.carrier)) + u" の絵文字";
        if (details.pictogramsConverted == 0) return carrier + u"はありませんでした。\n";
        const std::u16string how = details.emojiChoice == EmojiChoice::Auto ? u"（自動判定）" : u"";
        return carrier + DecimalText(details.pictogramsConverted) + u"個を iPhone の絵文字にしました" + how +
               u"。\n";
    }
    if (!details.unattributedCodes) return {};
    // Those past a full log count too, as in the list of private-use codes.
    std::int64_t remaining = Unlisted(LossKind::PrivateUse, details);
    for (const Loss& loss : details.cards.lossLog.losses) {
        if (loss.kind == LossKind::PrivateUse && Counts(loss, details)) remaining += loss.count;
    }
    return u"絵文字：携帯電話の絵文字と思われる文字" + DecimalText(remaining) +
           u"個は、どの携帯電話会社のものか決められないため、そのままにしました（iPhone では表示されません）。"
           u"携帯電話会社を選んで変換し直すと絵文字になります" + std::u16string(chooseCarrier) + u"。\n";
}

// The lines read otherwise than the book: Shift_JIS lines of a UTF-8 book,
// UTF-8 lines of a Shift_JIS one.
std::u16string LinesReadOtherwiseText(const ConversionDetails& details)
{
    const CardList& cards = details.cards;
    if (cards.linesReadOtherwise == 0) return {};
    const bool utf8Book = details.encoding != SourceEncoding::ShiftJis;
    std::u16string text = utf8Book ? u"内容から Shift_JIS として読んだ行：" : u"内容から UTF-8 として読んだ行：";
    text += DecimalText(cards.linesReadOtherwise) + u"行（";
    for (std::size_t i = 0; i < cards.firstLinesReadOtherwise.size(); ++i) {
        if (i > 0) text += u"、";
        text += DecimalText(cards.firstLinesReadOtherwise[i]) + u"行目";
    }
    const auto listed = static_cast<std::int64_t>(cards.firstLinesReadOtherwise.size());
    if (cards.linesReadOtherwise > listed) text += u"、ほか" + DecimalText(cards.linesReadOtherwise - listed) + u"行";
    return text + u"）\n";
}

// Which conversion the report belongs to, for one opened later: the book's
// file name (the same in every front end, which the page knows no folder
// of) and the counts the window showed.
std::u16string BookText(const ConversionDetails& details)
{
    const CardCounts counts = CountCards(details.cards);
    return u"変換元：" + EscapeControls(SplitAtLastSeparator(details.inputName).name) + u"（入力データ：" + DecimalText(counts.cardsRead) +
           u"件、出力データ：" + DecimalText(counts.cardsWritten) + u"件）\n";
}

// Every BEGIN:VCARD that starts no card, with why: no card goes missing
// without a word.
std::u16string UnreadBeginsText(const ConversionDetails& details)
{
    constexpr std::size_t kListed = 30;
    const std::vector<UnreadBegin>& unread = details.cards.unreadBegins;
    if (unread.empty()) return {};
    std::u16string text = u"カードの始まりとして読まなかった BEGIN:VCARD：" +
                          DecimalText(static_cast<std::int64_t>(unread.size())) + u"か所（";
    for (std::size_t i = 0; i < unread.size() && i < kListed; ++i) {
        if (i > 0) text += u"、";
        text += DecimalText(unread[i].line) + u"行目：";
        switch (unread[i].why) {
        case UnreadBegin::Why::InsideALine: text += u"行の途中にある"; break;
        case UnreadBegin::Why::ContinuesALine: text += u"前の行の続きになっている"; break;
        case UnreadBegin::Why::MoreOnItsLine: text += u"同じ行にほかの文字がある"; break;
        }
    }
    if (unread.size() > kListed) {
        text += u"、ほか" + DecimalText(static_cast<std::int64_t>(unread.size() - kListed)) + u"か所";
    }
    return text + u"）\n";
}

// NUL bytes are no text; the scanner reads them as line breaks, which is
// worth knowing when a card looks cut.
std::u16string NulBytesText(const ConversionDetails& details)
{
    if (details.nulCount == 0) return {};
    return u"NUL文字（0x00）が" + DecimalText(details.nulCount) + u"個ありました（最初は" +
           DecimalText(details.firstNulLine) + u"行目）。改行として読みました。\n";
}

} // namespace

std::u16string EscapeControls(std::u16string_view text)
{
    static constexpr char16_t kDigits[] = u"0123456789abcdef";
    std::u16string escaped;
    escaped.reserve(text.size());
    for (std::size_t pos = 0; pos < text.size(); ++pos) {
        // A byte of a file name that is not UTF-8 is shown as the byte.
        const bool byte = IsEscapedFileNameByte(text, pos);
        const char16_t unit = byte ? static_cast<char16_t>(text[pos] - 0xDC00) : text[pos];
        if (!byte && unit >= 0x20 && (unit < 0x7F || unit > 0x9F)) {
            escaped.push_back(unit);
            continue;
        }
        escaped += u"\\x";
        escaped.push_back(kDigits[unit >> 4]);
        escaped.push_back(kDigits[unit & 0xF]);
    }
    return escaped;
}

void WriteReport(const ConversionDetails& details, const ReportSink& sink, std::u16string_view chooseCarrier)
{
    const CardList& cards = details.cards;
    sink(BookText(details));
    sink(EncodingText(details.encoding));
    sink(LinesReadOtherwiseText(details));
    sink(UnreadBeginsText(details));
    if (!WriteCardList(cards, IsNotWritten, RejectionText, u"書き出さなかったカード：", sink)) {
        sink(u"書き出さなかったカードはありません。\n");
    }
    WriteCardList(cards, IsPartlyWritten, DroppedItemsText, u"一部を書き出さなかったカード：", sink);
    WriteCardList(cards, IsWithoutReading, NoReadingText,
                  u"読みのないカード（iPhone では五十音順に並びません。読みを入れると並びます）：", sink);
    WriteCardList(cards, IsTooLarge, TooLargeText,
                  u"iCloud.com が読み込まないカード（カードは 256 KB、写真は 224 KB まで。書き出してあります。"
                  u"写真を小さくするか、iPhone で写真を付け直してください）：",
                  sink);
    sink(NulBytesText(details));
    sink(PictogramsText(details, chooseCarrier));
    WriteLosses(details, sink);
}

} // namespace karuto
