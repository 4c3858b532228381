#include "media/udisksunmount.h"
#include "media/udisks.h"

#include <systemd/sd-bus.h>

#include <cstdio>

namespace {

// The user may be typing a password in the agent's window meanwhile.
constexpr std::uint64_t kUnmountTimeoutUsec = 120'000'000;

} // namespace

std::string UdisksBlockObject(const std::string& kernelName)
{
    std::string object = "/org/freedesktop/UDisks2/block_devices/";
    for (const unsigned char c : kernelName) {
        if ((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9')) {
            object.push_back(static_cast<char>(c));
        } else {
            char escaped[4];
            std::snprintf(escaped, sizeof escaped, "_%02x", c);
            object += escaped;
        }
    }
    return object;
}

bool UnmountThroughBroker(const std::string& kernelName, BrokerAnswer& answer)
{
    sd_bus* bus = nullptr;
    if (int r = sd_bus_open_system(&bus); r < 0) {
        answer = InterpretUdisksError({}, {}, r);
        return false;
    }
    sd_bus_message* call = nullptr;
    sd_bus_message* reply = nullptr;
    sd_bus_error error = SD_BUS_ERROR_NULL;
    const std::string object = UdisksBlockObject(kernelName);
    int r = sd_bus_message_new_method_call(bus, &call, "org.freedesktop.UDisks2", object.c_str(),
                                           "org.freedesktop.UDisks2.Filesystem", "Unmount");
    if (r >= 0)
        r = sd_bus_message_set_allow_interactive_authorization(call, 1); // polkit may ask the user
    if (r >= 0)
        r = sd_bus_message_append(call, "a{sv}", 0);
    if (r >= 0)
        r = sd_bus_call(bus, call, kUnmountTimeoutUsec, &error, &reply);
    if (r < 0)
        answer = sd_bus_error_is_set(&error) ? InterpretUdisksError(error.name, error.message ? error.message : "", r)
                                             : InterpretUdisksError({}, {}, r);
    sd_bus_error_free(&error);
    sd_bus_message_unref(reply);
    sd_bus_message_unref(call);
    sd_bus_flush_close_unref(bus);
    return r >= 0;
}
