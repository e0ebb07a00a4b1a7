#include "job/paths.h"

#include <algorithm>
#include <span>

#include "vcard/params.h"

namespace karuto {

namespace {

// ".VCF" and ".Vcf" are ".vcf"; full-width letters are not.
bool EqualsNoCaseAscii(PathView a, PathView b)
{
    return std::equal(a.begin(), a.end(), b.begin(), b.end(),
                      [](char16_t x, char16_t y) { return UpperAscii(x) == UpperAscii(y); });
}

// Reading and writing one file at once would replace the only copy of the
// address book with its own conversion.
bool IsSameFile(PathView outputPath, PathView inputPath)
{
    const auto input = QueryFileIdentity(inputPath);
    const auto output = QueryFileIdentity(outputPath);
    return input && output && *input == *output;
}

// `path` itself when it is a folder or holds no separator, otherwise the part
// before its last separator.
PathString ParentDirectory(PathView path)
{
    const PathParts parts = SplitAtLastSeparator(path);
    return PathString(DirectoryExists(path) || !parts.hasFolder ? path : parts.folder);
}

struct PathCheck {
    bool (*fails)(PathView outputPath, PathView inputPath);
    const char16_t* message;
};

constexpr PathCheck kInputUnnamed = {[](PathView, PathView in) { return in.empty(); },
                                     u"変換元ファイル名が入力（選択）されていません。"};
constexpr PathCheck kInputNotVcard = {
    [](PathView, PathView in) { return !EqualsNoCaseAscii(FileExtension(in), u".vcf"); },
    u"変換元ファイルはvCardファイルではありません。"};

constexpr PathCheck kPathChecks[] = {
    kInputUnnamed,
    {[](PathView out, PathView) { return out.empty(); },
     u"添付用ファイル名が入力（選択）されていません。"},
    {[](PathView, PathView in) { return in.size() > kMaxPathLength; },
     u"変換元ファイルのフォルダ名およびファイル名が長すぎます。"},
    {[](PathView out, PathView) { return out.size() > kMaxPathLength; },
     u"添付用ファイルのフォルダ名およびファイル名が長すぎます。"},
    kInputNotVcard,
    {[](PathView out, PathView) { return !EqualsNoCaseAscii(FileExtension(out), u".vcf"); },
     u"添付用ファイルはvCardファイルではありません。"},
    {[](PathView, PathView in) { return !PathExists(in); }, u"変換元ファイルがありません。"},
    {[](PathView out, PathView) { return !DirectoryExists(ParentDirectory(out)); },
     u"添付用フォルダがありません。"},
    {[](PathView out, PathView in) { return IsSameFile(out, in); },
     u"変換元ファイルと添付用ファイルが同じです。"},
};

constexpr PathCheck kNameChecks[] = {kInputUnnamed, kInputNotVcard};

bool PassesChecks(std::span<const PathCheck> checks, PathView outputPath,
                  const JobWindow& window, PathView inputPath)
{
    for (const PathCheck& check : checks) {
        if (check.fails(outputPath, inputPath)) {
            window.showError(check.message);
            return false;
        }
    }
    return true;
}

} // namespace

bool CheckPaths(PathView outputPath, const JobWindow& window, PathView inputPath)
{
    return PassesChecks(kPathChecks, outputPath, window, inputPath);
}

bool CheckFileName(PathView fileName, const JobWindow& window)
{
    return PassesChecks(kNameChecks, PathView(), window, fileName);
}

std::u16string_view OutputFileName(OutputForm form)
{
    return form == OutputForm::ICloud ? kICloudFileName : kOutputFileName;
}

PathString DeriveOutputPath(PathView inputPath, OutputForm form)
{
    const PathParts parts = SplitAtLastSeparator(inputPath);
    PathString folder(parts.hasFolder ? parts.folder : inputPath);
    folder.push_back(kPathSeparator);
    folder.append(OutputFileName(form));
    return folder;
}

bool DirectoryExists(PathView path)
{
    PathString pattern(path);
    if (pattern.empty() || pattern.back() != kPathSeparator) pattern.push_back(kPathSeparator);
    pattern.append(u"*.*");
    return FindFirstEntry(pattern);
}

PathString FileExtension(PathView path)
{
    const std::size_t dot = path.rfind(u'.');
    return dot == PathView::npos ? PathString() : PathString(path.substr(dot));
}

} // namespace karuto
