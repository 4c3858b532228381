#pragma once
// The one text for a drive that is not ready for another reason than a
// missing medium, shared by the window's box and the terminal.
#include <string>

#include "media/drive.h"
#include "settings/messages.h"

// Which drive, which device, the system's own text, why the device broker
// did not open it either, and for a refused drive what to do. UTF-8.
std::string DriveFailureText(const MessageCatalogue& messages, const std::string& drive, const DriveStatus& status);
