#pragma once
// Interpreting what sysfs says about block devices for the drive table:
// which devices are drives, in which order, and how they are described.
#include "media/drivetable.h"

#include <cstdint>
#include <map>
#include <string>
#include <string_view>
#include <vector>

// The raw texts of one /sys/block entry, as read (empty when missing).
struct SysfsBlockEntry {
    std::string name;       // "sdb"
    std::string linkTarget; // where /sys/block/<name> points: "../devices/.../block/sdb"
    std::string removable;  // "1\n"
    std::string size;       // in 512-byte units: "2880\n"
    std::string vendor;     // device/vendor, blank-padded
    std::string model;      // device/model, blank-padded
    std::string cardName;   // device/name (memory cards)
    std::string scsiType;   // device/type: "5" for optical drives
    std::string dev;        // "8:16\n"
    std::string usbPath;    // the USB device above it: "pci0000:00/0000:00:14.0/usb1/1-1"; empty when none
    std::string serial;     // that USB device's serial attribute
    std::string byId;       // a /dev/disk/by-id link to it, when udev made one
};

// A device that may become a drive, before it has its letter.
struct DriveCandidate {
    std::string device;
    DriveKind kind = DriveKind::Other;
    std::string description; // "TEAC USB FDD  1.4 MB"; may be empty
    std::string identity;    // what the Devices key binds its letter to; empty: cannot be bound
    std::string node;        // the device node shown when device is a link or an identity
    bool bound = false;      // its letter comes from the Devices key
};

// The name under which a device is bound to its letter, so that the letter
// follows the device whatever the kernel calls it next time: its by-id link,
// else the USB port and serial ("usb:<port>#<serial>"), else for an internal
// floppy drive its node; empty when there is nothing stable to go by.
std::string StableIdentity(const SysfsBlockEntry& entry);

// True when identity is the USB form of StableIdentity.
bool IsUsbIdentity(std::string_view identity);
// True for the forms of StableIdentity that name a device which may be
// away (a USB identity, a by-id link): its absence is "no medium".
bool NamesRemovableIdentity(std::string_view identity);
// True when entry is the device a USB identity names: same port and, when
// the identity has one, same serial.
bool MatchesUsbIdentity(const SysfsBlockEntry& entry, std::string_view identity);

// The USB device a sysfs device path lies under, as a path below devices/
// ("pci0000:00/0000:00:14.0/usb1/1-1"); empty when it is not on USB.
std::string UsbDevicePath(std::string_view linkTarget);

// Bytes of a sysfs size text (512-byte units); 0 when unknown or malformed.
std::uint64_t SysfsSizeBytes(std::string_view sizeText);

// "720 KB", "1.4 MB", "14.9 GB"; empty for 0.
std::string FormatMediumSize(std::uint64_t bytes);

// Vendor and model (trimmed, the card name when both are empty) and the size.
std::string DescribeBlockDevice(const SysfsBlockEntry& entry);

// The kind of a block device named by an explicit entry.
DriveKind ExplicitDeviceKind(const SysfsBlockEntry& entry);

// Devices that are detected as drives: internal floppy drives in number
// order, then removable disks in name order; never virtual or optical ones.
std::vector<DriveCandidate> DetectedDrives(const std::vector<SysfsBlockEntry>& entries);

// The whole content of a small text file such as a sysfs attribute; empty
// when it cannot be read.
std::string ReadSmallTextFile(const std::string& path);

// Explicit entries keep their letters; detected drives take the remaining
// letters from A upward (skipping a device that is already an explicit
// entry); A defaults to /dev/fd0 when still free. Sorted by letter.
std::vector<DriveEntry> AssignDriveLetters(const std::map<char, DriveCandidate>& explicitEntries,
                                           const std::vector<DriveCandidate>& detected);
