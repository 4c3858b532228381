#pragma once
// A medium with real read errors and lost writes: a file served by the
// tests' own file system (tests/faultfs), whose chosen sectors fail to read
// with EIO and whose writes to chosen sectors vanish, for a loop device to
// sit on. Needs root, /dev/fuse and the faultfs program.
#include <cstdint>
#include <set>
#include <string>
#include <vector>

#include <sys/types.h>

class TempDir;

// Why such a medium cannot be made here, or empty when it can.
std::string FaultMediumUnavailable();

class FaultMedium {
public:
    // Serves bytes (sectors of 512) as a file under dir, faults lifted.
    FaultMedium(const TempDir& dir, const std::vector<std::uint8_t>& bytes);
    // Unmounts and ends the server. Detach loop devices over it first.
    ~FaultMedium();
    FaultMedium(const FaultMedium&) = delete;
    FaultMedium& operator=(const FaultMedium&) = delete;

    // The served file, or empty when the file system did not come up.
    const std::string& path() const { return path_; }
    const std::string& error() const { return error_; }

    // Replaces both lists; empty lists lift every fault.
    bool SetFaults(const std::set<std::uint64_t>& badSectors, const std::set<std::uint64_t>& droppedWrites);
    // What the medium holds, past the file system.
    std::vector<std::uint8_t> Stored() const;

private:
    std::string backing_;
    std::string mountPoint_;
    std::string path_;
    std::string error_;
    pid_t server_ = -1;
};
