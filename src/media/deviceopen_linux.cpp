// Opening a device through udisks2 on the system bus: find the daemon's
// object for the device, then ask it for a descriptor (polkit decides, and
// may ask the user through the desktop's agent).
#include "media/brokerwait.h"
#include "media/deviceopen.h"
#include "media/udisks.h"

#include <fcntl.h>
#include <systemd/sd-bus.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <utility>
#include <vector>

namespace {

constexpr const char* kService = "org.freedesktop.UDisks2";
constexpr const char* kRoot = "/org/freedesktop/UDisks2";
constexpr const char* kBlockInterface = "org.freedesktop.UDisks2.Block";

struct Bus {
    sd_bus* bus = nullptr;
    ~Bus() { sd_bus_flush_close_unref(bus); }
};

struct Message {
    sd_bus_message* m = nullptr;
    ~Message() { sd_bus_message_unref(m); }
};

struct BusError {
    sd_bus_error e = SD_BUS_ERROR_NULL;
    ~BusError() { sd_bus_error_free(&e); }

    BrokerAnswer Interpret(int r) const
    {
        if (sd_bus_error_is_set(&e))
            return InterpretUdisksError(e.name, e.message ? e.message : "", r);
        return InterpretUdisksError({}, {}, r);
    }
};

// A property value holding a zero-terminated byte string (a device path).
int ReadBytePath(sd_bus_message* m, std::string& out)
{
    int r = sd_bus_message_enter_container(m, 'v', "ay");
    if (r < 0)
        return r;
    const void* data = nullptr;
    std::size_t size = 0;
    if ((r = sd_bus_message_read_array(m, 'y', &data, &size)) < 0)
        return r;
    out.assign(static_cast<const char*>(data), size);
    while (!out.empty() && out.back() == '\0')
        out.pop_back();
    return sd_bus_message_exit_container(m);
}

// The properties (a{sv}) of one block interface.
int ReadBlockProperties(sd_bus_message* m, UdisksBlock& block)
{
    int r = sd_bus_message_enter_container(m, 'a', "{sv}");
    if (r < 0)
        return r;
    while ((r = sd_bus_message_enter_container(m, 'e', "sv")) > 0) {
        const char* name = nullptr;
        if ((r = sd_bus_message_read(m, "s", &name)) < 0)
            return r;
        if (std::strcmp(name, "Device") == 0)
            r = ReadBytePath(m, block.device);
        else if (std::strcmp(name, "PreferredDevice") == 0)
            r = ReadBytePath(m, block.preferredDevice);
        else if (std::strcmp(name, "DeviceNumber") == 0)
            r = sd_bus_message_read(m, "v", "t", &block.deviceNumber);
        else
            r = sd_bus_message_skip(m, "v");
        if (r < 0 || (r = sd_bus_message_exit_container(m)) < 0)
            return r;
    }
    if (r < 0)
        return r;
    return sd_bus_message_exit_container(m);
}

// The objects with a block interface in a GetManagedObjects answer (a{oa{sa{sv}}}).
int ReadBlocks(sd_bus_message* m, std::vector<UdisksBlock>& blocks)
{
    int r = sd_bus_message_enter_container(m, 'a', "{oa{sa{sv}}}");
    if (r < 0)
        return r;
    while ((r = sd_bus_message_enter_container(m, 'e', "oa{sa{sv}}")) > 0) {
        const char* object = nullptr;
        if ((r = sd_bus_message_read(m, "o", &object)) < 0)
            return r;
        UdisksBlock block{object, {}, {}, 0};
        bool isBlock = false;
        if ((r = sd_bus_message_enter_container(m, 'a', "{sa{sv}}")) < 0)
            return r;
        while ((r = sd_bus_message_enter_container(m, 'e', "sa{sv}")) > 0) {
            const char* interface = nullptr;
            if ((r = sd_bus_message_read(m, "s", &interface)) < 0)
                return r;
            if (std::strcmp(interface, kBlockInterface) == 0) {
                isBlock = true;
                r = ReadBlockProperties(m, block);
            } else {
                r = sd_bus_message_skip(m, "a{sv}");
            }
            if (r < 0 || (r = sd_bus_message_exit_container(m)) < 0)
                return r;
        }
        if (r < 0 || (r = sd_bus_message_exit_container(m)) < 0 || (r = sd_bus_message_exit_container(m)) < 0)
            return r;
        if (isBlock)
            blocks.push_back(std::move(block));
    }
    if (r < 0)
        return r;
    return sd_bus_message_exit_container(m);
}

// The answer to OpenDevice, taken from its reply while that still exists.
struct OpenReply {
    bool arrived = false;
    int fd = -1; // our own duplicate
    BrokerAnswer answer;

