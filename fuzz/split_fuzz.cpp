// Splitting a property line loses nothing: joining the tokens back with the
// delimiters gives the line again, whatever its bytes.

#include <cstddef>
#include <cstdint>
#include <string>

#include "fuzz/check.h"
#include "vcard/strings.h"

namespace {

std::string Join(const karuto::TokenArray& tokens)
{
    std::string joined;
    for (std::size_t i = 0; i < tokens.size(); ++i) {
        if (i > 0) joined.push_back(';');
        joined.append(tokens[i]);
    }
    return joined;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string line(reinterpret_cast<const char*>(data), size);
    karuto::PropertyTokens tokens;
    karuto::SplitPropertyNameInto(line, tokens);
    karuto::SplitPropertyValueInto(line, tokens);
    Check(!tokens.nameTokens.empty());
    std::string rebuilt = Join(tokens.nameTokens);
    if (!tokens.valueTokens.empty()) rebuilt += ":" + Join(tokens.valueTokens);
    Check(rebuilt == line);
    // The name part never holds a ":"; the first one separates the value.
    Check(Join(tokens.nameTokens).find(':') == std::string::npos);
    return 0;
}
