#pragma once
// The command line of the `karuto` front end, apart from its console I/O.

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
    bool help = false;
};

struct ParsedOptions {
    bool ok = false;
    Options options;
    std::u16string error;  // what was wrong, when not ok
};

ParsedOptions ParseOptions(const std::vector<PathString>& arguments);

// A path as the window would have it: relative paths are taken from `currentDirectory`.
PathString MakeAbsolute(PathView path, PathView currentDirectory);

std::u16string HelpText();
std::u16string UsageLine();

} // namespace karuto::cli
