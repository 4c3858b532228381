#pragma once
// Sector-level access to the medium in a drive, known to the rest of the
// program by its upper-case drive letter. One realisation per host
// (drive_linux.cpp, later drive_win.cpp); tests add fakes.
#include <cerrno>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <vector>

#include "base/iostatus.h"

// What the allocation query reports for the medium in a drive.
struct AllocationFigures {
    std::uint32_t sectorsPerCluster = 0;
    std::uint32_t bytesPerSector = 0;
    std::uint32_t freeClusters = 0;
    std::uint32_t totalClusters = 0;
    std::uint64_t totalSectors = 0; // the whole medium, in sectors of bytesPerSector
};

// An opened drive. Closing (destruction) unlocks, flushes and releases it.
class DeviceHandle {
public:
    virtual ~DeviceHandle() = default;

    // Exclusive use of the volume; a transfer does not start without it.
    virtual IoStatus Lock() = 0;
    // Reads sector `index` into `sector`; sector.size() is the bytes per
    // sector, and the sector starts at byte index * sector.size().
    virtual IoStatus ReadSector(std::uint64_t index, std::span<std::uint8_t> sector) = 0;
    // Reads `count` sectors from sector `first` into data (count * bytes per
    // sector bytes) in one request where the host can; this default asks
    // for them one by one. Any sector failing fails the whole request.
    virtual IoStatus ReadSectors(std::uint64_t first, std::uint32_t count, std::span<std::uint8_t> data)
    {
        if (count == 0 || data.empty() || data.size() % count != 0)
            return IoStatus::Fail(EINVAL);
        const std::size_t size = data.size() / count;
        for (std::uint32_t i = 0; i < count; ++i)
            if (IoStatus st = ReadSector(first + i, data.subspan(i * size, size)); !st.ok())
                return st;
        return IoStatus::Ok();
    }
    // Writes `count` sectors from `data` starting at sector `first`;
    // data.size() is count * bytes per sector. Short writes are failures.
    virtual IoStatus WriteSectors(std::uint64_t first, std::uint32_t count, std::span<const std::uint8_t> data) = 0;
    // Forces what was written to the medium and drops what the host keeps
    // of it, so that reads that follow come from the medium itself.
    virtual IoStatus Flush() { return IoStatus::Ok(); }
    // Unlock (result not examined by callers).
    virtual void Unlock() = 0;
    // Flush what was written and release the device; reports a failed flush.
    virtual IoStatus Close() = 0;
};

// What the ready test found. Only NoMedium is worth waiting for; the others
// need the user to do something else, so they are told once.
enum class DriveState { Ready, NoMedium, NoDevice, AccessRefused, InUse, Unreadable, Other };

// What there is to tell beyond the state: that another instance of this
// program holds the drive, or why the desktop's device broker did not open
// a device the user may not open directly.
// PartialSector: a virtual drive whose length is not a whole number of
// sectors, which no transfer may cut short. UnmountRefused: the broker did
// not unmount a file system on the target, in its own words.
enum class DriveDetail { None, OtherInstance, BrokerAbsent, BrokerRefused, PartialSector, UnmountRefused };

struct DriveStatus {
    DriveState state = DriveState::Ready;
    int error = 0;      // the system's error code behind state, 0 when none
    std::string device{}; // the device or file the letter means; empty when unknown
    DriveDetail detail = DriveDetail::None;
    std::string detailText{}; // the broker's own words for BrokerRefused and UnmountRefused

    bool ready() const { return state == DriveState::Ready; }
};

// The kind of answer an open or a look at the device failing with `error` gives.
DriveState DriveStateFor(int error);

class DriveAccess {
public:
    virtual ~DriveAccess() = default;

    // true: the transfers lock the volume and move one sector per request.
    virtual bool IsNtFamily() = 0;
    // Ready: a medium is present and sector 0 reads; otherwise why not.
    // Upper-cases the letter itself; never shows anything.
    virtual DriveStatus DriveReady(char letter) = 0;
    virtual IoStatus QueryAllocation(char letter, AllocationFigures& figures) = 0;
    // Null on failure, with status telling why.
    virtual std::unique_ptr<DeviceHandle> Open(char letter, bool forWriting, IoStatus& status) = 0;
    // Failures are silent.
    virtual void Eject(char letter) = 0;
    // What a write to the drive would reach, for the user to check before
    // saying yes: model, size and device path, or a virtual drive's file;
    // empty when the host cannot tell.
    virtual std::string DescribeTarget(char letter)
    {
        (void)letter;
        return {};
    }
    // Where file systems that live on what the drive reaches are mounted:
    // on its device or a partition of it, or (a file or a loop device) on
    // any loop device over the same file. Empty when none.
    virtual std::vector<std::string> MountPoints(char letter)
    {
        (void)letter;
        return {};
    }
    // Unmounts all of them, newest first: directly as root, through the
    // device broker otherwise. Ready when none is left.
    virtual DriveStatus UnmountAll(char letter)
    {
        (void)letter;
        return {};
    }
    // True when writing the drive would change one of these files, or a
    // file below one of these folders, under whatever name: the file
    // itself, a hard link, a bind mount, a loop device over it.
    virtual bool Reaches(char letter, const std::vector<std::string>& paths)
    {
        (void)letter;
        (void)paths;
        return false;
    }
};
