#include "cli/console.h"

#include <unistd.h>

#include <cerrno>
#include <string>

#include "platform/unicode.h"

namespace karuto::cli {

namespace {

bool WriteUtf8(int fd, std::u16string_view text)
{
    const std::string bytes = WideToUtf8(text);
    std::size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t written = write(fd, bytes.data() + done, bytes.size() - done);
        if (written < 0 && errno == EINTR) continue;
        if (written <= 0) return false;
        done += static_cast<std::size_t>(written);
    }
    return true;
}

} // namespace

bool WriteOut(std::u16string_view text) { return WriteUtf8(STDOUT_FILENO, text); }

bool WriteError(std::u16string_view text) { return WriteUtf8(STDERR_FILENO, text); }

bool InputIsTerminal() { return isatty(STDIN_FILENO) == 1; }

std::optional<std::u16string> ReadInputLine()
{
    std::string line;
    char byte = 0;
    for (;;) {
        const ssize_t got = read(STDIN_FILENO, &byte, 1);
        if (got < 0 && errno == EINTR) continue;
        if (got <= 0) {
            if (line.empty()) return std::nullopt;
            break;
        }
        if (byte == '\n') break;
        line.push_back(byte);
    }
    if (!line.empty() && line.back() == '\r') line.pop_back();
    return Utf8ToWide(line);
}

} // namespace karuto::cli
