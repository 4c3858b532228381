// The host's drive access over virtual drives (regular files) made here.
#include "media/drivetext.h"
#include "media/memory_drive.h"
#include "settings/messages.h"
#include "virtual_drive.h"

#include <gtest/gtest.h>

#include "support/messages.h"
#include "support/unprivileged.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>

namespace {

AllocationFigures Figures(DriveAccess& access, char letter)
{
    AllocationFigures f;
    const IoStatus st = access.QueryAllocation(letter, f);
    EXPECT_TRUE(st.ok()) << st.message();
    return f;
}

TEST(VirtualDrive, MissingUnknownAndEmptyMediaAreNotReady)
{
    TempDir dir;
    dir.write("empty.img", "");
    dir.write("short.img", std::string(100, 'x'));
    auto access = DrivesOver({{'A', dir.file("missing.img")}, {'B', dir.file("empty.img")},
                              {'C', dir.file("short.img")}, {'D', dir.path()}});
    AllocationFigures f;
    IoStatus st;
    // Only an empty medium is "no medium"; the rest must not make the user wait.
    EXPECT_EQ(access->DriveReady('A').state, DriveState::NoDevice);
    EXPECT_EQ(access->DriveReady('A').device, dir.file("missing.img"));
    EXPECT_EQ(access->QueryAllocation('A', f).error, ENOENT);
    EXPECT_FALSE(access->Open('A', false, st));
    EXPECT_EQ(st.error, ENOENT);

    EXPECT_EQ(access->DriveReady('B').state, DriveState::NoMedium);
    EXPECT_EQ(access->QueryAllocation('B', f).error, ENOMEDIUM);
    EXPECT_EQ(access->DriveReady('C').detail, DriveDetail::PartialSector) << "not even one whole sector";
    EXPECT_EQ(access->DriveReady('D').state, DriveState::NoDevice) << "a folder is no medium";

    EXPECT_EQ(access->DriveReady('Z').state, DriveState::NoDevice);
    EXPECT_EQ(access->QueryAllocation('Z', f).error, ENODEV);
}

TEST(VirtualDrive, ReadyTestTellsARefusedOpen)
{
    TempDir dir;
    dir.write("a.img", std::string(2880 * 512, '\0'));
    ::chmod(dir.file("a.img").c_str(), 0);
    auto access = DrivesOver({{'A', dir.file("a.img")}});
    UnprivilegedFiles nobody; // root would open it anyway
    if (!nobody.effective())
        GTEST_SKIP() << "cannot drop root's file permissions here";
    const DriveStatus st = access->DriveReady('A');
    EXPECT_EQ(st.state, DriveState::AccessRefused);
    EXPECT_EQ(st.error, EACCES);
}

TEST(VirtualDrive, ReadyTestSeesAMediumChangedBetweenCalls)
{
    TempDir dir;
    auto access = DrivesOver({{'A', dir.file("a.img")}});
    EXPECT_FALSE(access->DriveReady('A').ready());
    dir.write("a.img", std::string(2880 * 512, '\0'));
    EXPECT_TRUE(access->DriveReady('A').ready());
    std::remove(dir.file("a.img").c_str());
    EXPECT_FALSE(access->DriveReady('A').ready());
}

TEST(VirtualDrive, MediumWithoutFileSystemIsAllOneSectorClusters)
{
    TempDir dir;
    dir.write("raw.img", std::string(2880 * 512, '\xF6'));
    auto access = DrivesOver({{'A', dir.file("raw.img")}});
    const AllocationFigures f = Figures(*access, 'A');
    EXPECT_EQ(f.bytesPerSector, 512u);
    EXPECT_EQ(f.sectorsPerCluster, 1u);
    EXPECT_EQ(f.totalClusters, 2880u);
    EXPECT_EQ(f.totalSectors, 2880u);
    EXPECT_EQ(f.freeClusters, 0u);
}

TEST(VirtualDrive, FiguresOfFloppiesMadeByMkfsFat)
{
    TempDir dir;
    struct Case {
        unsigned kilobytes, sectorsPerCluster, clusters, sectors;
    };
    for (const Case& c : {Case{1440, 1, 2847, 2880}, Case{720, 2, 713, 1440}, Case{1200, 1, 2371, 2400}}) {
        const std::string image = MakeFatImage(dir, std::to_string(c.kilobytes) + ".img", c.kilobytes);
        if (image.empty())
            GTEST_SKIP() << "mkfs.fat is not available";
        auto access = DrivesOver({{'A', image}});
        ASSERT_TRUE(access->DriveReady('A').ready());
        const AllocationFigures f = Figures(*access, 'A');
        EXPECT_EQ(f.bytesPerSector, 512u) << c.kilobytes;
        EXPECT_EQ(f.sectorsPerCluster, c.sectorsPerCluster) << c.kilobytes;
        EXPECT_EQ(f.totalClusters, c.clusters) << c.kilobytes;
        EXPECT_EQ(f.totalSectors, c.sectors) << c.kilobytes;
        EXPECT_EQ(f.freeClusters, c.clusters) << "a fresh file system is empty";
    }
}

TEST(VirtualDrive, FreeClustersFollowTheFat)
{
    TempDir dir;
    const std::string image = MakeFatImage(dir, "a.img", 720);
    if (image.empty())
        GTEST_SKIP() << "mkfs.fat is not available";
    dir.write("data.bin", std::string(5000, 'd')); // 5 clusters of 1,024 bytes
    if (RunCommand("mcopy -i '" + image + "' '" + dir.file("data.bin") + "' ::DATA.BIN >/dev/null 2>&1") != 0)
        GTEST_SKIP() << "mcopy is not available";
    auto access = DrivesOver({{'A', image}});
    EXPECT_EQ(Figures(*access, 'A').freeClusters, 713u - 5u);
}

TEST(VirtualDrive, SectorSizeOfAFileComesFromItsBootSector)
{
    TempDir dir;
    // 1,232 sectors of 1,024 bytes, as on 8-inch-format 2HD disks.
    const std::string image = MakeFatImage(dir, "2hd.img", 1232, "-S 1024");
    if (image.empty())
        GTEST_SKIP() << "mkfs.fat is not available";
    auto access = DrivesOver({{'A', image}});
    const AllocationFigures f = Figures(*access, 'A');
    EXPECT_EQ(f.bytesPerSector, 1024u);
    EXPECT_EQ(f.totalSectors, 1232u);
    EXPECT_LE(f.totalClusters * f.sectorsPerCluster, 1232u);

    const auto bytes = FileBytes(image);
    IoStatus st;
    auto h = access->Open('A', false, st);
    ASSERT_TRUE(h);
    std::vector<std::uint8_t> sector(1024);
    ASSERT_TRUE(h->ReadSector(1, sector).ok());
    EXPECT_TRUE(std::equal(sector.begin(), sector.end(), bytes.begin() + 1024));
}

TEST(VirtualDrive, PositionsBeyondFourGigabytesDoNotWrap)
{
    TempDir dir;
    const std::string path = dir.file("big.img");
    const std::uint64_t sectors = (5ull << 30) / 512;
    {
        const int fd = ::open(path.c_str(), O_CREAT | O_WRONLY, 0644);
        ASSERT_GE(fd, 0);
        if (::ftruncate(fd, static_cast<off_t>(sectors * 512)) != 0) {
            ::close(fd);
            GTEST_SKIP() << "no room for a sparse 5 GB file";
        }
        ::close(fd);
    }
    auto access = DrivesOver({{'A', path}});
    EXPECT_EQ(Figures(*access, 'A').totalSectors, sectors);

    const std::uint64_t beyond = (4ull << 30) / 512 + 3; // wraps to sector 3 in 32 bits
    std::vector<std::uint8_t> data(512, 0x5A);
    IoStatus st;
    auto h = access->Open('A', true, st);
    ASSERT_TRUE(h) << st.message();
    ASSERT_TRUE(h->WriteSectors(beyond, 1, data).ok());
    ASSERT_TRUE(h->Close().ok());

    const int fd = ::open(path.c_str(), O_RDONLY);
    ASSERT_GE(fd, 0);
    std::uint8_t at = 0, low = 0xFF;
    EXPECT_EQ(::pread(fd, &at, 1, static_cast<off_t>(beyond * 512)), 1);
    EXPECT_EQ(::pread(fd, &low, 1, 3 * 512), 1);
    ::close(fd);
    EXPECT_EQ(at, 0x5A);
    EXPECT_EQ(low, 0);
}

TEST(VirtualDrive, LockIsExclusiveUntilUnlocked)
{
    TempDir dir;
    dir.write("a.img", std::string(64 * 512, '\0'));
    auto access = DrivesOver({{'A', dir.file("a.img")}});
    IoStatus st;
    auto first = access->Open('A', true, st);
    auto second = access->Open('A', false, st);
    ASSERT_TRUE(first && second);
    ASSERT_TRUE(first->Lock().ok());
    EXPECT_EQ(second->Lock().error, EBUSY);
    first->Unlock();
    EXPECT_TRUE(second->Lock().ok());
    second->Unlock();
    ASSERT_TRUE(first->Lock().ok()) << "unlocking released the lock";
    EXPECT_TRUE(first->Close().ok());
    EXPECT_TRUE(second->Lock().ok()) << "closing released the lock";
}

TEST(VirtualDrive, ADriveInATransferIsInUseByAnotherInstanceUntilUnlocked)
{
    TempDir dir;
    dir.write("a.img", std::string(64 * 512, '\0'));
    // Two instances, each with its own opening of the medium.
    auto mine = DrivesOver({{'A', dir.file("a.img")}});
    auto other = DrivesOver({{'A', dir.file("a.img")}});
    for (bool writing : {false, true}) {
        IoStatus st;
        auto handle = mine->Open('A', writing, st);
        ASSERT_TRUE(handle) << st.message();
        EXPECT_TRUE(other->DriveReady('A').ready()) << "merely opened";
        ASSERT_TRUE(handle->Lock().ok());
        const DriveStatus held = other->DriveReady('A');
        EXPECT_EQ(held.state, DriveState::InUse);
        EXPECT_EQ(held.error, EBUSY);
        EXPECT_EQ(held.detail, DriveDetail::OtherInstance);
        handle->Unlock();
        EXPECT_TRUE(other->DriveReady('A').ready()) << "unlocked";
        ASSERT_TRUE(handle->Lock().ok());
        handle.reset(); // closing also ends the transfer's hold
        EXPECT_TRUE(other->DriveReady('A').ready()) << "closed";
    }
}

TEST(VirtualDrive, DriveAWithoutAnyDeviceStandsForTheFirstFloppy)
{
    TempDir sysfs; // a machine without removable drives
    auto table = BuildDriveTable({}, sysfs.path());
    ASSERT_EQ(table.size(), 1u);
    EXPECT_EQ(table[0].device, "/dev/fd0");
    auto access = MakeDriveAccess(table);
    if (::access("/dev/fd0", F_OK) != 0) {
        EXPECT_FALSE(access->DriveReady('A').ready());
        AllocationFigures f;
        EXPECT_FALSE(access->QueryAllocation('A', f).ok());
    }
    access->Eject('A'); // nothing to eject, nothing reported
}

// A bound device that is away has no medium, so the commands wait for it
// instead of writing anything else; a path written by hand that names
// nothing is a missing device as before.
TEST(VirtualDrive, BoundDeviceAwayIsNoMediumAndTheTargetIsNamed)
{
    TempDir dir;
    dir.write("disk.img", std::string(1474560, '\0'));
    auto access = MakeDriveAccess({
        DriveEntry{'A', "usb:pci0000:99/usb9/9-9#none", DriveKind::Removable, "", "", true},
        DriveEntry{'B', dir.file("dev/disk/by-id/usb-TEAC_FD-05PUB-0:0"), DriveKind::Removable, "", "", true},
        DriveEntry{'C', dir.file("nothing"), DriveKind::Other, "", "", true},
        DriveEntry{'D', dir.file("disk.img"), DriveKind::Virtual, "", "", false},
    });
    for (char letter : {'A', 'B'}) {
        EXPECT_EQ(access->DriveReady(letter).state, DriveState::NoMedium) << letter;
        IoStatus st;
        EXPECT_FALSE(access->Open(letter, true, st));
        EXPECT_EQ(st.error, ENOMEDIUM) << letter;
        access->Eject(letter);
    }
    EXPECT_EQ(access->DriveReady('C').state, DriveState::NoDevice);
    EXPECT_EQ(access->DescribeTarget('A'), "usb:pci0000:99/usb9/9-9#none");
    EXPECT_EQ(access->DescribeTarget('D'), dir.file("disk.img") + "  1.4 MB");
    EXPECT_EQ(access->DescribeTarget('E'), "");
}

// A virtual drive with bytes beyond its last whole sector would lose them
// on creation and keep stale ones on restoration: it is refused, and the
// box says why and names the file.
TEST(VirtualDrive, LengthNotAWholeNumberOfSectorsIsRefused)
{
    TempDir dir;
    dir.write("odd.img", std::string(1474560 + 100, 'o'));
    auto access = DrivesOver({{'A', dir.file("odd.img")}});
    const DriveStatus status = access->DriveReady('A');
    EXPECT_EQ(status.detail, DriveDetail::PartialSector);
    EXPECT_EQ(DriveFailureText(BuiltInMessages(), "A", status),
              BuiltInMessages().Text(MessageId::VirtualDriveLength, dir.file("odd.img")));
    AllocationFigures f;
    EXPECT_FALSE(access->QueryAllocation('A', f).ok());
    for (bool writing : {false, true}) {
        IoStatus st;
        EXPECT_FALSE(access->Open('A', writing, st));
        EXPECT_EQ(st.error, EINVAL);
    }
    EXPECT_EQ(dir.read("odd.img"), std::string(1474560 + 100, 'o'));
}

} // namespace
