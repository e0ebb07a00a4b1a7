// Value decoding never fails and keeps its promises on any bytes: widening is
// idempotent, Quoted-Printable never grows a value, and the result of every
// combination holds no NUL.

#include <cstddef>
#include <cstdint>
#include <string>

#include "decode/katakana.h"
#include "decode/value.h"
#include "fuzz/check.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    std::string value(reinterpret_cast<const char*>(data), size);
    value = value.substr(0, value.find('\0'));  // values never hold a NUL

    std::string widened;
    karuto::AppendWidenedKatakana(value, widened);
    std::string again;
    karuto::AppendWidenedKatakana(widened, again);
    Check(again == widened);
    Check(karuto::DecodeQuotedPrintable(value).size() <= value.size());

    for (auto encoding : {karuto::EncodingNone, karuto::EncodingBase64,
                          karuto::EncodingQuotedPrintable}) {
        for (auto charset : {karuto::CharsetNone, karuto::CharsetShiftJis, karuto::CharsetUtf8}) {
            for (bool widen : {false, true}) {
                karuto::OwnedString decoded;
                karuto::AppendDecodedValue({encoding, charset, charset, widen}, value, decoded);
                Check(decoded.find('\0') == std::string::npos);
                if (encoding != karuto::EncodingQuotedPrintable &&
                    charset != karuto::CharsetUtf8 && !widen) {
                    Check(decoded == value);
                }
            }
        }
    }
    return 0;
}
