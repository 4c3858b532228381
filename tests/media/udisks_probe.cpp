// Run by udisks_daemons.sh as an unprivileged user: the drive layer's answer
// for a device that user may not open directly. "refused": the ready test
// says access refused (not "no medium") and names udisks2's refusal;
// "ready": the device opens through udisks2 and a sector written reads back;
// "slow": as ready, while polkit takes its time, and the front end's wait
// hook hears of every wait from beginning to end.
#include "media/brokerwait.h"
#include "media/drive.h"
#include "media/drivetable.h"

#include <cstdio>
#include <string>
#include <vector>

namespace {

struct CountingWait : BrokerWait {
    int begun = 0, ticks = 0, ended = 0;
    bool nested = false; // a Begin before the last wait ended, or an End without one
    std::string device;

    void Begin(const std::string& d) override
    {
        nested = nested || begun != ended;
        ++begun;
        device = d;
    }
    void Tick() override { ++ticks; }
    void End() override
    {
        ++ended;
        nested = nested || begun != ended;
    }
};

int Transfer(DriveAccess& drives)
{
    const DriveStatus s = drives.DriveReady('A');
    std::printf("state %d error %d detail %d \"%s\"\n", static_cast<int>(s.state), s.error, static_cast<int>(s.detail),
                s.detailText.c_str());
    if (!s.ready())
        return 1;
    IoStatus st;
    auto handle = drives.Open('A', true, st);
    if (!handle || !(st = handle->Lock()).ok()) {
        std::printf("open for writing: %s\n", st.message().c_str());
        return 1;
    }
    std::vector<std::uint8_t> sector(512, 0xA5), back(512);
    if (!(st = handle->WriteSectors(0, 1, sector)).ok() || !(st = handle->ReadSector(0, back)).ok() || back != sector) {
        std::printf("write and read back: %s\n", st.message().c_str());
        return 1;
    }
    handle->Unlock();
    return handle->Close().ok() ? 0 : 1;
}

} // namespace

int main(int argc, char** argv)
{
    if (argc != 3)
        return 2;
    const std::string mode = argv[2];
    CountingWait wait;
    auto drives = MakeDriveAccess({DriveEntry{'A', argv[1], DriveKind::Other, {}}}, &wait);
    if (mode == "refused") {
        const DriveStatus s = drives->DriveReady('A');
        std::printf("state %d error %d detail %d \"%s\"\n", static_cast<int>(s.state), s.error,
                    static_cast<int>(s.detail), s.detailText.c_str());
        return s.state == DriveState::AccessRefused && s.detail == DriveDetail::BrokerRefused ? 0 : 1;
    }
    const int result = Transfer(*drives);
    std::printf("waits %d, ticks %d, ends %d, device %s\n", wait.begun, wait.ticks, wait.ended, wait.device.c_str());
    if (result != 0 || wait.nested || wait.begun != wait.ended)
        return 1;
    // The ready test, the open for writing and the lock each ask udisks2,
    // and polkit takes a second over each answer.
    if (mode == "slow" && (wait.begun != 3 || wait.ticks < 3 * 8 || wait.device != argv[1]))
        return 1;
    return 0;
}
