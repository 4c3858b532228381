// Any bytes as a settings file: parsing never fails, the file is written back
// byte for byte, and a change keeps every line and can be read back.
#include <cstdint>
#include <cstdlib>
#include <string>

#include "settings/regtext.h"
#include "base/textconv.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string text(reinterpret_cast<const char*>(data), size);
    RegDocument doc = RegDocument::Parse(text);
    if (doc.Serialize() != text)
        std::abort();
    const RegValue value{RegKind::Dword, std::string("\x07\x00\x00\x00", 4)};
    // A UTF-16 file that does not decode takes no change, so it is never overwritten.
    if (!doc.Decoded()) {
        if (doc.SetValue(RegRoot::CurrentUser, "Software\\Orvane\\Tessarine\\System", "Top", value) ||
            doc.Serialize() != text)
            std::abort();
        return 0;
    }
    if (!doc.SetValue(RegRoot::CurrentUser, "Software\\Orvane\\Tessarine\\System", "Top", value))
        std::abort();
    const std::string after = doc.Serialize();
    auto back = RegDocument::Parse(after).FindValue(RegRoot::CurrentUser, "Software\\Orvane\\Tessarine\\System", "Top");
    if (!back || back->kind != RegKind::Dword || back->bytes != value.bytes)
        std::abort();
    // Every entry but the changed value stays, in order (a last line may gain its line end).
    const RegDocument before = RegDocument::Parse(text);
    // Entries hold the decoded text; a UTF-16 file is compared after decoding it.
    std::string afterText = after;
    if (doc.Utf16()) {
        if (after.compare(0, 2, "\xFF\xFE") != 0)
            std::abort();
        auto decoded = Utf16LeToUtf8(std::string_view(after).substr(2));
        if (!decoded)
            std::abort();
        afterText = *decoded;
    }
    std::size_t pos = 0;
    for (const auto& e : before.entries()) {
        if (e.type == RegDocument::Entry::Type::Value && EqualsNoCase(e.name, "Top"))
            continue;
        const std::string kept = e.raw.substr(0, e.raw.find_last_not_of('\n') + 1);
        std::size_t at = afterText.find(kept, pos);
        if (at == std::string::npos)
            std::abort();
        pos = at + kept.size();
    }
    return 0;
}
