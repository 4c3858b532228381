// The drive table on Linux: explicit entries, then what sysfs detects.
#include "media/drivetable.h"
#include "media/mountinfo.h"
#include "media/sysfsblock.h"
#include "base/textconv.h"

#include <sys/stat.h>
#include <sys/sysmacros.h>

#include <algorithm>
#include <filesystem>
#include <set>

namespace fs = std::filesystem;

namespace {

// Kernel name -> the by-id link udev made for it. Links to partitions and
// the wwn- names (which some devices share) are passed over; of several
// the first in name order is taken, so the choice is the same every time.
std::map<std::string, std::string> ByIdLinks(const std::string& devRoot)
{
    std::map<std::string, std::string> links;
    const fs::path dir = fs::path(devRoot) / "disk/by-id";
    std::vector<fs::path> names;
    std::error_code ec;
    for (fs::directory_iterator it(dir, ec), end; !ec && it != end; it.increment(ec))
        names.push_back(it->path());
    std::sort(names.begin(), names.end());
    for (const fs::path& link : names) {
        const std::string name = link.filename().string();
        if (name.rfind("wwn-", 0) == 0 || name.find("-part") != std::string::npos)
            continue;
        std::error_code ec2;
        const fs::path target = fs::read_symlink(link, ec2);
        if (!ec2)
            links.emplace(target.filename().string(), link.string());
    }
    return links;
}

SysfsBlockEntry ReadBlockEntry(const fs::path& dir, const std::string& name, const std::string& sysfsRoot)
{
    SysfsBlockEntry e;
    e.name = name;
    std::error_code ec;
    if (fs::is_symlink(dir, ec))
        e.linkTarget = fs::read_symlink(dir, ec).string();
    const std::string base = dir.string() + "/";
    e.removable = ReadSmallTextFile(base + "removable");
    e.size = ReadSmallTextFile(base + "size");
    e.dev = ReadSmallTextFile(base + "dev");
    e.vendor = ReadSmallTextFile(base + "device/vendor");
    e.model = ReadSmallTextFile(base + "device/model");
    e.cardName = ReadSmallTextFile(base + "device/name");
    e.scsiType = ReadSmallTextFile(base + "device/type");
    e.usbPath = UsbDevicePath(e.linkTarget);
    if (!e.usbPath.empty())
        e.serial = ReadSmallTextFile(sysfsRoot + "/devices/" + e.usbPath + "/serial");
    return e;
}

std::vector<SysfsBlockEntry> ReadBlockEntries(const std::string& sysfsRoot)
{
    std::vector<SysfsBlockEntry> entries;
    std::error_code ec;
    for (fs::directory_iterator it(sysfsRoot + "/block", ec), end; !ec && it != end; it.increment(ec))
        entries.push_back(ReadBlockEntry(it->path(), it->path().filename().string(), sysfsRoot));
    return entries;
}

// What sysfs says about the block device with number dev, if anything.
std::optional<SysfsBlockEntry> BlockEntryOf(dev_t dev, const std::string& sysfsRoot)
{
    const fs::path link =
        sysfsRoot + "/dev/block/" + std::to_string(major(dev)) + ":" + std::to_string(minor(dev));
    std::error_code ec;
    const fs::path target = fs::canonical(link, ec);
    if (ec)
        return std::nullopt;
    return ReadBlockEntry(link, target.filename().string(), sysfsRoot);
}

const SysfsBlockEntry* EntryNamed(const std::vector<SysfsBlockEntry>& entries, const std::string& name)
{
    for (const auto& e : entries)
        if (e.name == name)
            return &e;
    return nullptr;
}


// An entry of the Devices key: a path the user wrote, or an identity the
// dialog bound. kernelNames collects the detected devices it stands for.
DriveCandidate ExplicitCandidate(const std::string& path, const std::vector<SysfsBlockEntry>& entries,
                                 const std::string& sysfsRoot, std::vector<DevNumber>& explicitDevices,
                                 std::set<std::string>& kernelNames)
{
    DriveCandidate c{path, DriveKind::Other, {}, path, {}, true};
    auto take = [&](const SysfsBlockEntry& e, DriveKind kind) {
        kernelNames.insert(e.name);
        c.kind = kind;
        c.node = "/dev/" + e.name;
        c.description = DescribeBlockDevice(e);
    };
    if (IsUsbIdentity(path)) {
        // Looked up again at each open; meanwhile shown as the device it is now.
        c.kind = DriveKind::Removable;
        for (const auto& e : entries)
            if (MatchesUsbIdentity(e, path)) {
                take(e, DriveKind::Removable);
                break;
            }
        return c;
    }
    if (NamesRemovableIdentity(path)) { // a by-id link, possibly dangling while its device is away
        c.kind = DriveKind::Removable;
        std::error_code ec;
        const fs::path target = fs::read_symlink(path, ec);
        if (!ec)
            if (const SysfsBlockEntry* e = EntryNamed(entries, target.filename().string()))
                take(*e, ExplicitDeviceKind(*e) == DriveKind::Floppy ? DriveKind::Floppy : DriveKind::Removable);
        return c;
    }
    struct stat st {};
    if (stat(path.c_str(), &st) != 0)
        return c;
    if (S_ISREG(st.st_mode)) {
        c.kind = DriveKind::Virtual;
        c.description = FormatMediumSize(static_cast<std::uint64_t>(st.st_size));
    } else if (S_ISBLK(st.st_mode)) {
        explicitDevices.push_back({major(st.st_rdev), minor(st.st_rdev)});
        if (auto e = BlockEntryOf(st.st_rdev, sysfsRoot)) {
            c.kind = ExplicitDeviceKind(*e);
            c.description = DescribeBlockDevice(*e);
        }
    }
    return c;
}

} // namespace

