// karuto_speed: the whole conversion against the physical floor, and the
// scaling cases that would expose a hidden quadratic path.
//
//   karuto_speed                 1, 10 and 100 MB books, both kinds
//   karuto_speed --sizes 1,10    other sizes (MB)
//   karuto_speed --scaling       only the scaling cases
//
// The floor is the least any converter of the file must do: read it,
// transcode it with iconv(3) ("CP932" or "UTF-8" to "UTF-16LE") and write the
// result. Both run on the same bytes, alternately, each in a child process of
// its own so that its peak memory (maximum resident set) is its own.

#include <iconv.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "bench/address_book.h"
#include "job/conversion.h"
#include "job/output.h"

#include "writer/scanning.h"

namespace karuto::bench {
namespace {

namespace fs = std::filesystem;

struct Measurement {
    double seconds = 0;
    double peakBytes = 0;
    bool ok = false;
};

// Runs `work` in a child process; its wall time and maximum resident set.
Measurement MeasureInChild(const std::function<bool()>& work)
{
    const auto started = std::chrono::steady_clock::now();
    const pid_t child = fork();
    if (child == 0) _exit(work() ? 0 : 1);
    int status = 0;
    rusage usage{};
    wait4(child, &status, 0, &usage);
    Measurement measured;
    measured.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
    measured.peakBytes = static_cast<double>(usage.ru_maxrss) * 1024.0;
    measured.ok = WIFEXITED(status) && WEXITSTATUS(status) == 0;
    return measured;
}

std::string ReadFile(const fs::path& path)
{
    std::ifstream in(path, std::ios::binary);
    std::string bytes(fs::file_size(path), '\0');
    in.read(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    return bytes;
}

void WriteFile(const fs::path& path, std::string_view bytes)
{
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

// Read, transcode, write: what no conversion of the file can avoid.
bool Floor(const fs::path& input, const fs::path& output, const char* fromCode)
{
    std::string in = ReadFile(input);
    std::string out(in.size() * 2 + 2, '\0');
    const iconv_t converter = iconv_open("UTF-16LE", fromCode);
    if (converter == reinterpret_cast<iconv_t>(-1)) return false;
    char* inPointer = in.data();
    char* outPointer = out.data();
    std::size_t inLeft = in.size();
    std::size_t outLeft = out.size();
    // Bytes the code page lacks are skipped, as a converter must go on.
    while (iconv(converter, &inPointer, &inLeft, &outPointer, &outLeft) == static_cast<std::size_t>(-1)) {
        if (errno != EILSEQ && errno != EINVAL) break;
        ++inPointer;
        --inLeft;
    }
    iconv_close(converter);
    out.resize(out.size() - outLeft);
    WriteFile(output, out);
    return true;
}

bool Conversion(const fs::path& input, const fs::path& output)
{
    JobWindow window;
    window.askQuestion = [](std::u16string_view) { return true; };
    window.showError = [](std::u16string_view) {};
    window.addMessage = [](std::u16string_view) {};
    return RunConversion(output.u16string(), window, input.u16string()) == 0;
}

struct Pair {
    Measurement conversion, floor;
};

// The best of `rounds` alternating runs of each.
Pair Compare(const fs::path& input, const fs::path& folder, const char* fromCode, int rounds)
{
    Pair best;
    best.conversion.seconds = best.floor.seconds = 1e30;
    for (int round = 0; round < rounds; ++round) {
        const Measurement conversion =
            MeasureInChild([&] { return Conversion(input, folder / "PC→iPhone.vcf"); });
        const Measurement floor =
            MeasureInChild([&] { return Floor(input, folder / "floor.vcf", fromCode); });
        if (conversion.seconds < best.conversion.seconds) best.conversion = conversion;
        if (floor.seconds < best.floor.seconds) best.floor = floor;
    }
    return best;
}

void CompareBooks(const std::vector<double>& sizes, const fs::path& folder)
{
    std::printf("%-6s %8s %14s %14s %7s %16s %11s\n", "book", "size", "karuto MB/s", "floor MB/s",
                "ratio", "karuto peak/in", "floor peak/in");
    for (const auto& [kind, name, fromCode] :
         {std::tuple{BookKind::ShiftJis21, "sjis", "CP932"}, std::tuple{BookKind::Utf8V30, "utf8", "UTF-8"}}) {
        for (const double megabytes : sizes) {
            const fs::path input = folder / (std::string(name) + ".vcf");
            WriteFile(input, GenerateAddressBook(kind, static_cast<std::size_t>(megabytes * 1048576)));
            const double inputMb = static_cast<double>(fs::file_size(input)) / 1048576;
            const int rounds = megabytes >= 100 ? 5 : 7;
            const Pair pair = Compare(input, folder, fromCode, rounds);
            std::printf("%-6s %6.0fMB %14.1f %14.1f %7.2f %16.2f %11.2f%s\n", name, megabytes,
                        inputMb / pair.conversion.seconds, inputMb / pair.floor.seconds,
                        pair.conversion.seconds / pair.floor.seconds,
                        pair.conversion.peakBytes / (inputMb * 1048576),
                        pair.floor.peakBytes / (inputMb * 1048576),
                        pair.conversion.ok && pair.floor.ok ? "" : "  (a run failed)");
            std::fflush(stdout);
        }
    }
}

// ---- Scaling cases: t(2N) / t(N) of the conversion of a text in memory. ----

std::string KatakanaNote(std::size_t n)
{
    std::string note = "BEGIN:VCARD\r\nVERSION:2.1\r\nNOTE;CHARSET=SHIFT_JIS:";
    for (std::size_t i = 0; note.size() < n; ++i) note += static_cast<char>(0xB1 + i % 40);
    return note + "\r\nEND:VCARD\r\n";
}

std::string EscapedSemicolons(std::size_t n)
{
    std::string line = "BEGIN:VCARD\r\nVERSION:3.0\r\nNOTE:";
    while (line.size() < n) line += "a\\;";
    return line + "\r\nEND:VCARD\r\n";
}

std::string ManyEmails(std::size_t count)
{
    std::string card = "BEGIN:VCARD\r\nVERSION:3.0\r\nN:Many;Mails;;;\r\n";
    for (std::size_t i = 0; i < count; ++i) card += "EMAIL;TYPE=INTERNET:m" + std::to_string(i) + "@example.com\r\n";
    return card + "END:VCARD\r\n";
}

std::string SmallCards(std::size_t count)
{
    std::string text;
    for (std::size_t i = 0; i < count; ++i) text += "BEGIN:VCARD\r\nVERSION:2.1\r\nN:A;B;;;\r\nEND:VCARD\r\n";
    return text;
}

std::string FoldedPhoto(std::size_t n)
{
    std::string card = "BEGIN:VCARD\r\nVERSION:2.1\r\nPHOTO;ENCODING=BASE64;TYPE=JPEG:";
    for (std::size_t i = 0; card.size() < n; ++i) card += i % 72 == 71 ? "\r\n A" : "A";
    return card + "\r\n\r\nEND:VCARD\r\n";
}

// One conversion of `text`, timed inside a child process: like a user's
// conversion, it starts from a fresh heap. Timed in this process, a run would
// reuse the memory the runs before it let go, which the C library hands back
// or keeps depending on the block's size, so N and 2N would not be timed alike.
double TimeOneConversionInChild(const std::string& text)
{
    int channel[2];
    if (pipe(channel) != 0) return 0;
    const pid_t child = fork();
    if (child == 0) {
        close(channel[0]);
        const auto started = std::chrono::steady_clock::now();
        // The output's blocks are made in full and then let go: handed to
        // the file system they would time the disk and how much it still has
        // to write from the runs before, not the conversion.
        std::size_t written = 0;
        CardList cards;
        CardWriter writer;
        writer.write = [&written](std::string_view bytes) {
            written += bytes.size();
            return true;
        };
        ConvertText(text, cards,
                    [&writer](std::string_view card) { return WriteCardBuffered(card, writer); });
        FlushCards(writer);
        const bool ok = writer.outcome == Outcome::Done && written > 0;
        const double seconds =
            ok ? std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count() : 0;
        _exit(write(channel[1], &seconds, sizeof seconds) == sizeof seconds ? 0 : 1);
    }
    close(channel[1]);
    double seconds = 0;
    if (read(channel[0], &seconds, sizeof seconds) != sizeof seconds) seconds = 0;
    close(channel[0]);
    waitpid(child, nullptr, 0);
    return seconds;
}

// The best of several runs of each text, N and 2N taken in turn so that a
// busy moment of this shared machine weighs on both alike.
std::pair<double, double> TimeConversionsOf(const std::string& single, const std::string& twice)
{
    double bestSingle = 1e30;
    double bestTwice = 1e30;
    for (int round = 0; round < 9; ++round) {
        const double first = TimeOneConversionInChild(single);
        const double second = TimeOneConversionInChild(twice);
        if (first <= 0 || second <= 0) return {0, 0};
        bestSingle = std::min(bestSingle, first);
        bestTwice = std::min(bestTwice, second);
    }
    return {bestSingle, bestTwice};
}

void Scaling()
{
    struct Case {
        const char* name;
        std::function<std::string(std::size_t)> make;
        std::size_t n;
    };
    const Case cases[] = {
        {"4 MB note of half-width katakana", KatakanaNote, 4u << 20},
        {"4 MB line of escaped semicolons", EscapedSemicolons, 4u << 20},
        {"one card with 20 000 e-mails", ManyEmails, 20000},
        {"200 000 small cards", SmallCards, 200000},
        {"16 MB folded photo", FoldedPhoto, 16u << 20},
    };
    std::printf("%-36s %10s %10s %9s\n", "scaling case (N)", "t(N) s", "t(2N) s", "t(2N)/t(N)");
    for (const Case& c : cases) {
        const auto [single, twice] = TimeConversionsOf(c.make(c.n), c.make(2 * c.n));
        std::printf("%-36s %10.4f %10.4f %9.2f\n", c.name, single, twice, twice / single);
        std::fflush(stdout);
    }
}

std::vector<double> ParseSizes(const char* list)
{
    std::vector<double> sizes;
    for (const char* part = list; *part;) {
        sizes.push_back(std::atof(part));
        const char* comma = std::strchr(part, ',');
        if (!comma) break;
        part = comma + 1;
    }
    return sizes;
}

} // namespace
} // namespace karuto::bench

int main(int argc, char** argv)
{
    namespace fs = std::filesystem;
    std::vector<double> sizes = {1, 10, 100};
    bool scalingOnly = false;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--scaling") == 0) {
            scalingOnly = true;
        } else if (std::strcmp(argv[i], "--sizes") == 0 && i + 1 < argc) {
            sizes = karuto::bench::ParseSizes(argv[++i]);
        } else {
            std::fprintf(stderr, "usage: karuto_speed [--sizes MB,MB,...] [--scaling]\n");
            return 2;
        }
    }
    const fs::path folder = fs::temp_directory_path() / ("karuto-speed-" + std::to_string(getpid()));
    fs::create_directories(folder);
    if (!scalingOnly) karuto::bench::CompareBooks(sizes, folder);
    karuto::bench::Scaling();
    fs::remove_all(folder);
    return 0;
}
