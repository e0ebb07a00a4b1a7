#pragma once
// The output file, cards written one by one: UTF-16LE with a byte-order mark
// for the iPhone's own import, or UTF-8 without one for the importers of
// iCloud.com and Google Contacts.
// The cards go into a temporary file in the output's folder, which takes the
// output's place in one step only once every card has been written; so a
// conversion that fails or is killed part-way never leaves half a file under
// the output's name, and the file that was there stays as it was.

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

#include "job/outcome.h"
#include "platform/pictogram_codes.h"
#include "platform/files.h"

namespace karuto {

// Which importer the output is made for: the iPhone's (Mail, Files), or
// iCloud.com's and Google Contacts' (vCard 3.0 in UTF-8, folded lines).
enum class OutputForm { IPhone, ICloud };

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
// and writes the byte-order mark its form starts with (FF FE, or none):
// Done, or CannotMakeOutput with nothing left behind. `output` must be fresh.
Outcome OpenOutputFile(PathView path, OutputFile& output, OutputForm form = OutputForm::IPhone);

// The bytes an output of `form` starts with.
std::string_view OutputMark(OutputForm form);

// Takes a block of the output file's bytes; false when it could not be kept.
using ByteSink = std::function<bool(std::string_view bytes)>;

// Cards on their way into the output, gathered into large blocks: one write
// for many cards instead of one per card.
struct CardWriter {
    ByteSink write;
    std::string pending;  // bytes not written yet
    OutputForm form = OutputForm::IPhone;
    std::string utf8 = {};       // the cards of the iCloud form before they are folded
    std::size_t lineOctets = 0;  // the length of their last line so far
    // Done until a write fails or memory for a card's converted text runs out; then
    // CannotWriteOutput, and nothing more is taken.
    Outcome outcome = Outcome::Done;
    // Whose pictograms become emoji on the way, and how many did.
    PictogramConversion pictograms = {};
};

// A writer into an open file.
CardWriter FileCardWriter(OutputHandle& file, OutputForm form = OutputForm::IPhone);

// Adds a card's Shift_JIS text in the writer's form, writing the gathered
// cards once they fill a block.
void WriteCardBuffered(std::string_view text, CardWriter& writer);

// Writes what is gathered.
void FlushCards(CardWriter& writer);

// Flushes and closes the temporary file of an opened output and puts it in
// the output's place: Done, or CannotWriteOutput with the temporary file gone
// and an existing output as it was.
Outcome CommitOutputFile(OutputFile& output);

// A name for the temporary file from a random number: "~kt" and four letters
// or digits. It is no ".vcf" and never the output's name, and it is at most
// three units longer than the shortest output name (".vcf"), so that it fits
// beside any output a conversion accepts.
PathString TemporaryFileName(std::uint32_t random);

} // namespace karuto
