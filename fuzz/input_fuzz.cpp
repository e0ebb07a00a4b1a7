// Any file's bytes load into a text that keeps every byte the scanner needs:
// the byte-order mark (or, without one, the content) decides the path, NUL
// bytes are counted and stay (bar the padding at the end), no stray control
// character is left, and a text read as it is is the file itself without them.

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "fuzz/check.h"
#include "job/input.h"
#include "platform/byte_blocks.h"

namespace {

std::int64_t LineOfFirst(std::string_view text, char wanted)
{
    const std::size_t first = text.find(wanted);
    return first == std::string_view::npos ? 0 : 1 + std::count(text.begin(), text.begin() + first, '\n');
}

// A payload read byte by byte: the NULs and the lines of a text without conversion.
void CheckBytePayload(std::string_view payload, const karuto::LoadedText& loaded)
{
    std::string_view kept = payload;
    while (!kept.empty() && kept.back() == '\0') kept.remove_suffix(1);
    const bool convertedWhenLoaded = karuto::IsConvertedWhenLoaded(loaded.encoding);
    if (convertedWhenLoaded) {
        Check(loaded.text.size() <= kept.size());
    } else {
        // Only the escapes of a line that names ISO-2022-JP are kept, for
        // the refused card's name.
        const auto stray = [](char byte) { return karuto::IsStrayControl(static_cast<unsigned char>(byte)); };
        std::string controlFree(kept);
        std::erase_if(controlFree, stray);
        while (!controlFree.empty() && controlFree.back() == '\0') controlFree.pop_back();
        std::string loadedControlFree = loaded.text;
        std::erase_if(loadedControlFree, stray);
        // A CR alone may have become the LF of the line it ends; nothing moved.
        std::replace(controlFree.begin(), controlFree.end(), '\r', '\n');
        std::replace(loadedControlFree.begin(), loadedControlFree.end(), '\r', '\n');
        Check(loadedControlFree == controlFree);
        Check(std::all_of(loaded.text.begin(), loaded.text.end(), [&](char byte) { return !stray(byte) || byte == '\x1B'; }));
    }
    Check(loaded.nulCount == std::count(payload.begin(), payload.end(), '\0'));
    // Counted by the text's own line ends, CRs that end lines among them:
    // never fewer than its LFs.
    const bool nulInText = loaded.text.find('\0') != std::string::npos;
    Check(nulInText ? loaded.firstNulLine == LineOfFirst(loaded.text, '\0')
                    : loaded.firstNulLine >= LineOfFirst(payload, '\0'));
}

void CheckUtf16Payload(std::string_view payload, const karuto::LoadedText& loaded)
{
    std::int64_t zeroUnits = 0;
    std::int64_t lineFeeds = 0;
    std::int64_t firstLine = 0;
    for (std::size_t i = 0; i + 1 < payload.size(); i += 2) {
        const bool zero = payload[i] == '\0' && payload[i + 1] == '\0';
        if (zero && zeroUnits++ == 0) firstLine = lineFeeds + 1;
        if (payload[i] == '\n' && payload[i + 1] == '\0') ++lineFeeds;
    }
    Check(loaded.nulCount == zeroUnits);
    const bool nulInText = loaded.text.find('\0') != std::string::npos;
    Check(nulInText ? loaded.firstNulLine == LineOfFirst(loaded.text, '\0') : loaded.firstNulLine >= firstLine);
    // Each zero unit but the padding is one NUL byte of the text; every other
    // character gives at least one byte.
    const auto nulBytes = std::count(loaded.text.begin(), loaded.text.end(), '\0');
    Check(nulBytes <= zeroUnits);
    Check(loaded.text.empty() || loaded.text.back() != '\0');
    Check(loaded.text.size() <= payload.size());
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string bytes(reinterpret_cast<const char*>(data), size);
    karuto::LoadedText loaded;
    loaded.text = "untouched";
    const karuto::Outcome result = karuto::LoadInputBytes(std::string(bytes), loaded);

    const std::string_view view(bytes);
    const bool utf32Mark = view.starts_with({"\xFF\xFE\0\0", 4}) || view.starts_with({"\0\0\xFE\xFF", 4});
    if (view.starts_with("\xFE\xFF") || utf32Mark) Check(result == karuto::Outcome::UnsupportedEncoding);
    if (result == karuto::Outcome::UnsupportedEncoding) {
        // Only UTF-16BE and UTF-32, with their marks or without any.
        Check(!view.starts_with("\xEF\xBB\xBF") && (!view.starts_with("\xFF\xFE") || utf32Mark));
        Check(loaded.text == "untouched");
        return 0;
    }
    Check(result == karuto::Outcome::Done);
    Check(std::all_of(loaded.text.begin(), loaded.text.end(), [](char byte) {
        return !karuto::IsStrayControl(static_cast<unsigned char>(byte)) || byte == '\x1B';
    }));
    if (view.starts_with("\xEF\xBB\xBF")) {
        Check(loaded.encoding == karuto::SourceEncoding::Utf8WithMark);
        CheckBytePayload(view.substr(3), loaded);
    } else if (view.starts_with("\xFF\xFE")) {
        Check(loaded.encoding == karuto::SourceEncoding::Utf16Le);
        CheckUtf16Payload(view.substr(2), loaded);
    } else if (loaded.encoding == karuto::SourceEncoding::Utf16LeWithoutMark) {
        CheckUtf16Payload(view, loaded);
    } else {
        Check(loaded.encoding != karuto::SourceEncoding::Utf8WithMark &&
              loaded.encoding != karuto::SourceEncoding::Utf16Le);
        CheckBytePayload(view, loaded);
    }
    return 0;
}
