// The drive table on Linux: explicit entries, then what sysfs detects.
#include "media/drivetable.h"
#include "media/mountinfo.h"
#include "media/sysfsblock.h"
#include "base/textconv.h"

#include <sys/stat.h>
#include <sys/sysmacros.h>

#include <algorithm>
#include <filesystem>

namespace fs = std::filesystem;

namespace {

SysfsBlockEntry ReadBlockEntry(const fs::path& dir, const std::string& name)
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
    return e;
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
    return ReadBlockEntry(link, target.filename().string());
}

DriveCandidate ExplicitCandidate(const std::string& path, const std::string& sysfsRoot,
                                 std::vector<DevNumber>& explicitDevices)
{
    DriveCandidate c{path, DriveKind::Other, {}};
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
                                        const std::string& sysfsRoot)
{
    std::vector<DevNumber> explicitDevices;
    std::map<char, DriveCandidate> candidates;
    for (const auto& [letter, path] : explicitEntries) {
        const char upper = AsciiUpper(letter);
        if (upper >= 'A' && upper <= 'Z' && !path.empty())
            candidates[upper] = ExplicitCandidate(path, sysfsRoot, explicitDevices);
    }

    std::vector<SysfsBlockEntry> entries;
    std::error_code ec;
    for (fs::directory_iterator it(sysfsRoot + "/block", ec), end; !ec && it != end; it.increment(ec)) {
        SysfsBlockEntry e = ReadBlockEntry(it->path(), it->path().filename().string());
        // A device named by an explicit entry under another path is not detected again.
        const auto dev = ParseDevNumber(e.dev);
        if (dev && std::find(explicitDevices.begin(), explicitDevices.end(), *dev) != explicitDevices.end())
            continue;
        entries.push_back(std::move(e));
    }
    return AssignDriveLetters(candidates, DetectedDrives(entries));
}
