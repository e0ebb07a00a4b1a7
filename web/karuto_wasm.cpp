// The converter's interface for the web page (web/worker.js): the bytes of one
// source file in; out the output file's bytes, the card counts, the job's
// messages and the report of cards not written. The conversion is the job's
// own, in memory; only the checks that concern a path on disk are left out.
// The output leaves the module in blocks as it is made (Module.onOutputBlock),
// so the module never holds more than the input and one block.

#include <emscripten/emscripten.h>

#include <cstddef>
#include <cstdio>
#include <new>
#include <string>
#include <utility>
#include <vector>

#include "job/conversion.h"
#include "job/report.h"
#include "platform/codepage.h"

namespace {

// The file's bytes go straight into the string the conversion takes over,
// so that the module never holds them twice.
std::string pendingInput;
// What JSON.parse makes of the last conversion.
std::string lastResult;

EM_JS(void, HandOutputBlock, (const char* data, std::size_t size), {
    Module["onOutputBlock"](HEAPU8.slice(data, data + size));
});

void AppendJsonString(std::string& json, std::u16string_view text)
{
    json += '"';
    for (const char c : karuto::WideToUtf8(text)) {
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

std::string ResultJson(int result, const karuto::ConversionDetails& details,
                       const std::vector<Message>& messages, bool converted)
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
        AppendJsonString(json, messages[i].text);
        json += '}';
    }
    json += "],\"report\":";
    AppendJsonString(json, result == 0 ? karuto::FormatReport(details) : u"");
    json += '}';
    return json;
}

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
// 3 au, 4 softbank; anything else is auto). Returns the job's result: 0 when
// the conversion ran to its end, -1 when it was refused or failed.
EMSCRIPTEN_KEEPALIVE int karuto_convert(const char* name, int emoji)
{
    const auto choice = emoji >= 0 && emoji <= static_cast<int>(karuto::EmojiChoice::SoftBank)
                            ? static_cast<karuto::EmojiChoice>(emoji)
                            : karuto::EmojiChoice::Auto;
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
        &details, choice);
    std::string().swap(pendingInput);
    try {
        const bool converted = result == 0 && karuto::CountCards(details.cards).cardsWritten > 0;
        lastResult = ResultJson(result, details, messages, converted);
        return result;
    } catch (const std::bad_alloc&) {
        // The report of a huge book may not fit where its conversion did: a
        // failed conversion, as running out of memory during it is.
        details = karuto::ConversionDetails();
        std::string().swap(lastResult);
        messages.push_back({"error", karuto::kCannotLoad});
        messages.push_back({"line", karuto::kFailed});
        lastResult = ResultJson(-1, details, messages, false);
        return -1;
    }
}

EMSCRIPTEN_KEEPALIVE const char* karuto_result_json() { return lastResult.c_str(); }

EMSCRIPTEN_KEEPALIVE void karuto_release() { std::string().swap(lastResult); }

} // extern "C"