std::vector<DriveEntry> BuildDriveTable(const std::map<char, std::string>& explicitEntries,
                                        const std::string& sysfsRoot, const std::string& devRoot)
{
    std::vector<SysfsBlockEntry> entries = ReadBlockEntries(sysfsRoot);
    const auto byId = ByIdLinks(devRoot);
    for (auto& e : entries)
        if (auto it = byId.find(e.name); it != byId.end())
            e.byId = it->second;

    std::vector<DevNumber> explicitDevices;
    std::set<std::string> explicitNames;
    std::map<char, DriveCandidate> candidates;
    for (const auto& [letter, path] : explicitEntries) {
        const char upper = AsciiUpper(letter);
        if (upper >= 'A' && upper <= 'Z' && !path.empty())
            candidates[upper] = ExplicitCandidate(path, entries, sysfsRoot, explicitDevices, explicitNames);
    }

    // A device named by an explicit entry under another path is not detected again.
    std::erase_if(entries, [&](const SysfsBlockEntry& e) {
        if (explicitNames.count(e.name))
            return true;
        const auto dev = ParseDevNumber(e.dev);
        return dev && std::find(explicitDevices.begin(), explicitDevices.end(), *dev) != explicitDevices.end();
    });
    return AssignDriveLetters(candidates, DetectedDrives(entries));
}

std::string ResolveUsbIdentity(const std::string& identity, const std::string& sysfsRoot)
{
    for (const auto& e : ReadBlockEntries(sysfsRoot))
        if (MatchesUsbIdentity(e, identity))
            return "/dev/" + e.name;
    return {};
}

std::map<char, std::string> NewBindings(const std::vector<DriveEntry>& table)
{
    std::map<char, std::string> out;
    for (const DriveEntry& e : table)
        if (!e.bound && !e.identity.empty())
            out.emplace(e.letter, e.identity);
    return out;
}

std::string DescribeDevice(const std::string& path, const std::string& sysfsRoot)
{
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0)
        return path;
    if (S_ISREG(st.st_mode)) {
        const std::string size = FormatMediumSize(static_cast<std::uint64_t>(st.st_size));
        return size.empty() ? path : path + "  " + size;
    }
    std::error_code ec;
    const std::string node = fs::canonical(path, ec).string();
    const std::string shown = ec ? path : node;
    if (S_ISBLK(st.st_mode))
        if (auto e = BlockEntryOf(st.st_rdev, sysfsRoot))
            if (const std::string d = DescribeBlockDevice(*e); !d.empty())
                return d + "  " + shown;
    return shown;
}
