// Any bytes through the history text conversions: EscapeText then
// UnescapeText gives the text back, the escaped text holds no CR LF pair,
// and UnescapeText never makes a text longer.
#include <cstdint>
#include <string>

#include "fuzz_check.h"
#include "settings/messages.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string text(reinterpret_cast<const char*>(data), size);

    const std::string escaped = EscapeText(text);
    FUZZ_REQUIRE(escaped.find("\r\n") == std::string::npos);
    FUZZ_REQUIRE(UnescapeText(escaped) == text);

    // Text read back from a hand-edited store need not come from EscapeText.
    const std::string unescaped = UnescapeText(text);
    FUZZ_REQUIRE(unescaped.size() <= text.size());
    return 0;
}
