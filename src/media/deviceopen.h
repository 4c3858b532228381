#pragma once
// Opening a device the user may not open directly: the desktop's device
// broker (udisks2 on Linux) asks the user through the desktop's
// authorisation agent and hands back a descriptor. One realisation per host
// (deviceopen_linux.cpp).
#include <cstdint>
#include <string>

#include "media/drive.h"

class BrokerWait;

// What the broker said when it did not open the device.
struct BrokerAnswer {
    DriveDetail detail = DriveDetail::None; // BrokerAbsent or BrokerRefused, or None for a busy device
    int error = 0;    // the error code to report instead of the direct open's; 0 keeps that
    std::string text; // the broker's own words, when it gave some
};

// Opens the block device at path (whose device number is deviceNumber) for
// reading, or for reading and writing, with extra open flags (O_DIRECT,
// O_EXCL). Returns the descriptor, close-on-exec, or -1 with answer filled
// in. May wait while the user answers the authorisation question; wait,
// when given, is told about it meanwhile.
int OpenThroughBroker(const std::string& path, std::uint64_t deviceNumber, bool writing, int flags,
                      BrokerAnswer& answer, BrokerWait* wait = nullptr);
