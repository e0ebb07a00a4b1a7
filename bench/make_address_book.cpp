// Writes a generated address book: make_address_book sjis|utf8 MEGABYTES FILE

#include <cstdio>
#include <cstdlib>
#include <fstream>

#include "bench/address_book.h"

int main(int argc, char** argv)
{
    karuto::bench::BookKind kind{};
    if (argc != 4 || !karuto::bench::ParseBookKind(argv[1], kind) || std::atof(argv[2]) <= 0) {
        std::fprintf(stderr, "usage: make_address_book sjis|utf8 MEGABYTES FILE\n");
        return 2;
    }
    const auto bytes = static_cast<std::size_t>(std::atof(argv[2]) * 1024 * 1024);
    const std::string book = karuto::bench::GenerateAddressBook(kind, bytes);
    std::ofstream out(argv[3], std::ios::binary);
    out.write(book.data(), static_cast<std::streamsize>(book.size()));
    return out ? 0 : 1;
}
