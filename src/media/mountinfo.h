#pragma once
// Interpreting /proc/self/mountinfo and sysfs "dev" texts: which block
// devices carry a mounted file system.
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

struct DevNumber {
    unsigned major = 0;
    unsigned minor = 0;
    bool operator==(const DevNumber&) const = default;
};

struct MountEntry {
    DevNumber device;       // major:minor of the mounted file system
    std::string root;       // escapes (\040 ...) decoded
    std::string mountPoint; // escapes decoded
    std::string fsType;
    std::string source;     // escapes decoded; "/dev/sdb1" for FUSE block mounts too
};

// "8:17" (a trailing newline allowed); empty when malformed.
std::optional<DevNumber> ParseDevNumber(std::string_view text);

// One entry per well-formed line; malformed lines are skipped.
std::vector<MountEntry> ParseMountInfo(std::string_view text);

// Maps a mount source path to the block device it names, if it names one.
using SourceDeviceFunc = std::function<std::optional<DevNumber>(const std::string& source)>;

// True when any entry's file system lives on one of `devices`: by its
// major:minor, or, for mounts with an anonymous device number such as FUSE,
// by its source path.
bool AnyMounted(const std::vector<MountEntry>& mounts, const std::vector<DevNumber>& devices,
                const SourceDeviceFunc& sourceDevice);
