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

// "1-1", "3-2.4.1": a USB device (interfaces are "1-1:1.0", hubs' roots "usb1").
bool IsUsbDeviceName(std::string_view part)
{
    const auto dash = part.find('-');
    if (dash == 0 || dash == std::string_view::npos || dash + 1 == part.size())
        return false;
    for (std::size_t i = 0; i < part.size(); ++i) {
        const char c = part[i];
        const bool digit = c >= '0' && c <= '9';
        if (i == dash ? c != '-' : !(digit || (c == '.' && i > dash + 1 && part[i - 1] != '.')))
            return false;
    }
    return part.back() != '.';
}

} // namespace

std::string UsbDevicePath(std::string_view linkTarget)
{
    const auto devices = linkTarget.find("devices/");
    if (devices == std::string_view::npos)
        return {};
    const std::string_view below = linkTarget.substr(devices + 8);
    // The deepest USB device: a card reader behind a hub is the reader.
    std::size_t end = std::string_view::npos;
    for (std::size_t start = 0; start < below.size();) {
        const std::size_t slash = std::min(below.find('/', start), below.size());
        if (IsUsbDeviceName(below.substr(start, slash - start)))
            end = slash;
        start = slash + 1;
    }
    return end == std::string_view::npos ? std::string{} : std::string(below.substr(0, end));
}

std::string StableIdentity(const SysfsBlockEntry& entry)
{
    if (!entry.byId.empty())
        return entry.byId;
    if (!entry.usbPath.empty()) {
        const std::string_view serial = TrimBlanks(entry.serial);
        return "usb:" + entry.usbPath + (serial.empty() ? "" : "#" + std::string(serial));
    }
    if (FloppyNumber(entry.name))
        return "/dev/" + entry.name;
    return {};
}

bool IsUsbIdentity(std::string_view identity) { return identity.rfind("usb:", 0) == 0; }

bool NamesRemovableIdentity(std::string_view identity)
{
    return IsUsbIdentity(identity) || identity.find("/disk/by-id/") != std::string_view::npos;
}

bool MatchesUsbIdentity(const SysfsBlockEntry& entry, std::string_view identity)
{
    if (!IsUsbIdentity(identity) || entry.usbPath.empty())
        return false;
    identity.remove_prefix(4);
    const auto hash = identity.find('#');
    const std::string_view port = identity.substr(0, hash);
    const std::string_view serial = hash == std::string_view::npos ? std::string_view{} : identity.substr(hash + 1);
    return port == entry.usbPath && serial == TrimBlanks(entry.serial);
}

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
        out.push_back({"/dev/" + e->name, DriveKind::Floppy, DescribeBlockDevice(*e), StableIdentity(*e), {}, false});
    for (const auto* e : removables)
        out.push_back({"/dev/" + e->name, DriveKind::Removable, DescribeBlockDevice(*e), StableIdentity(*e), {}, false});
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
        table['A'] = DriveCandidate{"/dev/fd0", DriveKind::Floppy, {}, {}, {}, false};

    std::vector<DriveEntry> out;
    for (const auto& [letter, c] : table) {
        DriveEntry e;
        e.letter = letter;
        e.device = c.device;
        e.kind = c.kind;
        e.identity = c.identity;
        e.bound = c.bound;
        e.display = std::string(1, letter) + ": " + (c.node.empty() ? c.device : c.node);
        if (!c.description.empty())
            e.display += "  " + c.description;
        out.push_back(std::move(e));
    }
    return out;
}
