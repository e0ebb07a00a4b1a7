#pragma once
// The output file: UTF-16LE with byte-order mark, cards written one by one.
// The cards go into a temporary file in the output's folder, which takes the
// output's place in one step only once every card has been written; so a
// conversion that fails or is killed part-way never leaves half a file under
// the output's name, and the file that was there stays as it was.

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

#include "platform/codepage.h"
#include "platform/files.h"

namespace karuto {

// The output while it is being written.
struct OutputFile {
    PathString path;           // the output's name
    PathString temporaryPath;  // the file being written; empty once it took its place or is gone
    HeldFile original;         // the file being replaced, kept from other openers until then
    OutputHandle file;         // the temporary file, open for writing

    OutputFile() = default;
    OutputFile(const OutputFile&) = delete;
    OutputFile& operator=(const OutputFile&) = delete;
    ~OutputFile();  // discards the temporary file unless it took the output's place
};

// Holds an existing output exclusively, creates the temporary file beside it
// and writes the mark FF FE. False when the output is held by another program,
// read-only or a folder, or the temporary file cannot be made or written;
// nothing is left behind then. `output` must be fresh.
bool OpenOutputFile(PathView path, OutputFile& output);

// Converts one card's Shift_JIS text, up to a NUL, to UTF-16LE and writes it
// at once, through the writer of a conversion's cards; false when the write
// failed or was short.
bool WriteCardText(std::string_view text, OutputHandle& outputFile);

// Takes a block of the output file's bytes; false when it could not be kept.
using ByteSink = std::function<bool(std::string_view bytes)>;

// Cards on their way into the output, gathered into large blocks: one write
// for many cards instead of one per card.
struct CardWriter {
    ByteSink write;
    std::string pending;  // UTF-16LE bytes not written yet
    bool failed = false;  // a write failed; nothing more is taken
    // Whose pictograms become emoji on the way, and how many did.
    PictogramConversion pictograms = {};
};

// A writer into an open file.
CardWriter FileCardWriter(OutputHandle& file);

// Adds a card, writing the gathered cards once they fill a block; false once a
// write has failed.
bool WriteCardBuffered(std::string_view text, CardWriter& writer);

// Writes what is gathered; false when this or an earlier write failed.
bool FlushCards(CardWriter& writer);

// Flushes and closes the temporary file and puts it in the output's place.
// False when any of that failed; the temporary file is gone then and an
// existing output is as it was.
bool CommitOutputFile(OutputFile& output);

// Closes and deletes the temporary file, leaving an existing output as it was.
void DiscardOutputFile(OutputFile& output);

// A name for the temporary file from a random number: "~kt" and four letters
// or digits. It is no ".vcf" and never the output's name, and it is at most
// three units longer than the shortest output name (".vcf"), so that it fits
// beside any output a conversion accepts.
PathString TemporaryFileName(std::uint32_t random);

} // namespace karuto
