// Prints the best-fit entries of the system's code page 932 encoder: every BMP
// character that WideCharToMultiByte(932) without flags converts to a code
// although it has no exact form (WC_NO_BEST_FIT_CHARS gives the default
// character). Run under Wine (or Windows); tools/gen_cp932_tables.py reads the
// output, committed as tools/cp932_best_fit.txt.

#include <windows.h>

#include <cstdio>
#include <string>

namespace {

std::string Encode(wchar_t unit, DWORD flags)
{
    char bytes[4] = {};
    const int count = WideCharToMultiByte(932, flags, &unit, 1, bytes, sizeof bytes, " ", nullptr);
    return std::string(bytes, count > 0 ? count : 0);
}

} // namespace

int main()
{
    std::printf("# Best-fit entries of code page 932 (WideCharToMultiByte without flags):\n"
                "# character, then the code it becomes. Written by tools/dump_cp932_best_fit.cpp.\n");
    for (unsigned unit = 0x0001; unit <= 0xFFFF; ++unit) {
        if (unit >= 0xD800 && unit <= 0xDFFF) continue;
        const wchar_t wide = static_cast<wchar_t>(unit);
        const std::string plain = Encode(wide, 0);
        if (plain == Encode(wide, WC_NO_BEST_FIT_CHARS)) continue;
        std::printf("U+%04X", unit);
        for (const char byte : plain) std::printf(" %02X", static_cast<unsigned char>(byte));
        std::printf("\n");
    }
    return 0;
}
