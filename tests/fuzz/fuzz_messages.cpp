// Any bytes as the language file beside the executable: InitMessages reads
// it, the table holds one trimmed line of UTF-8 per entry, and reading the
// same file again gives the same table.
#include <array>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <unistd.h>

#include "fuzz_check.h"
#include "settings/messages.h"

namespace {

std::string g_dir;

void RemoveDir()
{
    std::remove((g_dir + "/tessarine.rsl").c_str());
    ::rmdir(g_dir.c_str());
}

const std::string& ExePath()
{
    static const std::string path = [] {
        char pattern[] = "/tmp/fuzz_messages.XXXXXX";
        if (!::mkdtemp(pattern))
            std::abort();
        g_dir = pattern;
        std::atexit(RemoveDir);
        return g_dir + "/tessarine";
    }();
    return path;
}

bool IsBlank(char c) { return static_cast<unsigned char>(c) <= 0x20; }

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string& exe = ExePath();
    std::FILE* f = std::fopen((exe + ".rsl").c_str(), "wb");
    if (!f)
        std::abort();
    if (size > 0 && std::fwrite(data, 1, size, f) != size)
        std::abort();
    std::fclose(f);

    InitMessages(exe);
    FUZZ_REQUIRE(LanguageLoaded);
    FUZZ_REQUIRE(LanguageFontCharset == 128);
    FUZZ_REQUIRE(IsWellFormedUtf8(LanguageFontName));
    FUZZ_REQUIRE(MessageTable[0].empty());
    for (const std::string& text : MessageTable) {
        FUZZ_REQUIRE(IsWellFormedUtf8(text));
        FUZZ_REQUIRE(text.find_first_of("\r\n") == std::string::npos);
        FUZZ_REQUIRE(text.empty() || (!IsBlank(text.front()) && !IsBlank(text.back())));
    }
    // Placeholders are filled by substitution only, whatever the file holds.
    for (int n = 0; n < kMessageCount; ++n)
        FUZZ_REQUIRE(MessageText(n, "").size() <= MessageTable[static_cast<std::size_t>(n)].size());

    const auto first = MessageTable;
    const auto fontName = LanguageFontName;
    const auto fontSize = LanguageFontSize;
    InitMessages(exe);
    FUZZ_REQUIRE(MessageTable == first);
    FUZZ_REQUIRE(LanguageFontName == fontName && LanguageFontSize == fontSize);
    return 0;
}
