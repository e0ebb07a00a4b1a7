#include "job/output.h"

#include <algorithm>
#include <chrono>
#include <exception>
#include <new>
#include <random>
#include <string>

#include "platform/codepage.h"
#include "vcard/strings.h"

namespace karuto {

namespace {

constexpr std::string_view kUtf16LeMark = "\xFF\xFE";

// Leftovers of killed conversions may have taken a few names; a folder where
// this many random names are all taken is not one to write into.
constexpr int kNameAttempts = 100;


std::uint64_t RandomSeed()
{
    const auto now = static_cast<std::uint64_t>(
        std::chrono::steady_clock::now().time_since_epoch().count());
    try {
        std::random_device device;
        return now ^ (std::uint64_t{device()} << 32) ^ device();
    } catch (const std::exception&) {
        return now;  // no entropy source: the clock still varies from run to run
    }
}

// The output's folder with its separator, or nothing for a bare name.
PathString FolderOf(PathView path)
{
    const std::size_t separator = path.rfind(kPathSeparator);
    return separator == PathView::npos ? PathString() : PathString(path.substr(0, separator + 1));
}

bool CreateTemporaryFile(OutputFile& output)
{
    const PathString folder = FolderOf(output.path);
    std::mt19937 random(static_cast<std::mt19937::result_type>(RandomSeed()));
    for (int attempt = 0; attempt < kNameAttempts; ++attempt) {
        PathString candidate = folder + TemporaryFileName(static_cast<std::uint32_t>(random()));
        NewFile created = CreateNewFileExclusive(candidate);
        if (created.file.IsOpen()) {
            output.temporaryPath = std::move(candidate);
            output.file = std::move(created.file);
            SetFileRemovedOnInterrupt(output.temporaryPath);
            return true;
        }
        if (!created.nameTaken) return false;
    }
    return false;
}

} // namespace

PathString TemporaryFileName(std::uint32_t random)
{
    constexpr char16_t kDigits[] = u"0123456789abcdefghijklmnopqrstuvwxyz";
    constexpr std::uint32_t kBase = 36;
    PathString name = u"~kt";
    for (int i = 0; i < 4; ++i) {
        name.push_back(kDigits[random % kBase]);
        random /= kBase;
    }
    return name;
}

OutputFile::~OutputFile()
{
    DiscardOutputFile(*this);
}

bool OpenOutputFile(PathView path, OutputFile& output)
{
    try {
        output.path = PathString(path);
        output.original = HoldExistingFile(path);
        if (!output.original.ok) return false;
        if (!CreateTemporaryFile(output)) {
            output.original = HeldFile();
            return false;
        }
        if (output.original.exists) CopyPermissions(output.original.file, output.file);
        if (WriteAllBytes(output.file, kUtf16LeMark)) return true;
    } catch (const std::bad_alloc&) {
    }
    DiscardOutputFile(output);
    return false;
}

bool WriteCardText(std::string_view text, OutputHandle& outputFile)
{
    if (!outputFile.IsOpen()) return false;
    CardWriter writer = FileCardWriter(outputFile);
    return WriteCardBuffered(text, writer) && FlushCards(writer);
}

CardWriter FileCardWriter(OutputHandle& file)
{
    // Each block starts on its way to the disk at once, while the next one is
    // made, instead of all of them in the flush before the output takes its
    // place.
    const auto write = [&file](std::string_view bytes) {
        if (!WriteAllBytes(file, bytes)) return false;
        StartWritingBack(file);
        return true;
    };
    return {write, {}, false};
}

bool WriteCardBuffered(std::string_view text, CardWriter& writer)
{
    // Large enough that system calls cost nothing, small enough to stay in cache.
    constexpr std::size_t kBlockBytes = 1 << 20;
    if (writer.failed) return false;
    // A card text is a NUL-terminated string; nothing after a NUL belongs to it.
    text = UpToFirstNul(text);
    // A card with a large photo goes out in blocks too, never held whole in
    // its UTF-16 form.
    while (!text.empty()) {
        try {
            const std::size_t room = (kBlockBytes - std::min(writer.pending.size(), kBlockBytes)) / 2;
            text.remove_prefix(AppendAnsiAsUtf16LeUpTo(text, std::max<std::size_t>(room, 1),
                                                       writer.pending, &writer.pictograms));
        } catch (const std::bad_alloc&) {
            writer.failed = true;
            return false;
        }
        if (writer.pending.size() >= kBlockBytes && !FlushCards(writer)) return false;
    }
    return true;
}

bool FlushCards(CardWriter& writer)
{
    if (!writer.failed && !writer.pending.empty()) {
        writer.failed = !writer.write(writer.pending);
        writer.pending.clear();
    }
    return !writer.failed;
}

bool CommitOutputFile(OutputFile& output)
{
    const bool written = FlushFile(output.file) && CloseFile(output.file);
    // Windows cannot put a file in the place of one that is open, so the
    // old output is let go right before the replacement.
    OutputHandle original = std::move(output.original.file);
    CloseFile(original);
    if (written && !output.temporaryPath.empty() &&
        MoveFileOver(output.temporaryPath, output.path)) {
        SetFileRemovedOnInterrupt({});
        output.temporaryPath.clear();
        return true;
    }
    DiscardOutputFile(output);
    return false;
}

void DiscardOutputFile(OutputFile& output)
{
    // A file must be closed before Windows deletes it.
    CloseFile(output.file);
    if (!output.temporaryPath.empty()) {
        SetFileRemovedOnInterrupt({});
        RemoveFile(output.temporaryPath);
        output.temporaryPath.clear();
    }
    output.original = HeldFile();
}

} // namespace karuto
