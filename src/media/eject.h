#pragma once
// Which eject request suits a drive. Deciding is kept apart from sending, so
// the rules are tested without hardware.
#include <string>

enum class EjectMethod {
    None,       // nothing to eject, or not safe to eject
    ScsiThenCd, // SCSI commands through SG_IO, the CD-ROM request where SG_IO is missing
};

struct EjectTarget {
    bool blockDevice = false; // false: a regular file, or nothing there
    std::string name;         // kernel name of the block device: "sdb", "fd0", "loop3"
    unsigned major = 0;
    bool mounted = false;     // the device or one of its partitions
};

EjectMethod DecideEject(const EjectTarget& target);
