#pragma once
// An in-memory drive with fault injection, for tests of the copy loops and
// of anything else that talks to DriveAccess.
#include "media/drive.h"

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <vector>

struct MemoryMedium {
    std::vector<std::uint8_t> bytes;
    AllocationFigures figures; // totalSectors is filled from bytes when 0
    bool readOnly = false;
};

class MemoryDrive : public DriveAccess {
public:
    // Media by letter; a letter without a medium answers -1 to DriveReady.
    std::map<char, MemoryMedium> media;

    bool ntFamily = true;

    // Fault injection (errno values; 0 = no fault).
    int allocationError = 0;
    int openError = 0;
    int lockError = 0;
    int closeError = 0;
    std::optional<std::uint64_t> failReadAt;  // ReadSector of this index fails with EIO
    std::optional<std::uint64_t> failWriteAt; // a write touching this index fails with EIO
    // Every read request touching one of these fails with EIO.
    std::set<std::uint64_t> badSectors;
    // A read request touching one of these fails with EIO while its count
    // lasts; each failed request uses up one.
    std::map<std::uint64_t, int> weakSectors;
    // Writes to these sectors are reported done but never reach the medium.
    std::set<std::uint64_t> droppedWrites;
    // Called before each read/write of a sector, for tests that act mid-copy.
    std::function<void(std::uint64_t index)> onSector;

    // Answers for DriveReady, used in turn before media decide (for retry tests).
    std::vector<DriveState> readyScript;
    int readyError = ENOMEDIUM; // the code given with a scripted answer other than Ready
    DriveDetail readyDetail = DriveDetail::None; // and its detail
    std::string readyDetailText;

    // What happened, in order: "ready A", "alloc A", "open A r", "open A w",
    // "lock", "read 5", "read 18 18" (a request of several sectors),
    // "write 3 2", "unlock", "close", "eject A".
    std::vector<std::string> log;
    int openHandles = 0;

    // A FAT-like medium of n sectors of bps bytes, each filled with a pattern
    // derived from its index.
    static MemoryMedium PatternMedium(std::uint64_t sectors, std::uint32_t bps = 512,
                                      std::uint32_t sectorsPerCluster = 1, std::uint32_t clusters = 0);

    bool IsNtFamily() override { return ntFamily; }
    DriveStatus DriveReady(char letter) override;
    IoStatus QueryAllocation(char letter, AllocationFigures& figures) override;
    std::unique_ptr<DeviceHandle> Open(char letter, bool forWriting, IoStatus& status) override;
    void Eject(char letter) override;
};

// Whether the drive's log holds exactly this entry.
inline bool Logged(const MemoryDrive& d, const std::string& entry)
{
    return std::find(d.log.begin(), d.log.end(), entry) != d.log.end();
}

// How many of the drive's log entries start with prefix.
inline int CountLogged(const MemoryDrive& d, const std::string& prefix)
{
    return static_cast<int>(std::count_if(d.log.begin(), d.log.end(),
                                          [&](const std::string& e) { return e.rfind(prefix, 0) == 0; }));
}

// One access object per transfer, all reaching one fake drive.
class SharedDrive : public DriveAccess {
public:
    explicit SharedDrive(DriveAccess& drive) : drive_(drive) {}
    bool IsNtFamily() override { return drive_.IsNtFamily(); }
    DriveStatus DriveReady(char letter) override { return drive_.DriveReady(letter); }
    IoStatus QueryAllocation(char letter, AllocationFigures& figures) override
    {
        return drive_.QueryAllocation(letter, figures);
    }
    std::unique_ptr<DeviceHandle> Open(char letter, bool forWriting, IoStatus& status) override
    {
        return drive_.Open(letter, forWriting, status);
    }
    void Eject(char letter) override { drive_.Eject(letter); }

private:
    DriveAccess& drive_;
};
