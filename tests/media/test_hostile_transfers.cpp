// Image files and media that work against the copy loops: special files
// named like images, header numbers whose products wrap, media that shrink
// while they are copied.
#include "media/create.h"
#include "media/restore.h"

#include <algorithm>
#include <cerrno>
#include <filesystem>
#include <string>
#include <vector>

#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include "media/fake_host.h"
#include "media/memory_drive.h"
#include "media/virtual_drive.h"
#include "support/child.h"
#include "support/tempdir.h"

namespace {

using namespace std::chrono_literals;

std::string ImageBytes(const HeaderBytes& header, std::size_t dataBytes)
{
    std::string bytes(reinterpret_cast<const char*>(header.data()), header.size());
    bytes.append(dataBytes, '\x5A');
    return bytes;
}

// A window that runs `action` at the n-th message pump, that is just before
// sector n - 1 is copied.
class HostActingAt : public FakeHost {
public:
    int atPump = 0;
    std::function<void()> action;

    void ProcessMessages() override
    {
        FakeHost::ProcessMessages();
        if (pumps == atPump && action)
            action();
    }
};

} // namespace

// Opening a FIFO for reading waits for a writer: restoring one that took an
// image's name after the scan froze the program.
TEST(HostileImageFile, RestoringAFifoNamedLikeAnImageFailsInsteadOfBlocking)
{
    TempDir dir;
    ASSERT_EQ(mkfifo(dir.file("IMG0001.TMP").c_str(), 0644), 0);
    const ChildOutcome child = RunInChild(
        [&] {
            MemoryDrive drive;
            drive.media['A'] = MemoryDrive::PatternMedium(64);
            FakeHost host;
            const TransferResult r = RestoreToDrive(drive, 'A', dir.file("IMG0001.TMP"), host);
            const bool opened = CountLogged(drive, "open") != 0;
            const bool refused = r.outcome == kTransferFailed && r.source == FailureSource::ImageFile && !opened;
            return refused ? 0 : 1;
        },
        5s);
    ASSERT_TRUE(child.finished) << "restoration blocked on a FIFO";
    EXPECT_EQ(child.exitCode, 0);
}

// The length check multiplies the header's two numbers. Done in 32 bits,
// these products wrap to a few sectors, and a short file would pass as a
// complete image of gigabytes.
TEST(HostileImageFile, SectorProductsThatWrapIn32BitsAreNotMistakenForShortImages)
{
    TempDir dir;
    struct Case {
        const char* what;
        std::uint32_t bytesPerSector;
        std::uint32_t sectorCount;
        std::size_t dataBytes; // what the product leaves modulo 2^32
        int error;
    } cases[] = {
        {"512 x 2^23 = 2^32", 512, 0x00800000, 0, ENODATA},
        {"8192 x (2^19 + 1) = 2^32 + 8192", 8192, 0x00080001, 8192, ENODATA},
        {"4096 x (2^20 + 2) = 2^32 + 8192", 4096, 0x00100002, 8192, ENODATA},
        {"both numbers at their maximum", 0xFFFFFFFF, 0xFFFFFFFF, 1, EINVAL},
        {"bytes per sector 2^31", 0x80000000, 2, 0, EINVAL},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        dir.write("wrap.img", ImageBytes(BuildHeader({"WRAP", "", "", "", "", ""}, 1, c.bytesPerSector,
                                                     c.sectorCount),
                                         c.dataBytes));
        MemoryDrive drive;
        drive.media['A'] = MemoryDrive::PatternMedium(64);
        const std::vector<std::uint8_t> before = drive.media['A'].bytes;
        FakeHost host;
        const TransferResult r = RestoreToDrive(drive, 'A', dir.file("wrap.img"), host);
        EXPECT_EQ(r.outcome, kTransferFailed);
        EXPECT_EQ(r.source, FailureSource::ImageFile);
        EXPECT_EQ(r.status.error, c.error);
        EXPECT_EQ(drive.openHandles, 0);
        EXPECT_EQ(drive.media['A'].bytes, before) << "nothing may be written from data that was never read";
    }
}

// A virtual drive whose file is cut short mid-copy: the image must not be
// reported complete with sectors that were never read.
TEST(HostileMedium, MediumThatShrinksDuringCreationEndsAsFailure)
{
    TempDir dir;
    const std::string medium = dir.file("medium.bin");
    WriteFileBytes(medium, MemoryDrive::PatternMedium(720).bytes);
    auto drives = DrivesOver({{'A', medium}});
    const std::string image = dir.file("IMG0001.TMP");

    HostActingAt host;
    host.atPump = 6; // before the request of sectors 90 to 107
    host.action = [&] { std::filesystem::resize_file(medium, 100 * 512 + 100); };
    const TransferResult r = CreateFromDrive(*drives, 'A', image, host);
    EXPECT_EQ(r.outcome, kTransferFailed);
    EXPECT_EQ(r.source, FailureSource::Drive);
    EXPECT_FALSE(r.status.ok());
    // Six requests, then sectors 91 to 100 one by one: 100 is cut, and the copy stops there.
    EXPECT_EQ(host.pumps, 16) << "the copy stops at the first sector that is gone";
}

// The medium goes away while an image is written onto it (here: its bytes
// are gone from one request to the next).
TEST(HostileMedium, MediumThatVanishesDuringRestorationEndsAsFailure)
{
    TempDir dir;
    const MemoryMedium source = MemoryDrive::PatternMedium(720);
    dir.write("a.img", ImageBytes(BuildHeader({"A", "", "", "", "", ""}, 1, 512, 720), 0) +
                           std::string(source.bytes.begin(), source.bytes.end()));
    for (const bool nt : {true, false}) {
        SCOPED_TRACE(nt ? "NT family" : "9x family");
        MemoryDrive drive;
        drive.ntFamily = nt;
        drive.media['A'] = MemoryDrive::PatternMedium(720);
        HostActingAt host;
        host.atPump = 3;
        host.action = [&] { drive.media['A'].bytes.clear(); };
        const TransferResult r = RestoreToDrive(drive, 'A', dir.file("a.img"), host);
        EXPECT_EQ(r.outcome, kTransferFailed);
        EXPECT_EQ(r.source, FailureSource::Drive);
        EXPECT_EQ(drive.openHandles, 0);
    }
}
