#include "job/report.h"

#include <string>

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
    const std::u16string culprit = u"\"" + AnsiToWide(card.rejectedBy) + u"\"";
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
    line += card.name.empty() ? u"（名前なし）" : u"「" + AnsiToWide(card.name) + u"」";
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

// NUL bytes are no text; the scanner reads them as line breaks, which is
// worth knowing when a card looks cut.
std::u16string NulBytesText(const ConversionDetails& details)
{
    if (details.nulCount == 0) return {};
    return u"NUL文字（0x00）が" + DecimalText(details.nulCount) + u"個ありました（最初は" +
           DecimalText(details.firstNulLine) + u"行目）。改行として読みました。\n";
}

} // namespace

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
           NulBytesText(details);
}

} // namespace karuto
