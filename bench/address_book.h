#pragma once
// Realistic address books of any size, always the same bytes: a Shift_JIS
// vCard 2.1 book as feature phones export it (Quoted-Printable addresses and
// notes, half-width katakana readings, several phones and e-mails per card,
// NEC and IBM vendor characters, a folded Base64 photo on one card in twenty)
// and a UTF-8 vCard 3.0 book as current phones export it. Card k is the same
// whatever the size of the book, so books of different sizes share a prefix.

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace karuto::bench {

enum class BookKind { ShiftJis21, Utf8V30 };

// The k-th card of a book, CR LF line ends.
std::string AddressBookCard(BookKind kind, std::uint32_t index);

// Whole cards until the book holds at least `minimumBytes` bytes.
std::string GenerateAddressBook(BookKind kind, std::size_t minimumBytes);

// "sjis" or "utf8"; false for anything else.
bool ParseBookKind(std::string_view name, BookKind& kind);

} // namespace karuto::bench
