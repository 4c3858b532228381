#pragma once
// Unmounting a file system through the desktop's device broker (udisks2
// Filesystem.Unmount), for a user who may not unmount it himself.
#include <string>

#include "media/deviceopen.h"

// Unmounts the file system on the block device with this kernel name
// ("sdb1", "loop3"). true when it is unmounted; otherwise answer tells why.
// May wait while the user answers the authorisation question.
bool UnmountThroughBroker(const std::string& kernelName, BrokerAnswer& answer);

// The daemon's object path for a block device: its kernel name with every
// byte other than a letter or digit written as _xx.
std::string UdisksBlockObject(const std::string& kernelName);
