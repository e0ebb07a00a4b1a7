#pragma once
// Checks of the source and output paths before any file is touched.

#include "job/output.h"
#include "job/window.h"
#include "platform/files.h"

namespace karuto {

// Longest path a conversion accepts, in UTF-16 code units.
inline constexpr std::size_t kMaxPathLength = 256;

// Names of the output file, written into the source file's folder: one for
// each form.
inline constexpr char16_t kOutputFileName[] = u"PC→iPhone.vcf";
inline constexpr char16_t kICloudFileName[] = u"PC→iCloud.vcf";

std::u16string_view OutputFileName(OutputForm form);

// The input's folder followed by the separator and the output's name
// ("PC→iPhone.vcf"); a path without any separator keeps its whole text as the
// folder. Never shortened: a result too long for a conversion is refused by
// CheckPaths.
PathString DeriveOutputPath(PathView inputPath, OutputForm form = OutputForm::IPhone);

// True when both paths pass; otherwise shows one error box and returns false.
bool CheckPaths(PathView outputPath, const JobWindow& window, PathView inputPath);

// The checks of a source file's name that need no disk (it is named, it is a
// ".vcf"), for a file that comes without a path; the same messages.
bool CheckFileName(PathView fileName, const JobWindow& window);

// Does a search for "*.*" inside `path` find at least one entry?
bool DirectoryExists(PathView path);

// From the last "." of the path (folder part included) to its end, or empty.
PathString FileExtension(PathView path);

} // namespace karuto