    ~OpenReply()
    {
        if (fd >= 0)
            ::close(fd);
    }

    static int Take(sd_bus_message* m, void* userdata, sd_bus_error*)
    {
        auto& self = *static_cast<OpenReply*>(userdata);
        self.arrived = true;
        if (const sd_bus_error* e = sd_bus_message_get_error(m)) {
            self.answer = InterpretUdisksError(e->name ? e->name : "", e->message ? e->message : "",
                                               -sd_bus_message_get_errno(m));
            return 0;
        }
        int fd = -1;
        if (int r = sd_bus_message_read(m, "h", &fd); r < 0) {
            self.answer = InterpretUdisksError({}, {}, r);
            return 0;
        }
        // The message owns the descriptor it carries.
        self.fd = ::fcntl(fd, F_DUPFD_CLOEXEC, 3);
        if (self.fd < 0)
            self.answer = InterpretUdisksError({}, {}, -errno);
        return 0;
    }
};

struct Slot {
    sd_bus_slot* slot = nullptr;
    ~Slot() { sd_bus_slot_unref(slot); }
};

} // namespace

int OpenThroughBroker(const std::string& path, std::uint64_t deviceNumber, bool writing, int flags,
                      BrokerAnswer& answer, BrokerWait* wait)
{
    Bus bus;
    if (int r = sd_bus_open_system(&bus.bus); r < 0) {
        answer = InterpretUdisksError({}, {}, r);
        return -1;
    }

    std::string object;
    {
        BusError error;
        Message reply;
        const int r = sd_bus_call_method(bus.bus, kService, kRoot, "org.freedesktop.DBus.ObjectManager",
                                         "GetManagedObjects", &error.e, &reply.m, "");
        if (r < 0) {
            answer = error.Interpret(r);
            return -1;
        }
        std::vector<UdisksBlock> blocks;
        if (int rr = ReadBlocks(reply.m, blocks); rr < 0) {
            answer = InterpretUdisksError({}, {}, rr);
            return -1;
        }
        object = FindUdisksBlock(blocks, path, deviceNumber);
        if (object.empty()) {
            answer = InterpretUdisksError("org.freedesktop.DBus.Error.UnknownObject", path, 0);
            return -1;
        }
    }

    Message call;
    int r = sd_bus_message_new_method_call(bus.bus, &call.m, kService, object.c_str(), kBlockInterface, "OpenDevice");
    if (r >= 0)
        r = sd_bus_message_set_allow_interactive_authorization(call.m, 1); // polkit may ask the user
    if (r >= 0)
        r = sd_bus_message_append(call.m, "sa{sv}", writing ? "rw" : "r", 1, "flags", "i", flags);
    // Asked without blocking: polkit may ask the user, and the front end
    // keeps its window alive meanwhile.
    const BrokerPace pace;
    OpenReply reply;
    Slot slot;
    if (r >= 0)
        r = sd_bus_call_async(bus.bus, &slot.slot, call.m, OpenReply::Take, &reply,
                              static_cast<std::uint64_t>(pace.limit.count()));
    if (r >= 0)
        r = WaitForBroker(
            [&bus](std::chrono::microseconds most) {
                int turned = sd_bus_process(bus.bus, nullptr);
                if (turned == 0)
                    turned = sd_bus_wait(bus.bus, static_cast<std::uint64_t>(most.count()));
                return turned < 0 ? turned : 0;
            },
            [&reply] { return reply.arrived; }, wait, path, pace);
    if (r < 0) {
        answer = InterpretUdisksError({}, {}, r);
        return -1;
    }
    if (reply.fd < 0) {
        answer = reply.answer;
        return -1;
    }
    return std::exchange(reply.fd, -1);
}
