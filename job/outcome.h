#pragma once
// How a conversion, or a step of it, ended: the job's one vocabulary of
// failures. Its interfaces turn an outcome into their messages and results.

#include <new>

namespace karuto {

enum class Outcome {
    Done,                 // the step, or the whole conversion, ran to its end
    Declined,             // the user kept the existing output; nothing more is said
    Refused,              // the paths or the file name were refused, in a box of their own
    CannotOpenInput,      // the input is missing, a folder, unreadable or held by another program
    CannotReadInput,      // reading it failed, or it changed size while it was read
    OutOfMemory,          // memory ran out, to read the file or anywhere no step says otherwise
    UnsupportedEncoding,  // the input is UTF-16 big-endian
    CannotMakeOutput,     // the output is held, read-only or a folder, or no file can be made beside it
    CannotWriteOutput,    // the cards were read, but could not be written or put in the output's place
    ReportOutOfMemory,    // the output is in place; memory ran out while the report was made
};

// Runs `step`; memory that runs out inside it ends it with what `ifOut`
// returns, which says what that means where it happened. The job's one catch
// of std::bad_alloc: the layers below let it through, but for the file
// operations, which answer it as a failure of their own.
template <typename Step, typename IfOut>
auto IfMemoryRunsOut(const Step& step, const IfOut& ifOut) -> decltype(step())
{
    try {
        return step();
    } catch (const std::bad_alloc&) {
        return ifOut();
    }
}

} // namespace karuto
