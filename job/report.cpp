#include "job/report.h"

#include <algorithm>
#include <span>
#include <string>
#include <unordered_map>
#include <vector>

#include "platform/codepage.h"

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
    }
    return {};
}

std::u16string RejectionText(const CardEntry& card)
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
std::u16string ReportLine(const CardEntry& card, std::size_t number, std::u16string_view reason)
{
    std::u16string line = u"  カード" + DecimalText(static_cast<std::int64_t>(number)) + u"（" +
                          DecimalText(card.beginLine) + u"行目）";
    line += card.name.empty() ? u"（名前なし）" : u"「" + EscapeControls(AnsiToWide(card.name)) + u"」";
    line += u"：";
    line += reason;
    line += u"\n";
    return line;
}

std::u16string DroppedItemsText(const CardEntry& card)
{
    return u"項目グループ（item1〜item99）に入りきらないメールアドレス・住所 " +
           DecimalText(card.droppedItems) + u"件を書き出していません";
}

// Cards that were written without some of their e-mails and addresses.
std::u16string PartlyWrittenCards(const CardList& cards)
{
    std::u16string lines;
    std::size_t count = 0;
    for (std::size_t i = 0; i < cards.entries.size(); ++i) {
        const CardEntry& card = cards.entries[i];
        if (!card.ended || card.rejected || card.droppedItems == 0) continue;
        lines += ReportLine(card, i + 1, DroppedItemsText(card));
        ++count;
    }
    if (count == 0) return {};
    return u"一部を書き出さなかったカード：" + DecimalText(static_cast<std::int64_t>(count)) +
           u"件\n" + lines;
}

// ---- What written cards lost ----

bool IsWritten(const CardEntry& card) { return card.ended && !card.rejected; }

