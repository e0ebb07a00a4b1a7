#include "job/output.h"

#include <algorithm>
#include <chrono>
#include <exception>
#include <random>
#include <string>

#include "platform/byte_order_marks.h"
#include "platform/shift_jis.h"
#include "vcard/folding.h"

namespace karuto {

namespace {

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
    const PathParts parts = SplitAtLastSeparator(path);
    return parts.hasFolder ? PathString(parts.folder) + kPathSeparator : PathString();
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

// Closes and deletes the temporary file, leaving an existing output as it was.
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

bool MakeOutputFile(PathView path, OutputFile& output, OutputForm form)
{
    output.path = PathString(path);
    output.original = HoldExistingFile(path);
    if (!output.original.ok || !CreateTemporaryFile(output)) return false;
    if (output.original.exists) CopyPermissions(output.original.file, output.file);
    const std::string_view mark = OutputMark(form);
    return mark.empty() || WriteAllBytes(output.file, mark);
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

std::string_view OutputMark(OutputForm form)
{
    // The importers of iCloud.com and Google Contacts stop at a mark.
    return form == OutputForm::IPhone ? kUtf16LeMark : std::string_view();
}

Outcome OpenOutputFile(PathView path, OutputFile& output, OutputForm form)
{
    if (IfMemoryRunsOut([&] { return MakeOutputFile(path, output, form); }, [] { return false; })) {
        return Outcome::Done;
    }
    DiscardOutputFile(output);
    return Outcome::CannotMakeOutput;
}

CardWriter FileCardWriter(OutputHandle& file, OutputForm form)
{
    // Each block starts on its way to the disk at once, while the next one is
    // made, instead of all of them in the flush before the output takes its
    // place.
    const auto write = [&file](std::string_view bytes) {
        if (!WriteAllBytes(file, bytes)) return false;
        StartWritingBack(file);
        return true;
    };
    CardWriter writer;
    writer.write = write;
    writer.form = form;
    return writer;
}

namespace {

// The start of `text`, up to about `room` bytes of output, converted into
// the writer's form; returns how much of `text` it took.
std::size_t AppendConverted(std::string_view text, std::size_t room, CardWriter& writer)
{
    if (writer.form == OutputForm::IPhone) {
        return AppendAnsiAsUtf16LeUpTo(text, std::max<std::size_t>(room / 2, 1), writer.pending, &writer.pictograms);
    }
    writer.utf8.clear();
    const std::size_t taken =
        AppendAnsiAsUtf8UpTo(text, std::max<std::size_t>(room / 3, 1), writer.utf8, &writer.pictograms);
    AppendFoldedLines(writer.utf8, writer.lineOctets, writer.pending);
    return taken;
}

} // namespace

void WriteCardBuffered(std::string_view text, CardWriter& writer)
{
    // Large enough that system calls cost nothing, small enough to stay in cache.
    constexpr std::size_t kBlockBytes = 1 << 20;
    // A card with a large photo goes out in blocks too, never held whole in
    // its converted form; a card that cannot be converted is a write that failed.
    while (writer.outcome == Outcome::Done && !text.empty()) {
        writer.outcome = IfMemoryRunsOut(
            [&] {
                const std::size_t room = kBlockBytes - std::min(writer.pending.size(), kBlockBytes);
                text.remove_prefix(AppendConverted(text, room, writer));
                return Outcome::Done;
            },
            [] { return Outcome::CannotWriteOutput; });
        if (writer.pending.size() >= kBlockBytes) FlushCards(writer);
    }
}

void FlushCards(CardWriter& writer)
{
    if (writer.outcome != Outcome::Done || writer.pending.empty()) return;
    if (!writer.write(writer.pending)) writer.outcome = Outcome::CannotWriteOutput;
    writer.pending.clear();
}

Outcome CommitOutputFile(OutputFile& output)
{
    const bool written = FlushFile(output.file) && CloseFile(output.file);
    // Windows cannot put a file in the place of one that is open, so the
    // old output is let go right before the replacement.
    OutputHandle original = std::move(output.original.file);
    CloseFile(original);
    if (written && MoveFileOver(output.temporaryPath, output.path)) {
        SetFileRemovedOnInterrupt({});
        output.temporaryPath.clear();
        return Outcome::Done;
    }
    DiscardOutputFile(output);
    return Outcome::CannotWriteOutput;
}

} // namespace karuto
