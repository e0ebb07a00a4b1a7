// The converter's interface for the web page (web/worker.js): the bytes of one
// source file in; out the output file's bytes, the card counts, the job's
// messages and the report of cards not written. The conversion is the job's
// own, in memory; only the checks that concern a path on disk are left out.
// The output leaves the module in blocks as it is made (Module.onOutputBlock),
// so the module never holds more than the input and one block; so does the
// report (Module.onReportBlock), which can be larger than the book itself.

#include <emscripten/emscripten.h>

#include <cstddef>
#include <cstdio>
#include <new>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "job/conversion.h"
#include "job/report.h"
#include "job/report_file.h"
#include "platform/unicode.h"

namespace {

// The file's bytes go straight into the string the conversion takes over,
// so that the module never holds them twice.
std::string pendingInput;
// What JSON.parse makes of the last conversion.
std::string lastResult;

// The block is a view of the heap, valid only during the call: the worker
// makes it a Blob at once, which copies it once.
EM_JS(void, HandOutputBlock, (const char* data, std::size_t size), {
    Module["onOutputBlock"](HEAPU8.subarray(data, data + size));
});

EM_JS(void, HandReportBlock, (const char* data, std::size_t size), {
    Module["onReportBlock"](HEAPU8.slice(data, data + size));
});

// The report as the text file the page saves (the worker puts the mark
// before it). The page shows only its first lines (a report of a few hundred
// thousand cards would freeze it), kept here with plain line ends.
class ReportWriter {
public:
    static constexpr std::size_t kShownLines = 100;
    static constexpr std::size_t kShownBytes = 16 * 1024;
    static constexpr std::size_t kBlockBytes = 256 * 1024;

    // `handOut` false: the blocks are dropped (the warm-up's report).
    explicit ReportWriter(bool handOut = true) : handOut_(handOut) { pending_.reserve(kBlockBytes + 1024); }

    void Add(std::u16string_view text)
    {
        const std::size_t start = pending_.size();
        karuto::AppendReportFileText(pending_, text);
        for (std::size_t i = start; i < pending_.size(); ++i) {
            const char c = pending_[i];
            // The file's line ends; the page shows plain ones.
            if (c == '\r' && i + 1 < pending_.size() && pending_[i + 1] == '\n') continue;
            if (showing_) line_ += c;
            if (c != '\n') continue;
            ++lines_;
            if (showing_ && shownLines_ < kShownLines && shown_.size() + line_.size() <= kShownBytes) {
                shown_ += line_;
                ++shownLines_;
            } else {
                showing_ = false;
            }
            line_.clear();
        }
        if (pending_.size() >= kBlockBytes) Flush();
    }

    void Flush()
    {
        if (!pending_.empty() && handOut_) HandReportBlock(pending_.data(), pending_.size());
        pending_.clear();
    }

    std::size_t Lines() const { return lines_; }
    std::size_t ShownLines() const { return shownLines_; }
    const std::string& Shown() const { return shown_; }

private:
    std::string pending_;
    std::string line_;
    std::string shown_;
    std::size_t lines_ = 0;
    std::size_t shownLines_ = 0;
    bool showing_ = true;
    bool handOut_;
};

void AppendJsonString(std::string& json, std::string_view utf8)
{
    json += '"';
    for (const char c : utf8) {
        const auto byte = static_cast<unsigned char>(c);
        if (c == '"' || c == '\\') {
            json += '\\';
            json += c;
        } else if (byte < 0x20) {
            char escape[8];
            std::snprintf(escape, sizeof escape, "\\u%04x", byte);
            json += escape;
        } else {
            json += c;
        }
    }
    json += '"';
}

struct Message {
    const char* kind;  // "line" for the message list, "error" for an error box
    std::u16string text;
};

// The report's numbers and first lines, of a report that was made.
struct ReportSummary {
    std::size_t lines = 0;
    std::size_t shownLines = 0;
    std::string shown;
};

std::string ResultJson(int result, const karuto::ConversionDetails& details,
                       const std::vector<Message>& messages, bool converted, const ReportSummary& report)
{
    const karuto::CardCounts counts = karuto::CountCards(details.cards);
    std::string json = "{\"result\":" + std::to_string(result) +
                       ",\"converted\":" + (converted ? "true" : "false") +
                       ",\"cardsRead\":" + std::to_string(counts.cardsRead) +
                       ",\"cardsWritten\":" + std::to_string(counts.cardsWritten) +
                       ",\"messages\":[";
    for (std::size_t i = 0; i < messages.size(); ++i) {
        json += i == 0 ? "{\"kind\":\"" : ",{\"kind\":\"";
        json += messages[i].kind;
        json += "\",\"text\":";
        AppendJsonString(json, karuto::WideToUtf8(messages[i].text));
        json += '}';
    }
    json += "],\"reportLines\":" + std::to_string(report.lines) +
            ",\"reportStartLines\":" + std::to_string(report.shownLines) + ",\"reportStart\":";
    AppendJsonString(json, report.shown);
    json += '}';
    return json;
}

// The page's users choose the carrier in the page, not with an option.
constexpr char16_t kChooseCarrierInPage[] = u"（【携帯電話の絵文字】で会社を選べます）";

} // namespace

