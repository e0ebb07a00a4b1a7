#include "cli/options.h"

#include <string>

#include "job/conversion.h"
#include "platform/codepage.h"

namespace karuto::cli {

namespace {

bool IsAbsolute(PathView path)
{
#ifdef _WIN32
    const bool driveRoot = path.size() >= 3 && path[1] == u':' &&
                           (path[2] == u'\\' || path[2] == u'/');
    const bool uncOrRooted = !path.empty() && (path[0] == u'\\' || path[0] == u'/');
    return driveRoot || uncOrRooted;
#else
    return !path.empty() && path[0] == u'/';
#endif
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

} // namespace

ParsedOptions ParseOptions(const std::vector<PathString>& arguments)
{
    ParsedOptions parsed;
    Options& options = parsed.options;
    bool inputGiven = false;
    for (std::size_t i = 0; i < arguments.size(); ++i) {
        const PathString& argument = arguments[i];
        if (argument == u"-h" || argument == u"--help") {
            options.help = true;
        } else if (argument == u"-y" || argument == u"--yes") {
            options.assumeYes = true;
        } else if (argument == u"--report") {
            options.report = true;
        } else if (argument == u"-o" || argument == u"--output") {
            if (i + 1 == arguments.size() || options.outputGiven) {
                parsed.error = u"-o には出力ファイルを一つだけ指定してください。 (-o takes one output file.)";
                return parsed;
            }
            options.outputPath = arguments[++i];
            options.outputGiven = true;
        } else if (argument.size() > 1 && argument[0] == u'-') {
            parsed.error = u"不明なオプションです (unknown option): " + argument;
            return parsed;
        } else if (inputGiven) {
            parsed.error = u"変換元ファイルは一つだけ指定してください。 (Give one input file.)";
            return parsed;
        } else {
            options.inputPath = argument;
            inputGiven = true;
        }
    }
    if (!inputGiven && !options.help) {
        parsed.error = u"変換元ファイルを指定してください。 (No input file given.)";
        return parsed;
    }
    parsed.ok = true;
    return parsed;
}

PathString MakeAbsolute(PathView path, PathView currentDirectory)
{
    if (path.empty() || IsAbsolute(path)) return PathString(path);
    PathString absolute(currentDirectory);
    if (absolute.empty() || absolute.back() != kPathSeparator) absolute.push_back(kPathSeparator);
    absolute.append(path);
    return absolute;
}

std::u16string UsageLine()
{
    return u"使い方 (usage): karuto [--yes] [--report] [-o 出力.vcf] 変換元.vcf\n";
}

std::u16string HelpText()
{
    return UsageLine() +
           u"\n"
           u"携帯電話やPCから書き出したアドレス帳（vCard）を、iPhoneの「連絡先」に\n"
           u"取り込める形に変換し、変換元と同じフォルダに「PC→iPhone.vcf」を作ります。\n"
           u"\n"
           u"  -o, --output ファイル  作成するファイルを指定します（拡張子は .vcf）。\n"
           u"  -y, --yes             作成するファイルが既にあるとき、確認せずに上書きします。\n"
           u"      --report          書き出さなかったカードを、位置・名前・理由とともに表示します。\n"
           u"  -h, --help            この説明を表示します。\n"
           u"\n"
           u"Converts an address book (vCard) exported from a mobile phone or a PC into a\n"
           u"file that the iPhone Contacts app imports, written as \"PC→iPhone.vcf\" next to\n"
           u"the input.\n"
           u"\n"
           u"  -o, --output FILE  write FILE instead (it must end in .vcf)\n"
           u"  -y, --yes          replace an existing output file without asking\n"
           u"      --report       list the cards that were not written, with their\n"
           u"                     position, name and the reason\n"
           u"  -h, --help         show this help\n"
           u"\n"
           u"終了コード (exit status): 0 変換完了 (converted), 1 失敗 (failed or refused),\n"
           u"2 使い方の誤り (usage error), 3 上書きしなかった (replacement declined)\n";
}

// NUL bytes are no text; the scanner reads them as line breaks, which is
// worth knowing when a card looks cut.
std::u16string NulBytesText(const ConversionDetails& details)
{
    if (details.nulCount == 0) return {};
    return u"NUL文字（0x00）が" + DecimalText(details.nulCount) + u"個ありました（最初は" +
           DecimalText(details.firstNulLine) + u"行目）。改行として読みました。\n";
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
    return notWritten + PartlyWrittenCards(cards) + NulBytesText(details);
}

} // namespace karuto::cli
