// Any bytes as the language file beside the executable: the catalogue reads
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

    const MessageCatalogue messages = MessageCatalogue::Load(exe);
    FUZZ_REQUIRE(messages.LanguageLoaded());
    FUZZ_REQUIRE(messages.Font().charset == 128);
    FUZZ_REQUIRE(IsWellFormedUtf8(messages.Font().name));
    FUZZ_REQUIRE(messages.Table()[0].empty());
    for (const std::string& text : messages.Table()) {
        FUZZ_REQUIRE(IsWellFormedUtf8(text));
        FUZZ_REQUIRE(text.find_first_of("\r\n") == std::string::npos);
        FUZZ_REQUIRE(text.empty() || (!IsBlank(text.front()) && !IsBlank(text.back())));
    }
    // Placeholders are filled by substitution only, whatever the file holds.
    for (int n = 0; n < kMessageCount; ++n)
        FUZZ_REQUIRE(messages.Text(MessageId(n), "").size() <= messages.Text(n).size());

    const MessageCatalogue again = MessageCatalogue::Load(exe);
    FUZZ_REQUIRE(again.Table() == messages.Table());
    FUZZ_REQUIRE(again.Font().name == messages.Font().name && again.Font().size == messages.Font().size);
    return 0;
}
