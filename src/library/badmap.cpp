#include "library/badmap.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>

std::string FormatBadSectorMap(std::span<const std::uint64_t> unreadable, std::uint32_t bytesPerSector,
                               std::uint64_t mediumBytes)
{
    std::vector<std::uint64_t> bad(unreadable.begin(), unreadable.end());
    std::sort(bad.begin(), bad.end());
    bad.erase(std::unique(bad.begin(), bad.end()), bad.end());
    std::string out = "# Mapfile. Created by Tessarine\n# current_pos  current_status  current_pass\n";
    char line[96];
    std::snprintf(line, sizeof line, "0x%08llX     +               1\n#      pos        size  status\n",
                  static_cast<unsigned long long>(mediumBytes));
    out += line;
    auto block = [&](std::uint64_t pos, std::uint64_t size, char status) {
        if (size == 0)
            return;
        std::snprintf(line, sizeof line, "0x%08llX  0x%08llX  %c\n", static_cast<unsigned long long>(pos),
                      static_cast<unsigned long long>(size), status);
        out += line;
    };
    std::uint64_t pos = 0;
    for (std::size_t i = 0; i < bad.size();) {
        std::size_t j = i;
        while (j + 1 < bad.size() && bad[j + 1] == bad[j] + 1)
            ++j;
        const std::uint64_t from = bad[i] * bytesPerSector;
        const std::uint64_t to = std::min(mediumBytes, (bad[j] + 1) * bytesPerSector);
        if (from >= mediumBytes)
            break;
        block(pos, from - pos, '+');
        block(from, to - from, '-');
        pos = to;
        i = j + 1;
    }
    block(pos, mediumBytes - pos, '+');
    return out;
}

std::optional<std::vector<std::uint64_t>> ParseBadSectorMap(std::string_view text, std::uint32_t bytesPerSector)
{
    if (bytesPerSector == 0)
        return std::nullopt;
    std::vector<std::uint64_t> bad;
    bool statusLine = false;
    bool anyBlock = false;
    while (!text.empty()) {
        const auto nl = text.find('\n');
        std::string line(text.substr(0, nl));
        text = nl == std::string_view::npos ? std::string_view{} : text.substr(nl + 1);
        if (line.empty() || line[0] == '#')
            continue;
        char* end = nullptr;
        const unsigned long long pos = std::strtoull(line.c_str(), &end, 0);
        if (end == line.c_str())
            return std::nullopt;
        if (!statusLine) {
            statusLine = true; // current_pos current_status [current_pass]
            continue;
        }
        const char* p = end;
        const unsigned long long size = std::strtoull(p, &end, 0);
        if (end == p)
            return std::nullopt;
        while (*end == ' ' || *end == '\t')
            ++end;
        const char status = *end;
        if (status == '\0')
            return std::nullopt;
        anyBlock = true;
        if (status == '+' || size == 0)
            continue;
        if (size / bytesPerSector > (1u << 24) || pos > (1ull << 48))
            return std::nullopt; // more than any medium this program keeps
        for (std::uint64_t s = pos / bytesPerSector; s < (pos + size + bytesPerSector - 1) / bytesPerSector; ++s)
            bad.push_back(s);
    }
    if (!anyBlock)
        return std::nullopt;
    std::sort(bad.begin(), bad.end());
    bad.erase(std::unique(bad.begin(), bad.end()), bad.end());
    return bad;
}
