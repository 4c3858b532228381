#pragma once
// The udisks2 side of opening a device through the broker, without the bus:
// which of the daemon's objects is the device, and what its errors mean.
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "media/deviceopen.h"

// One object of the daemon with a block interface, as GetManagedObjects lists it.
struct UdisksBlock {
    std::string object;             // its D-Bus object path
    std::string device;             // Block.Device, without the terminating zero
    std::string preferredDevice;    // Block.PreferredDevice
    std::uint64_t deviceNumber = 0; // Block.DeviceNumber
};

// The object of the device at path whose device number is deviceNumber
// (the number decides, so any link to the device finds it); empty when the
// daemon does not have that device.
std::string FindUdisksBlock(const std::vector<UdisksBlock>& blocks, const std::string& path,
                            std::uint64_t deviceNumber);

// What a failed exchange with the daemon means: the D-Bus error's name and
// message, or, with name empty, the negative error code of a bus that could
// not be reached or read.
BrokerAnswer InterpretUdisksError(std::string_view name, std::string_view message, int error);
