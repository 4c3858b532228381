// Run by udisks_daemons.sh as an unprivileged user: the drive layer's answer
// for a device that user may not open directly. "refused": the ready test
// says access refused (not "no medium") and names udisks2's refusal;
// "ready": the device opens through udisks2 and a sector written reads back.
#include "media/drive.h"
#include "media/drivetable.h"

#include <cstdio>
#include <string>
#include <vector>

int main(int argc, char** argv)
{
    if (argc != 3)
        return 2;
    auto drives = MakeDriveAccess({DriveEntry{'A', argv[1]}});
    const DriveStatus s = drives->DriveReady('A');
    std::printf("state %d error %d detail %d \"%s\"\n", static_cast<int>(s.state), s.error,
                static_cast<int>(s.detail), s.detailText.c_str());
    if (std::string(argv[2]) == "refused")
        return s.state == DriveState::AccessRefused && s.detail == DriveDetail::BrokerRefused ? 0 : 1;
    if (!s.ready())
        return 1;
    IoStatus st;
    auto handle = drives->Open('A', true, st);
    if (!handle || !(st = handle->Lock()).ok()) {
        std::printf("open for writing: %s\n", st.message().c_str());
        return 1;
    }
    std::vector<std::uint8_t> sector(512, 0xA5), back(512);
    if (!(st = handle->WriteSectors(0, 1, sector)).ok() || !(st = handle->ReadSector(0, back)).ok() ||
        back != sector) {
        std::printf("write and read back: %s\n", st.message().c_str());
        return 1;
    }
    handle->Unlock();
    return handle->Close().ok() ? 0 : 1;
}
