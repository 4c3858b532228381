#include "media/sysfsblock.h"

#include "base/textconv.h"

#include <algorithm>
#include <charconv>
#include <cstdio>
#include <fstream>
#include <sstream>
#include <limits>
#include <optional>

namespace {

std::optional<std::uint64_t> ParseDecimal(std::string_view text)
{
    text = TrimBlanks(text);
    std::uint64_t value = 0;
    const char* end = text.data() + text.size();
    auto [ptr, ec] = std::from_chars(text.data(), end, value);
    if (text.empty() || ec != std::errc() || ptr != end)
        return std::nullopt;
    return value;
}

// "fd0" .. "fd7": the internal floppy drives; their number.
std::optional<std::uint64_t> FloppyNumber(std::string_view name)
{
    if (name.size() < 3 || name.substr(0, 2) != "fd")
        return std::nullopt;
    return ParseDecimal(name.substr(2));
}

bool IsVirtual(const SysfsBlockEntry& e) { return e.linkTarget.find("devices/virtual/") != std::string::npos; }

bool IsOptical(const SysfsBlockEntry& e)
{
    return e.name.rfind("sr", 0) == 0 || TrimBlanks(e.scsiType) == "5";
}

} // namespace

std::uint64_t SysfsSizeBytes(std::string_view sizeText)
{
    auto units = ParseDecimal(sizeText);
    if (!units || *units > std::numeric_limits<std::uint64_t>::max() / 512)
        return 0;
    return *units * 512;
}

std::string FormatMediumSize(std::uint64_t bytes)
{
    if (bytes == 0)
        return {};
    constexpr double kKiB = 1024.0, kMiB = kKiB * 1024, kGiB = kMiB * 1024;
    char text[48];
    const double b = static_cast<double>(bytes);
    if (b < kMiB)
        std::snprintf(text, sizeof text, "%.0f KB", b / kKiB);
    else if (b < kGiB)
        std::snprintf(text, sizeof text, "%.1f MB", b / kMiB);
    else
        std::snprintf(text, sizeof text, "%.1f GB", b / kGiB);
    return text;
}

std::string DescribeBlockDevice(const SysfsBlockEntry& entry)
{
    std::string name;
    for (std::string_view part : {TrimBlanks(entry.vendor), TrimBlanks(entry.model)}) {
        if (part.empty())
            continue;
        if (!name.empty())
            name += ' ';
        name += part;
    }
    if (name.empty())
        name = TrimBlanks(entry.cardName);
    const std::string size = FormatMediumSize(SysfsSizeBytes(entry.size));
    if (!name.empty() && !size.empty())
        return name + "  " + size;
    return name.empty() ? size : name;
}

DriveKind ExplicitDeviceKind(const SysfsBlockEntry& entry)
{
    if (FloppyNumber(entry.name))
        return DriveKind::Floppy;
    if (TrimBlanks(entry.removable) == "1")
        return DriveKind::Removable;
    return DriveKind::Other;
}

std::string ReadSmallTextFile(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    if (!in)
        return {};
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

std::vector<DriveCandidate> DetectedDrives(const std::vector<SysfsBlockEntry>& entries)
{
    std::vector<std::pair<std::uint64_t, const SysfsBlockEntry*>> floppies;
    std::vector<const SysfsBlockEntry*> removables;
    for (const auto& e : entries) {
        if (IsVirtual(e) || IsOptical(e))
            continue;
        if (auto n = FloppyNumber(e.name))
            floppies.emplace_back(*n, &e);
        else if (TrimBlanks(e.removable) == "1")
            removables.push_back(&e);
    }
    std::sort(floppies.begin(), floppies.end(), [](const auto& a, const auto& b) { return a.first < b.first; });
    std::sort(removables.begin(), removables.end(), [](const auto* a, const auto* b) { return a->name < b->name; });

    std::vector<DriveCandidate> out;
    for (const auto& [n, e] : floppies)
        out.push_back({"/dev/" + e->name, DriveKind::Floppy, DescribeBlockDevice(*e)});
    for (const auto* e : removables)
        out.push_back({"/dev/" + e->name, DriveKind::Removable, DescribeBlockDevice(*e)});
    return out;
}

std::vector<DriveEntry> AssignDriveLetters(const std::map<char, DriveCandidate>& explicitEntries,
                                           const std::vector<DriveCandidate>& detected)
{
    std::map<char, DriveCandidate> table;
    for (const auto& [key, candidate] : explicitEntries) {
        const char letter = AsciiUpper(key);
        if (letter >= 'A' && letter <= 'Z' && !candidate.device.empty())
            table[letter] = candidate;
    }
    auto taken = [&](const std::string& device) {
        return std::any_of(table.begin(), table.end(), [&](const auto& kv) { return kv.second.device == device; });
    };
    char next = 'A';
    for (const auto& candidate : detected) {
        if (taken(candidate.device))
            continue;
        while (next <= 'Z' && table.count(next))
            ++next;
        if (next > 'Z')
            break;
        table[next] = candidate;
    }
    if (!table.count('A'))
        table['A'] = DriveCandidate{"/dev/fd0", DriveKind::Floppy, {}};

    std::vector<DriveEntry> out;
    for (const auto& [letter, c] : table) {
        DriveEntry e;
        e.letter = letter;
        e.device = c.device;
        e.kind = c.kind;
        e.display = std::string(1, letter) + ": " + c.device;
        if (!c.description.empty())
            e.display += "  " + c.description;
        out.push_back(std::move(e));
    }
    return out;
}
