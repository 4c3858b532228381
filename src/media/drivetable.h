#pragma once
// The drive table: which device each drive letter stands for.
#include <map>
#include <memory>
#include <string>
#include <vector>

class BrokerWait;
class DriveAccess;

enum class DriveKind {
    Floppy,    // an internal floppy drive (/dev/fd*)
    Removable, // a removable disk: USB floppy drive, card reader
    Virtual,   // a regular file holding a medium's bytes
    Other      // any other explicit entry (a loop device, ...)
};

struct DriveEntry {
    char letter = 'A';   // upper case
    // Path of the block device or regular file, or a USB identity
    // ("usb:<port>#<serial>") that is looked up afresh at each open.
    std::string device;
    DriveKind kind = DriveKind::Other;
    std::string display; // "A: /dev/sdb  TEAC USB FDD  1.4 MB" for the configuration dialog
    // What the Devices key holds, or will hold once the configuration
    // dialog is accepted, for this letter; empty when nothing stable is known.
    std::string identity = {};
    bool bound = false;  // the letter comes from the Devices key
};

// Explicit entries (letter -> path or identity, from the Devices settings
// key) first, then detected removable devices under sysfsRoot on the
// remaining letters; never empty. Sorted by letter. A bound device that is
// absent keeps its letter and is never replaced by another one; devRoot
// holds disk/by-id.
std::vector<DriveEntry> BuildDriveTable(const std::map<char, std::string>& explicitEntries,
                                        const std::string& sysfsRoot = "/sys", const std::string& devRoot = "/dev");

// The device node of the block device a USB identity names, looked up under
// sysfsRoot; empty while that device is absent.
std::string ResolveUsbIdentity(const std::string& identity, const std::string& sysfsRoot = "/sys");

// The device or file at path as the user knows it: vendor, model, size and
// the device node ("TEAC USB FDD  1.4 MB  /dev/sdc"), or a file and its size.
std::string DescribeDevice(const std::string& path, const std::string& sysfsRoot = "/sys");

// The Devices entries the configuration dialog writes on OK: each detected
// drive that is not bound yet, with its identity.
std::map<char, std::string> NewBindings(const std::vector<DriveEntry>& table);

// The host's drive access over a table; wait (not owned) hears about opens
// that wait for the device broker.
std::unique_ptr<DriveAccess> MakeDriveAccess(std::vector<DriveEntry> table, BrokerWait* wait = nullptr);
