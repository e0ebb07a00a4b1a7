#include "cli/options.h"

#include <initializer_list>
#include <string>
#include <string_view>
#include <utility>

#include "job/conversion.h"
#include "job/report.h"

namespace karuto::cli {

namespace {

// The pieces one after another, in one string.
std::u16string Joined(std::initializer_list<std::u16string_view> pieces)
{
    std::u16string text;
    for (std::u16string_view piece : pieces) text += piece;
    return text;
}

constexpr char16_t kOutputPrefix[] = u"--output=";

ParsedOptions Refused(std::u16string error)
{
    ParsedOptions parsed;
    parsed.error = std::move(error);
    return parsed;
}

// "-o FILE", "--output FILE" or "--output=FILE"; false when no file follows.
bool TakeOutput(const std::vector<PathString>& arguments, std::size_t& i, Options& options)
{
    const PathString& argument = arguments[i];
    if (argument.starts_with(kOutputPrefix)) {
        options.outputPath = argument.substr(std::char_traits<char16_t>::length(kOutputPrefix));
    } else if (i + 1 < arguments.size()) {
        options.outputPath = arguments[++i];
    } else {
        return false;
    }
    if (options.outputGiven || options.outputPath.empty()) return false;
    options.outputGiven = true;
    return true;
}

bool IsOutputOption(PathView argument)
{
    return argument == u"-o" || argument == u"--output" || argument.starts_with(kOutputPrefix);
}

// The value of "--name=value" taken as one of `choices`; false for any other.
template <typename Choice, std::size_t Count>
bool TakeChoice(PathView argument, std::u16string_view prefix,
                const std::pair<std::u16string_view, Choice> (&choices)[Count], Choice& taken)
{
    const PathView value = argument.substr(prefix.size());
    for (const auto& [name, choice] : choices) {
        if (value == name) {
            taken = choice;
            return true;
        }
    }
    return false;
}

constexpr char16_t kEmojiPrefix[] = u"--emoji=";
constexpr std::pair<std::u16string_view, EmojiChoice> kEmojiChoices[] = {
    {u"auto", EmojiChoice::Auto}, {u"docomo", EmojiChoice::Docomo}, {u"au", EmojiChoice::Au},
    {u"softbank", EmojiChoice::SoftBank}, {u"none", EmojiChoice::None}};

constexpr char16_t kFormatPrefix[] = u"--format=";
constexpr std::pair<std::u16string_view, OutputForm> kFormats[] = {{u"iphone", OutputForm::IPhone},
                                                                  {u"icloud", OutputForm::ICloud}};

// Handles one option; false for an unknown one.
bool TakeFlag(PathView argument, Options& options)
{
    if (argument == u"-h" || argument == u"--help") {
        options.help = true;
    } else if (argument == u"--version") {
        options.version = true;
    } else if (argument == u"-y" || argument == u"--yes") {
        options.assumeYes = true;
    } else if (argument == u"--report") {
        options.report = true;
    } else {
        return false;
    }
    return true;
}

} // namespace

ParsedOptions ParseOptions(const std::vector<PathString>& arguments)
{
    ParsedOptions parsed;
    Options& options = parsed.options;
    bool inputGiven = false;
    bool optionsEnded = false;  // after "--" every argument is a file
    for (std::size_t i = 0; i < arguments.size(); ++i) {
        const PathString& argument = arguments[i];
        // An empty argument is a slip (an unset shell variable), never a file.
        if (argument.empty()) return Refused(u"空の引数は指定できません。 (An argument is empty.)");
        const bool isOption = !optionsEnded && argument.size() > 1 && argument[0] == u'-';
        if (isOption && argument == u"--") {
            optionsEnded = true;
        } else if (isOption && IsOutputOption(argument)) {
            if (!TakeOutput(arguments, i, options)) {
                return Refused(u"-o には出力ファイルを一つだけ指定してください。 (-o takes one output file.)");
            }
        } else if (isOption && argument.starts_with(kEmojiPrefix)) {
            if (!TakeChoice(argument, kEmojiPrefix, kEmojiChoices, options.emoji)) {
                return Refused(u"--emoji には auto、docomo、au、softbank、none のどれかを指定してください。 "
                               u"(--emoji takes auto, docomo, au, softbank or none.)");
            }
        } else if (isOption && argument.starts_with(kFormatPrefix)) {
            if (!TakeChoice(argument, kFormatPrefix, kFormats, options.form)) {
                return Refused(u"--format には iphone か icloud を指定してください。 "
                               u"(--format takes iphone or icloud.)");
            }
        } else if (isOption) {
            if (!TakeFlag(argument, options)) {
                return Refused(Joined({u"不明なオプションです (unknown option): ", EscapeControls(argument)}));
            }
        } else if (inputGiven) {
            return Refused(u"変換元ファイルは一つだけ指定してください。 (Give one input file.)");
        } else {
            options.inputPath = argument;
            inputGiven = true;
        }
    }
    if (!inputGiven && !options.help && !options.version) {
        return Refused(u"変換元ファイルを指定してください。 (No input file given.)");
    }
    parsed.ok = true;
    return parsed;
}

bool IsAbsolutePath(PathView path)
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

std::optional<PathString> MakeAbsolute(PathView path, PathView currentDirectory)
{
    if (path.empty() || IsAbsolutePath(path)) return PathString(path);
    if (currentDirectory.empty()) return std::nullopt;
    PathString absolute(currentDirectory);
    if (absolute.back() != kPathSeparator) absolute.push_back(kPathSeparator);
    absolute.append(path);
    return absolute;
}

std::u16string UsageLine()
{
    return u"使い方 (usage): karuto [--yes] [--report] [--emoji=携帯電話会社] [--format=形式] [-o 出力.vcf] [--] 変換元.vcf\n";
}

std::u16string VersionText()
{
    constexpr std::string_view version = KARUTO_VERSION;
    return Joined({u"karuto ", std::u16string(version.begin(), version.end()), u"\n"});
}

std::u16string HelpText()
{
    return UsageLine() +
           u"\n"
           u"携帯電話やPCから書き出したアドレス帳（vCard）を、iPhoneの「連絡先」に\n"
           u"取り込める形に変換し、変換元と同じフォルダに「PC→iPhone.vcf」を作ります。\n"
           u"\n"
           u"  -o, --output ファイル  作成するファイルを指定します（拡張子は .vcf）。\n"
           u"                        --output=ファイル とも書けます。\n"
           u"  -y, --yes             作成するファイルが既にあるとき、確認せずに上書きします。\n"
           u"      --report          書き出さなかったカード（位置・名前・理由）、メールアドレス・住所の\n"
           u"                        一部を書き出さなかったカード、NUL文字の位置、書き出した\n"
           u"                        カードから漏れた項目・文字を表示します。\n"
           u"      --emoji=会社      携帯電話の絵文字（Shift_JIS のファイルの外字）を iPhone の\n"
           u"                        絵文字にします。auto（既定。ファイルの絵文字がすべて一社の\n"
           u"                        ものと決まるときだけ）、docomo、au、softbank、none（しない）。\n"
           u"      --format=形式     作るファイルの形式です。iphone（既定。「PC→iPhone.vcf」を\n"
           u"                        メールやファイルで iPhone に送るとき）、icloud（「PC→iCloud.vcf」\n"
           u"                        を iCloud.com や Google コンタクトで読み込むとき。vCard 3.0、UTF-8）。\n"
           u"  -h, --help            この説明を表示します。\n"
           u"      --version         バージョンを表示します。\n"
           u"      --                これより後ろはすべてファイル名です（- で始まる名前に）。\n"
           u"\n"
           u"ファイルは、全部を書き終えてから一度に置き換えます。途中で失敗したり中断したり\n"
           u"しても、前からあったファイルはそのまま残ります。\n"
           u"\n"
           u"Converts an address book (vCard) exported from a mobile phone or a PC into a\n"
           u"file that the iPhone Contacts app imports, written as \"PC→iPhone.vcf\" next to\n"
           u"the input.\n"
           u"\n"
           u"  -o, --output FILE  write FILE instead (it must end in .vcf); also\n"
           u"                     --output=FILE\n"
           u"  -y, --yes          replace an existing output file without asking\n"
           u"      --report       list the cards that were not written, with their\n"
           u"                     position, name and the reason, the cards written without\n"
           u"                     some of their e-mails or addresses, where NUL bytes were,\n"
           u"                     and what the written cards lost (lines, characters)\n"
           u"      --emoji=CARRIER\n"
           u"                     turn feature-phone pictograms (user-defined codes of a\n"
           u"                     Shift_JIS file) into emoji: auto (default; only when one\n"
           u"                     carrier has them all), docomo, au, softbank or none\n"
           u"      --format=FORM  the output's form: iphone (default; \"PC→iPhone.vcf\", sent\n"
           u"                     to the iPhone by mail or Files) or icloud (\"PC→iCloud.vcf\",\n"
           u"                     vCard 3.0 in UTF-8 for the import of iCloud.com and\n"
           u"                     Google Contacts)\n"
           u"  -h, --help         show this help\n"
           u"      --version      show the version\n"
           u"      --             every argument after it is a file name\n"
           u"\n"
           u"The output file is replaced in one step once it is written whole: a\n"
           u"conversion that fails or is interrupted leaves an existing file as it was.\n"
           u"\n"
           u"終了コード (exit status): 0 変換完了 (converted), 1 失敗 (failed or refused),\n"
           u"2 使い方の誤り (usage error), 3 上書きしなかった (replacement declined)\n";
}

} // namespace karuto::cli