// Lost by a written card, and not a pictogram that became an emoji.
bool Counts(const Loss& loss, const ConversionDetails& details)
{
    const CardEntry& card = details.cards.entries[loss.card];
    if (loss.kind == LossKind::PrivateUse &&
        !PictogramOf(details.carrier, static_cast<std::uint16_t>(loss.code)).empty()) {
        return false;
    }
    return IsWritten(card) && !(loss.onlyWithoutName && card.hasName);
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

// How one loss is named: the line's name as written, "U+AC00", "F89F".
std::u16string LossLabel(const Loss& loss, const LossLog& log)
{
    switch (loss.kind) {
    case LossKind::Line:
        return EscapeControls(AnsiToWide(std::string_view(log.names).substr(loss.nameOffset, loss.nameLength)));
    case LossKind::Character: return u"U+" + HexText(loss.code, 4);
    case LossKind::PrivateUse: return HexText(loss.code, 4);
    }
    return {};
}

// One of the three lists: what it is called and how its things are counted.
struct LossList {
    LossKind kind;
    std::u16string_view title;
    std::u16string_view unit;
};

constexpr LossList kLossLists[] = {
    {LossKind::Line, u"書き出さなかった項目", u"件"},
    {LossKind::Character, u"Shift_JIS にないため空白にした文字", u"文字"},
    {LossKind::PrivateUse, u"私用領域の文字（iPhone では何も表示されません。携帯電話の絵文字など）",
     u"文字"},
};

std::int64_t Unlisted(const LossList& list, const LossLog& log)
{
    return log.unlisted[static_cast<std::size_t>(list.kind)];
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

// One list: a first line with its totals, then a line for each card.
std::u16string LossListText(const LossList& list, const ConversionDetails& details)
{
    std::u16string lines;
    std::int64_t total = 0;
    std::int64_t cardCount = 0;
    const CardList& cards = details.cards;
    const std::span<const Loss> losses = cards.lossLog.losses;
    for (std::size_t start = 0; start < losses.size();) {
        std::size_t end = start;
        std::int64_t counted = 0;
        for (; end < losses.size() && losses[end].card == losses[start].card; ++end) {
            if (losses[end].kind == list.kind && Counts(losses[end], details)) counted += losses[end].count;
        }
        if (counted > 0) {
            const std::uint32_t card = losses[start].card;
            lines += ReportLine(cards.entries[card], card + std::size_t{1},
                                CardLosses(losses.subspan(start, end - start), list, details));
            total += counted;
            ++cardCount;
        }
        start = end;
    }
    const std::int64_t unlisted = Unlisted(list, cards.lossLog);
    if (unlisted > 0) {
        lines += u"  ほかに、数が多いため一覧にしていないもの " + DecimalText(unlisted) +
                 std::u16string(list.unit) + u"\n";
    }
    if (total + unlisted == 0) return std::u16string(list.title) + u"：なし\n";
    return std::u16string(list.title) + u"：" + DecimalText(total + unlisted) +
           std::u16string(list.unit) + u"（カード" + DecimalText(cardCount) + u"件）\n" + lines;
}

// The three lists, or one line when no written card lost anything.
std::u16string LossesText(const ConversionDetails& details)
{
    const LossLog& log = details.cards.lossLog;
    const bool any =
        std::any_of(log.losses.begin(), log.losses.end(), [&details](const Loss& loss) { return Counts(loss, details); }) ||
        std::any_of(std::begin(kLossLists), std::end(kLossLists),
                    [&log](const LossList& list) { return Unlisted(list, log) > 0; });
    if (!any) return u"書き出さなかった項目・文字はありません。\n";
    std::u16string text;
    for (const LossList& list : kLossLists) text += LossListText(list, details);
    return text;
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
std::u16string PictogramsText(const ConversionDetails& details)
{
    if (details.carrier != Carrier::None) {
        const std::u16string carrier = u"絵文字：" + std::u16string(CarrierName(details.carrier)) + u" の絵文字";
        if (details.pictogramsConverted == 0) return carrier + u"はありませんでした。\n";
        const std::u16string how = details.emojiChoice == EmojiChoice::Auto ? u"（自動判定）" : u"";
        return carrier + DecimalText(details.pictogramsConverted) + u"個を iPhone の絵文字にしました" + how +
               u"。\n";
    }
    if (!details.unattributedCodes) return {};
    std::int64_t remaining = 0;
    for (const Loss& loss : details.cards.lossLog.losses) {
        if (loss.kind == LossKind::PrivateUse && Counts(loss, details)) remaining += loss.count;
    }
    return u"絵文字：携帯電話の絵文字と思われる文字" + DecimalText(remaining) +
           u"個は、どの携帯電話会社のものか決められないため、そのままにしました（iPhone では表示されません）。"
           u"携帯電話会社を選んで変換し直すと絵文字になります（コマンドラインでは --emoji=docomo、"
           u"--emoji=au、--emoji=softbank）。\n";
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
    for (const char16_t unit : text) {
        if (unit >= 0x20 && (unit < 0x7F || unit > 0x9F)) {
            escaped.push_back(unit);
            continue;
        }
        escaped += u"\\x";
        escaped.push_back(kDigits[unit >> 4]);
        escaped.push_back(kDigits[unit & 0xF]);
    }
    return escaped;
}

std::u16string FormatReport(const ConversionDetails& details)
{
    const CardList& cards = details.cards;
    std::u16string lines;
    std::size_t count = 0;
    for (std::size_t i = 0; i < cards.entries.size(); ++i) {
        const CardEntry& card = cards.entries[i];
        if (card.ended && !card.rejected) continue;
        lines += ReportLine(card, i + 1, RejectionText(card));
        ++count;
    }
    const std::u16string notWritten =
        count == 0 ? std::u16string(u"書き出さなかったカードはありません。\n")
                   : u"書き出さなかったカード：" + DecimalText(static_cast<std::int64_t>(count)) +
                         u"件\n" + lines;
    return EncodingText(details.encoding) + notWritten + PartlyWrittenCards(cards) +
           NulBytesText(details) + PictogramsText(details) + LossesText(details);
}

} // namespace karuto
