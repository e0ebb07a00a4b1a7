// karuto: converts an address book on the command line, with the same checks,
// questions and messages as the window.

#include <optional>
#include <string>
#include <vector>

#include "cli/console.h"
#include "cli/options.h"
#include "job/conversion.h"
#include "job/paths.h"
#include "job/report.h"
#include "platform/file_names.h"

#ifdef _WIN32
#include <cwchar>
#endif

namespace karuto::cli {

namespace {

// Message texts break their lines with CR LF, as message boxes want them.
std::u16string TerminalText(std::u16string_view text)
{
    std::u16string lines;
    for (char16_t unit : text) {
        if (unit != u'\r') lines.push_back(unit);
    }
    return lines + u"\n";
}

bool IsYes(std::u16string_view answer)
{
    return answer == u"y" || answer == u"Y" || answer == u"yes" || answer == u"YES" ||
           answer == u"Yes" || answer == u"はい";
}

// Standard output and standard error; remembers whether any write failed, so
// that a report lost to a full disk does not end in success.
struct Console {
    bool failed = false;

    void Out(std::u16string_view text) { failed = !WriteOut(text) || failed; }
    void Error(std::u16string_view text) { failed = !WriteError(text) || failed; }
};

// The report reaches the terminal in pieces of a moderate size, never whole.
struct ReportPrinter {
    Console& console;
    std::u16string pending;

    void Add(std::u16string_view text)
    {
        pending += text;
        if (pending.size() >= 32 * 1024) Flush();
    }
    void Flush()
    {
        if (!pending.empty()) console.Out(pending);
        pending.clear();
    }
};

struct Session {
    const Options& options;
    Console& console;
    bool declined = false;

    bool Ask(std::u16string_view question)
    {
        bool yes = options.assumeYes;
        if (!yes && InputIsTerminal()) {
            std::u16string prompt = TerminalText(question);
            prompt.pop_back();
            console.Error(prompt + u" [y/N] ");
            const auto answer = ReadInputLine();
            yes = answer && IsYes(*answer);
        } else if (!yes) {
            // Nobody to ask: keep the file, and say how to replace it.
            console.Error(TerminalText(question) +
                          u"確認できないため上書きしませんでした。上書きするには --yes を指定してください。\n"
                          u"(Not replaced: there is no terminal to ask. Use --yes to replace it.)\n");
        }
        declined = !yes;
        return yes;
    }
};

int Convert(const Options& options, Console& console)
{
    const PathString currentDirectory = CurrentDirectory();
    const std::optional<PathString> inputPath =
        MakeAbsolute(WithNativeSeparators(options.inputPath), currentDirectory);
    const std::optional<PathString> outputPath =
        options.outputGiven ? MakeAbsolute(WithNativeSeparators(options.outputPath), currentDirectory)
                            : inputPath ? std::optional(DeriveOutputPath(*inputPath, options.form))
                                        : std::nullopt;
    if (!inputPath || !outputPath) {
        console.Error(TerminalText(kNoCurrentFolder));
        return ExitFailed;
    }
    Session session{options, console};
    JobWindow window;
    window.askQuestion = [&session](std::u16string_view text) { return session.Ask(text); };
    window.showError = [&console](std::u16string_view text) { console.Error(TerminalText(text)); };
    window.addMessage = [&console](std::u16string_view text) { console.Out(TerminalText(text)); };

    ReportPrinter printer{console, {}};
    ReportSink report;
    if (options.report) report = [&printer](std::u16string_view text) { printer.Add(text); };
    ConversionDetails details;
    const int result = RunConversion(*outputPath, window, *inputPath, &details, options.emoji, report,
                                     options.form);
    printer.Flush();
    if (session.declined) return ExitDeclined;
    if (result == 0 && ChoseCarrierInVain(details)) console.Error(TerminalText(kPictogramsOnlyInShiftJis));
    return result == 0 ? ExitConverted : ExitFailed;
}

int Run(const std::vector<PathString>& arguments)
{
    // An interrupted conversion leaves the old output and no temporary file.
    RemoveFileOnInterrupt();
    Console console;
    const ParsedOptions parsed = ParseOptions(arguments);
    int status = ExitConverted;
    if (!parsed.ok) {
        console.Error(parsed.error + u"\n" + UsageLine());
        status = ExitUsage;
    } else if (parsed.options.help) {
        console.Out(HelpText());
    } else if (parsed.options.version) {
        console.Out(VersionText());
    } else {
        status = Convert(parsed.options, console);
    }
    return (console.failed && status == ExitConverted) ? ExitFailed : status;
}

} // namespace

} // namespace karuto::cli

#ifdef _WIN32
int wmain(int argc, wchar_t** argv)
{
    std::vector<karuto::PathString> arguments;
    for (int i = 1; i < argc; ++i) {
        arguments.emplace_back(reinterpret_cast<const char16_t*>(argv[i]), std::wcslen(argv[i]));
    }
    return karuto::cli::Run(arguments);
}
#else
int main(int argc, char** argv)
{
    std::vector<karuto::PathString> arguments;
    for (int i = 1; i < argc; ++i) arguments.push_back(karuto::FileNameToWide(argv[i]));
    return karuto::cli::Run(arguments);
}
#endif
