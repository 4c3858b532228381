#pragma once
// The drive table: which device each drive letter stands for.
#include <map>
#include <memory>
#include <string>
#include <vector>

class DriveAccess;

enum class DriveKind {
    Floppy,    // an internal floppy drive (/dev/fd*)
    Removable, // a removable disk: USB floppy drive, card reader
    Virtual,   // a regular file holding a medium's bytes
    Other      // any other explicit entry (a loop device, ...)
};

struct DriveEntry {
    char letter = 'A';   // upper case
    std::string device;  // path of the block device or regular file
    DriveKind kind = DriveKind::Other;
    std::string display; // "A: /dev/sdb  TEAC USB FDD  1.4 MB" for the configuration dialog
};

// Explicit entries (letter -> path, from the Devices settings key) first,
// then detected devices under sysfsRoot on the remaining letters; never
// empty. Sorted by letter.
std::vector<DriveEntry> BuildDriveTable(const std::map<char, std::string>& explicitEntries,
                                        const std::string& sysfsRoot = "/sys");

// The host's drive access over a table.
std::unique_ptr<DriveAccess> MakeDriveAccess(std::vector<DriveEntry> table);
