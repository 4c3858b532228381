#pragma once
// Outside tools as an oracle for the copy loops: FAT12 floppy media made
// with mkfs.fat and filled with mcopy, checked with fsck.fat, read back with
// mcopy; loop devices over media files when running as root.
#include <cstdint>
#include <map>
#include <ostream>
#include <string>

class TempDir;

// Runs a shell command and returns its exit status (-1 when it could not
// run or died); its standard output goes to output.
int RunCommandOutput(const std::string& command, std::string& output);

// The text quoted for the shell.
std::string ShellQuote(const std::string& text);

struct FatGeometry {
    const char* name;      // "1.44 MB"
    unsigned kilobytes;    // 1440, 720
    std::uint32_t sectors; // 2880, 1440
    std::uint32_t clusters;
    std::uint32_t clusterBytes;
};

inline constexpr FatGeometry kFloppy1440{"1.44 MB", 1440, 2880, 2847, 512};
inline constexpr FatGeometry kFloppy720{"720 KB", 720, 1440, 713, 1024};

// Makes a FAT12 medium file dir/name of the geometry and puts files on it
// until it is full, so that its last cluster holds file data. Returns
// name -> content; empty when a tool failed (message in *error).
std::map<std::string, std::string> MakeFullFatMedium(const TempDir& dir, const std::string& name,
                                                     const FatGeometry& geometry, std::string* error);

// Every file of files read back from the medium at path equals its content,
// and fsck.fat -n finds nothing; otherwise false with the reason in *error.
bool FatMediumHolds(const std::string& path, const std::map<std::string, std::string>& files, std::string* error);

// A loop device over a file, detached again on destruction. Needs root.
// options go to losetup before the file ("-P", "--sector-size 4096").
class LoopDevice {
public:
    explicit LoopDevice(const std::string& file, const std::string& options = {});
    ~LoopDevice();
    LoopDevice(const LoopDevice&) = delete;
    LoopDevice& operator=(const LoopDevice&) = delete;

    // /dev/loopN, or empty when no loop device could be attached.
    const std::string& path() const { return path_; }
    const std::string& error() const { return error_; }

private:
    std::string path_;
    std::string error_;
};

// Which tool is missing, or empty when all are there.
std::string FatToolsMissing();

// A file system (ext2 or ext4, or MS_BIND of a folder) mounted for the
// lifetime of the object.
class Mount {
public:
    Mount(const std::string& device, const std::string& point, unsigned long flags = 0);
    ~Mount();
    Mount(const Mount&) = delete;
    Mount& operator=(const Mount&) = delete;
    bool mounted() const { return mounted_; }

private:
    std::string point_;
    bool mounted_ = false;
};

// Why loop devices cannot be used here, or empty when they can.
std::string LoopDevicesUnavailable();

// For test names and failure messages.
inline void PrintTo(const FatGeometry& g, std::ostream* os) { *os << g.name; }
