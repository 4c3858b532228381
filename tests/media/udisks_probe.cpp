// Run by udisks_daemons.sh as an unprivileged user: the drive layer's answer
// for a device that user may not open directly. "refused": the ready test
// says access refused (not "no medium") and names udisks2's refusal;
// "ready": the device opens through udisks2 and a sector written reads back;
// "slow": as ready, while polkit takes its time, and the front end's wait
// hook hears of every wait from beginning to end. "unmount FOLDER" and
// "unmount-refused FOLDER": the restore command (as the window runs it) of
// an image it makes in FOLDER onto the mounted device, every question
// answered Yes: udisks2 unmounts the file system and the image is written,
// or its refusal is named in the box and nothing is written.
#include "command/commands.h"
#include "command/scripted_host.h"
#include "library/imagefile.h"
#include "media/brokerwait.h"
#include "media/drive.h"
#include "media/drivetable.h"
#include "media/drivetext.h"

#include <algorithm>
#include <cstdio>
#include <fstream>
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

bool Seen(const ScriptedHost& host, const std::string& line)
{
    return std::find(host.seen.begin(), host.seen.end(), line) != host.seen.end();
}

// Sectors of bytes that no file system starts with, and that differ from
// sector to sector.
constexpr std::uint32_t kImageSectors = 16;

int RestoreOntoMounted(const std::string& device, const std::string& folder, const std::string& mountPoint,
                       bool allowed)
{
    const std::string image = folder + "/ONE.IMG";
    const HeaderBytes header = BuildHeader({"UDISKS", "", "", "", "", ""}, 1, 512, kImageSectors);
    std::string bytes(header.begin(), header.end());
    for (std::uint32_t i = 0; i < kImageSectors * 512; ++i)
        bytes.push_back(static_cast<char>(0x5A ^ (i / 512 * 7 + i % 512 * 13)));
    std::ofstream(image, std::ios::binary) << bytes;

    ScriptedHost host;
    host.selected.push_back({LibraryRow{}, image});
    host.answers = {mb::IDYES, mb::IDYES}; // overwrite the disk; unmount it
    CountingWait wait;
    const DriveFactory drives = [&] { return MakeDriveAccess({DriveEntry{'A', device, DriveKind::Other, {}}}, &wait); };
    const CommandResult result = RestoreImagesCommand(host, drives, "A", {folder});
    for (const std::string& line : host.seen)
        std::printf("%s\n", line.c_str());
    if (!Seen(host, ScriptedHost::BoxOf(115, mountPoint)) || !host.answers.empty())
        return 1;
    if (allowed)
        return result.outcome == CommandOutcome::Done && Seen(host, ScriptedHost::BoxOf(43)) ? 0 : 1;
    // Still mounted, and polkit's answer as udisks2 gives it.
    const DriveStatus refused{DriveState::InUse, 0, mountPoint, DriveDetail::UnmountRefused,
                              "Not authorized to perform operation"};
    return result.outcome == CommandOutcome::Failed && Seen(host, "box " + DriveFailureText(host.messages, "A", refused)) ? 0 : 1;
}

} // namespace

int main(int argc, char** argv)
{
    if (argc < 3)
        return 2;
    const std::string mode = argv[2];
    if ((mode == "unmount" || mode == "unmount-refused") && argc == 5)
        return RestoreOntoMounted(argv[1], argv[3], argv[4], mode == "unmount");
    if (argc != 3)
        return 2;
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
