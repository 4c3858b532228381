#include "media/udisks.h"

#include <cerrno>
#include <cstring>

std::string FindUdisksBlock(const std::vector<UdisksBlock>& blocks, const std::string& path,
                            std::uint64_t deviceNumber)
{
    for (const UdisksBlock& b : blocks)
        if (deviceNumber != 0 && b.deviceNumber == deviceNumber)
            return b.object;
    // Only a device whose number is unknown is taken by its name.
    if (deviceNumber == 0)
        for (const UdisksBlock& b : blocks)
            if (!path.empty() && (b.device == path || b.preferredDevice == path))
                return b.object;
    return {};
}

namespace {

bool StartsWith(std::string_view text, std::string_view prefix) { return text.substr(0, prefix.size()) == prefix; }

BrokerAnswer Absent() { return {DriveDetail::BrokerAbsent, 0, {}}; }

BrokerAnswer Refused(std::string_view text) { return {DriveDetail::BrokerRefused, 0, std::string(text)}; }

// Told as any other busy drive.
BrokerAnswer Busy() { return {DriveDetail::None, EBUSY, {}}; }

} // namespace

BrokerAnswer InterpretUdisksError(std::string_view name, std::string_view message, int error)
{
    if (name.empty()) {
        // No bus socket, or nobody listening on it: there is no broker to ask.
        if (error == -ENOENT || error == -ECONNREFUSED || error == -ENOTCONN || error == -EHOSTDOWN)
            return Absent();
        return Refused(std::strerror(error < 0 ? -error : EIO));
    }
    // The daemon is not running (and not started on demand), or does not
    // offer the device or the call.
    if (name == "org.freedesktop.DBus.Error.ServiceUnknown" || name == "org.freedesktop.DBus.Error.NameHasNoOwner" ||
        name == "org.freedesktop.DBus.Error.NoServer" || name == "org.freedesktop.DBus.Error.UnknownObject" ||
        name == "org.freedesktop.DBus.Error.UnknownInterface" || name == "org.freedesktop.DBus.Error.UnknownMethod" ||
        StartsWith(name, "org.freedesktop.DBus.Error.Spawn."))
        return Absent();
    if (name == "org.freedesktop.UDisks2.Error.DeviceBusy")
        return Busy();
    // The daemon's own open failed; its message ends in the system's text.
    const std::string_view busy = std::strerror(EBUSY);
    if (name == "org.freedesktop.UDisks2.Error.Failed" && message.size() >= busy.size() &&
        message.substr(message.size() - busy.size()) == busy)
        return Busy();
    // NotAuthorized, NotAuthorizedCanObtain, NotAuthorizedDismissed, a bus
    // policy that denies the call, a timeout: the daemon's words say which.
    return Refused(message.empty() ? name : message);
}
