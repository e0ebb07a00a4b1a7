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

} // namespace karuto::cli