extern "C" {

// Room for the next file's `size` bytes, which the caller copies there; null
// when memory runs out.
EMSCRIPTEN_KEEPALIVE unsigned char* karuto_input_buffer(std::size_t size)
{
    try {
        std::string().swap(lastResult);
        pendingInput.assign(size, '\0');
        return reinterpret_cast<unsigned char*>(pendingInput.data());
    } catch (const std::bad_alloc&) {
        std::string().swap(pendingInput);
        return nullptr;
    }
}

// Converts the file in the input buffer; `name` is its UTF-8 file name,
// `emoji` the choice for feature-phone pictograms (0 auto, 1 none, 2 docomo,
// 3 au, 4 softbank; anything else is auto), `form` the output's form (0 the
// iPhone's "PC→iPhone.vcf", 1 iCloud.com's and Google's "PC→iCloud.vcf";
// anything else is the iPhone's). Returns the job's result: 0 when the
// conversion ran to its end, -1 when it was refused or failed.
EMSCRIPTEN_KEEPALIVE int karuto_convert(const char* name, int emoji, int form)
{
    const auto choice = emoji >= 0 && emoji <= static_cast<int>(karuto::EmojiChoice::SoftBank)
                            ? static_cast<karuto::EmojiChoice>(emoji)
                            : karuto::EmojiChoice::Auto;
    const auto outputForm = form == 1 ? karuto::OutputForm::ICloud : karuto::OutputForm::IPhone;
    std::vector<Message> messages;
    karuto::JobWindow window;
    // Nothing exists in the browser that a conversion could replace.
    window.askQuestion = [](std::u16string_view) { return true; };
    window.showError = [&messages](std::u16string_view text) {
        messages.push_back({"error", std::u16string(text)});
    };
    window.addMessage = [&messages](std::u16string_view text) {
        messages.push_back({"line", std::u16string(text)});
    };
    karuto::ConversionDetails details;
    const int result = karuto::ConvertFileBytes(
        karuto::Utf8ToWide(name), std::move(pendingInput), window,
        [](std::string_view block) {
            HandOutputBlock(block.data(), block.size());
            return true;
        },
        &details, choice, outputForm);
    std::string().swap(pendingInput);
    const bool converted = result == 0 && karuto::CountCards(details.cards).cardsWritten > 0;
    ReportSummary summary;
    if (result == 0) {
        try {
            ReportWriter report;
            karuto::WriteReport(
                details, [&report](std::u16string_view text) { report.Add(text); }, kChooseCarrierInPage);
            report.Flush();
            summary = {report.Lines(), report.ShownLines(), report.Shown()};
        } catch (const std::bad_alloc&) {
            // The output was finished before: it stays, as the command line
            // keeps its file. The report blocks handed out so far are no report.
            messages.push_back({"error", karuto::kReportOutOfMemory});
        }
    }
    try {
        lastResult = ResultJson(result, details, messages, converted, summary);
    } catch (const std::bad_alloc&) {
        // Not even the result fits: a failed conversion, as running out of
        // memory during it is.
        details = karuto::ConversionDetails();
        messages.clear();
        messages.push_back({"error", karuto::kCannotLoad});
        messages.push_back({"line", karuto::kFailed});
        lastResult = ResultJson(-1, details, messages, false, {});
        return -1;
    }
    return result;
}

// Converts a copy of the input buffer's first `size` bytes, output and
// report dropped, leaving the buffer as it is. The engines compile a
// function fully only once it has run a while: called a few times on the
// start of a big book, while the user goes on to 変換開始, it lets the whole
// book run at full speed from its first card. Returns false when there is
// nothing to convert or memory runs out, and no further call would help.
EMSCRIPTEN_KEEPALIVE bool karuto_warm_up(std::size_t size)
{
    try {
        if (size == 0 || size > pendingInput.size()) return false;
        karuto::JobWindow window;
        window.askQuestion = [](std::u16string_view) { return true; };
        window.showError = [](std::u16string_view) {};
        window.addMessage = [](std::u16string_view) {};
        karuto::ConversionDetails details;
        if (karuto::ConvertFileBytes(u"warm-up.vcf", pendingInput.substr(0, size), window,
                                     [](std::string_view) { return true; }, &details) != 0) {
            return false;
        }
        ReportWriter report(false);
        karuto::WriteReport(
            details, [&report](std::u16string_view text) { report.Add(text); }, kChooseCarrierInPage);
        return true;
    } catch (const std::bad_alloc&) {
        // A page short of memory converts without it.
        return false;
    }
}

EMSCRIPTEN_KEEPALIVE const char* karuto_result_json() { return lastResult.c_str(); }

EMSCRIPTEN_KEEPALIVE void karuto_release() { std::string().swap(lastResult); }

} // extern "C"
