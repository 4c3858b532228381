#include "library/sectormap.h"

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cstdio>
#include <fstream>
#include <sstream>

void SectorMap::Add(std::uint64_t first, std::uint64_t count)
{
    if (count == 0)
        return;
    if (!runs_.empty() && runs_.back().first + runs_.back().count == first)
        runs_.back().count += count;
    else
        runs_.push_back({first, count});
    count_ += count;
}

bool SectorMap::contains(std::uint64_t sector) const
{
    for (const SectorRun& r : runs_)
        if (sector >= r.first && sector - r.first < r.count)
            return true;
    return false;
}

SectorMap SectorMap::FromSectors(std::vector<std::uint64_t> sectors)
{
    std::sort(sectors.begin(), sectors.end());
    sectors.erase(std::unique(sectors.begin(), sectors.end()), sectors.end());
    SectorMap map;
    for (std::uint64_t s : sectors)
        map.Add(s);
    return map;
}

std::vector<std::uint64_t> SectorMap::Sectors() const
{
    std::vector<std::uint64_t> out;
    out.reserve(count_);
    for (const SectorRun& r : runs_)
        for (std::uint64_t i = 0; i < r.count; ++i)
            out.push_back(r.first + i);
    return out;
}

std::string MapPathOf(const std::string& imagePath) { return imagePath + ".map"; }

namespace {

std::string Hex(std::uint64_t v)
{
    char buf[24];
    std::snprintf(buf, sizeof buf, "0x%08llX", static_cast<unsigned long long>(v));
    return buf;
}

void Block(std::string& out, std::uint64_t pos, std::uint64_t size, char status)
{
    if (size != 0)
        out += Hex(pos) + "  " + Hex(size) + "  " + status + "\n";
}

// ddrescue writes hexadecimal with 0x; decimal is accepted as well.
bool Number(std::string_view word, std::uint64_t& v)
{
    int base = 10;
    if (word.size() > 2 && word[0] == '0' && (word[1] == 'x' || word[1] == 'X')) {
        word.remove_prefix(2);
        base = 16;
    }
    const auto [end, ec] = std::from_chars(word.data(), word.data() + word.size(), v, base);
    return ec == std::errc{} && end == word.data() + word.size();
}

std::vector<std::string_view> Words(std::string_view line)
{
    std::vector<std::string_view> words;
    std::size_t i = 0;
    while (i < line.size()) {
        while (i < line.size() && (line[i] == ' ' || line[i] == '\t' || line[i] == '\r'))
            ++i;
        const std::size_t start = i;
        while (i < line.size() && line[i] != ' ' && line[i] != '\t' && line[i] != '\r')
            ++i;
        if (i > start)
            words.push_back(line.substr(start, i - start));
    }
    return words;
}

} // namespace

std::string FormatMapfile(const SectorMap& map, std::uint32_t bytesPerSector, std::uint64_t sectorCount,
                          const std::vector<std::string>& comments)
{
    std::string out = "# Mapfile. Created by Tessarine\n";
    for (const std::string& c : comments)
        out += "# " + c + "\n";
    out += "# current_pos  current_status  current_pass\n";
    out += Hex(0) + "     +               1\n";
    out += "#      pos        size  status\n";
    const std::uint64_t bps = bytesPerSector;
    std::uint64_t next = 0; // first sector not yet described
    for (const SectorRun& r : map.runs()) {
        if (r.first >= sectorCount)
            break;
        const std::uint64_t end = std::min(r.first + r.count, sectorCount);
        Block(out, next * bps, (r.first - next) * bps, '+');
        Block(out, r.first * bps, (end - r.first) * bps, '-');
        next = end;
    }
    Block(out, next * bps, (sectorCount - next) * bps, '+');
    return out;
}

std::optional<SectorMap> ParseMapfile(std::string_view text, std::uint32_t bytesPerSector, std::uint64_t sectorCount)
{
    if (bytesPerSector == 0)
        return std::nullopt;
    SectorMap map;
    bool statusLine = false;
    std::uint64_t end = 0;        // end of the last block, in bytes
    std::uint64_t nextSector = 0; // first sector the map may still add
    while (!text.empty()) {
        const std::size_t nl = text.find('\n');
        const std::string_view line = text.substr(0, nl);
        text.remove_prefix(nl == std::string_view::npos ? text.size() : nl + 1);
        const auto words = Words(line);
        if (words.empty() || words[0].front() == '#')
            continue;
        if (!statusLine) {
            std::uint64_t pos = 0;
            if (words.size() < 2 || !Number(words[0], pos) || words[1].size() != 1)
                return std::nullopt;
            statusLine = true;
            continue;
        }
        std::uint64_t pos = 0, size = 0;
        if (words.size() < 3 || !Number(words[0], pos) || !Number(words[1], size) || words[2].size() != 1 ||
            pos < end || size > UINT64_MAX - pos)
            return std::nullopt;
        end = pos + size;
        if (words[2][0] == '+' || size == 0)
            continue;
        std::uint64_t first = pos / bytesPerSector;
        const std::uint64_t last = std::min((end + bytesPerSector - 1) / bytesPerSector, sectorCount);
        first = std::max(first, nextSector); // a sector shared with the block before
        if (first < last) {
            map.Add(first, last - first);
            nextSector = last;
        }
    }
    if (!statusLine)
        return std::nullopt;
    return map;
}

IoStatus ReadImageMap(const std::string& imagePath, std::uint32_t bytesPerSector, std::uint64_t sectorCount,
                      SectorMap& map)
{
    errno = 0;
    std::ifstream in(MapPathOf(imagePath), std::ios::binary);
    if (!in)
        return IoStatus::Fail(errno != 0 ? errno : ENOENT);
    std::ostringstream text;
    text << in.rdbuf();
    if (in.bad())
        return IoStatus::Fail(EIO);
    auto parsed = ParseMapfile(text.str(), bytesPerSector, sectorCount);
    if (!parsed)
        return IoStatus::Fail(EINVAL);
    map = std::move(*parsed);
    return IoStatus::Ok();
}
