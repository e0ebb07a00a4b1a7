#pragma once
// The command line of the `karuto` front end, apart from its console I/O.

#include <optional>
#include <string>
#include <vector>

#include "job/conversion.h"
#include "platform/files.h"
#include "writer/cards.h"

namespace karuto::cli {

enum ExitStatus {
    ExitConverted = 0,  // the conversion ran to its end
    ExitFailed = 1,     // refused paths or a failed conversion
    ExitUsage = 2,
    ExitDeclined = 3,   // the user did not confirm replacing the output file
};

struct Options {
    PathString inputPath;
    PathString outputPath;  // derived from the input unless -o names it
    bool outputGiven = false;
    bool assumeYes = false;
    bool report = false;
    EmojiChoice emoji = EmojiChoice::Auto;  // --emoji=auto|docomo|au|softbank|none
    OutputForm form = OutputForm::IPhone;   // --format=iphone|icloud
    bool help = false;
    bool version = false;
};

struct ParsedOptions {
    bool ok = false;
    Options options;
    std::u16string error;  // what was wrong, when not ok
};

ParsedOptions ParseOptions(const std::vector<PathString>& arguments);

bool IsAbsolutePath(PathView path);

// A path as the window would have it: relative paths are taken from
// `currentDirectory`. Nothing for a relative path when there is no current
// folder (it was removed): such a path names nothing.
std::optional<PathString> MakeAbsolute(PathView path, PathView currentDirectory);

std::u16string HelpText();
std::u16string UsageLine();
std::u16string VersionText();

// Why relative paths cannot be used: the current folder is gone.
inline constexpr char16_t kNoCurrentFolder[] =
    u"現在のフォルダがなくなっているため、相対パスは使えません。絶対パスで指定してください。\n"
    u"(The current folder no longer exists: give absolute paths.)";

} // namespace karuto::cli
