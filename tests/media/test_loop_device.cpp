// The drive access on real block devices: loop devices over files made
// here. Needs root and a working losetup; skipped with a message elsewhere.
// Every loop device and mount is released, also when a test fails.
#include "media/fatmedia.h"
#include "base/fdio_linux.h"
#include "media/memory_drive.h"
#include "virtual_drive.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/mount.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <filesystem>

namespace fs = std::filesystem;

namespace {

#define SKIP_WITHOUT_LOOP(loop)                                                                                       \
    if ((loop).path().empty())                                                                                        \
    GTEST_SKIP() << (::geteuid() != 0 ? "needs root for loop devices" : "losetup does not work here")

std::vector<std::uint8_t> Pattern(std::uint64_t sectors, std::uint32_t bps)
{
    return MemoryDrive::PatternMedium(sectors, bps).bytes;
}

TEST(LoopDevice, ReadsAndWritesPastThePageCache)
{
    TempDir dir;
    const std::string file = dir.file("medium.img");
    WriteFileBytes(file, Pattern(2880, 512));
    LoopDevice loop(file);
    SKIP_WITHOUT_LOOP(loop);
    auto access = DrivesOver({{'A', loop.path()}});
    ASSERT_TRUE(access->DriveReady('A').ready());
    AllocationFigures f;
    ASSERT_TRUE(access->QueryAllocation('A', f).ok());
    EXPECT_EQ(f.bytesPerSector, 512u);
    EXPECT_EQ(f.totalSectors, 2880u);
    EXPECT_EQ(f.totalClusters, 2880u);

    // Fill the device's page cache (kept while the device stays open), then
    // change the medium behind it: only unbuffered reads see the change.
    UniqueFd cached(::open(loop.path().c_str(), O_RDONLY));
    ASSERT_GE(cached.get(), 0);
    std::vector<std::uint8_t> warm(16 * 512);
    EXPECT_EQ(::pread(cached.get(), warm.data(), warm.size(), 0), static_cast<ssize_t>(warm.size()));
    {
        std::vector<std::uint8_t> changed(512, 0xC3);
        const int fd = ::open(file.c_str(), O_WRONLY);
        ASSERT_GE(fd, 0);
        ASSERT_EQ(::pwrite(fd, changed.data(), changed.size(), 7 * 512), 512);
        ::close(fd);
    }
    IoStatus st;
    auto h = access->Open('A', true, st);
    ASSERT_TRUE(h) << st.message();
    ASSERT_TRUE(h->Lock().ok());
    std::vector<std::uint8_t> sector(512);
    ASSERT_TRUE(h->ReadSector(7, sector).ok());
    EXPECT_EQ(sector, std::vector<std::uint8_t>(512, 0xC3));

    std::vector<std::uint8_t> two(1024, 0x3C);
    ASSERT_TRUE(h->WriteSectors(2878, 2, two).ok());
    EXPECT_EQ(h->WriteSectors(2879, 2, two).error, ENOSPC);
    h->Unlock();
    ASSERT_TRUE(h->Close().ok());
    const auto bytes = FileBytes(file);
    ASSERT_EQ(bytes.size(), 2880u * 512);
    EXPECT_TRUE(std::all_of(bytes.end() - 1024, bytes.end(), [](std::uint8_t b) { return b == 0x3C; }));
    access->Eject('A'); // a loop device is left alone
    EXPECT_TRUE(access->DriveReady('A').ready());
}

TEST(LoopDevice, LockRefusedWhileAnotherHolderHasTheDevice)
{
    TempDir dir;
    WriteFileBytes(dir.file("medium.img"), Pattern(64, 512));
    LoopDevice loop(dir.file("medium.img"));
    SKIP_WITHOUT_LOOP(loop);
    auto access = DrivesOver({{'A', loop.path()}});
    IoStatus st;
    auto first = access->Open('A', true, st);
    auto second = access->Open('A', true, st);
    ASSERT_TRUE(first && second);
    ASSERT_TRUE(first->Lock().ok());
    EXPECT_EQ(second->Lock().error, EBUSY);
    first->Unlock();

    // Another program holding the device exclusively also refuses a writer,
    // and a reader.
    {
        UniqueFd other(::open(loop.path().c_str(), O_RDONLY | O_EXCL));
        ASSERT_GE(other.get(), 0);
        EXPECT_EQ(second->Lock().error, EBUSY);
        IoStatus opened;
        auto reader = access->Open('A', false, opened);
        ASSERT_TRUE(reader);
        EXPECT_EQ(reader->Lock().error, EBUSY);
    }
    EXPECT_TRUE(second->Lock().ok());
    // ...and the writer's lock keeps others from claiming it.
    UniqueFd refused(::open(loop.path().c_str(), O_RDONLY | O_EXCL));
    EXPECT_LT(refused.get(), 0);
    EXPECT_TRUE(second->Close().ok());
}

TEST(LoopDevice, MountedMediumIsNeverWritten)
{
    TempDir dir;
    const std::string file = dir.file("ext4.img");
    WriteFileBytes(file, std::vector<std::uint8_t>(4u << 20, 0));
    LoopDevice loop(file);
    SKIP_WITHOUT_LOOP(loop);
    if (RunCommand("PATH=\"$PATH:/usr/sbin:/sbin\" mkfs.ext4 -q -F " + loop.path() + " >/dev/null 2>&1") != 0)
        GTEST_SKIP() << "mkfs.ext4 does not work here";
    const auto before = FileBytes(file);
    {
        Mount mount(loop.path(), dir.file("mnt"));
        if (!mount.mounted())
            GTEST_SKIP() << "ext4 cannot be mounted here";
        // The device, the file behind it as a virtual drive, a hard link to
        // that file and a second loop device over it: each reaches the mounted
        // file system under another name.
        fs::create_hard_link(file, dir.file("link.img"));
        LoopDevice second(dir.file("link.img"));
        ASSERT_FALSE(second.path().empty()) << second.error();
        Mount bind(dir.path(), dir.file("bind"), MS_BIND);
        ASSERT_TRUE(bind.mounted());
        auto access = DrivesOver({{'A', loop.path()},
                                  {'B', file},
                                  {'C', dir.file("link.img")},
                                  {'D', second.path()},
                                  {'E', dir.file("bind") + "/ext4.img"}});
        for (char letter : {'A', 'B', 'C', 'D', 'E'}) {
            IoStatus st;
            auto writer = access->Open(letter, true, st);
            ASSERT_TRUE(writer) << letter << " " << st.message();
            EXPECT_EQ(writer->Lock().error, EBUSY) << letter;
            auto reader = access->Open(letter, false, st);
            ASSERT_TRUE(reader);
            EXPECT_EQ(reader->Lock().error, EBUSY) << letter << ": an image of a mounted medium is stale";
        }
        access->Eject('A');
        EXPECT_TRUE(access->DriveReady('A').ready());
    }
    auto access = DrivesOver({{'A', loop.path()}});
    IoStatus st;
    auto writer = access->Open('A', true, st);
    ASSERT_TRUE(writer);
    EXPECT_TRUE(writer->Lock().ok()) << "unmounted again";
}

TEST(LoopDevice, MountedPartitionRefusesTheWholeDevice)
{
    TempDir dir;
    const std::string file = dir.file("disk.img");
    std::vector<std::uint8_t> disk(8u << 20, 0);
    // One primary partition from sector 2048 to the end.
    const std::uint8_t entry[16] = {0, 0, 0, 0, 0x83, 0, 0, 0, 0x00, 0x08, 0, 0, 0x00, 0x38, 0, 0};
    std::copy(std::begin(entry), std::end(entry), disk.begin() + 446);
    disk[510] = 0x55, disk[511] = 0xAA;
    WriteFileBytes(file, disk);
    LoopDevice loop(file, "-P");
    SKIP_WITHOUT_LOOP(loop);
    const std::string partition = loop.path() + "p1";
    if (::access(partition.c_str(), F_OK) != 0)
        GTEST_SKIP() << "the kernel shows no partitions of loop devices";
    if (RunCommand("PATH=\"$PATH:/usr/sbin:/sbin\" mkfs.ext4 -q -F " + partition + " >/dev/null 2>&1") != 0)
        GTEST_SKIP() << "mkfs.ext4 does not work here";
    Mount mount(partition, dir.file("mnt"));
    if (!mount.mounted())
        GTEST_SKIP() << "ext4 cannot be mounted here";
    auto access = DrivesOver({{'A', loop.path()}});
    IoStatus st;
    auto writer = access->Open('A', true, st);
    ASSERT_TRUE(writer);
    EXPECT_EQ(writer->Lock().error, EBUSY);
}

TEST(LoopDevice, LogicalSectorsOf4096Bytes)
{
    TempDir dir;
    const std::string raw = dir.file("raw.img");
    WriteFileBytes(raw, Pattern(256, 4096));
    LoopDevice loop(raw, "--sector-size 4096");
    SKIP_WITHOUT_LOOP(loop);
    auto access = DrivesOver({{'A', loop.path()}});
    AllocationFigures f;
    ASSERT_TRUE(access->QueryAllocation('A', f).ok());
    EXPECT_EQ(f.bytesPerSector, 4096u);
    EXPECT_EQ(f.totalSectors, 256u);
    EXPECT_EQ(f.totalClusters, 256u);

    IoStatus st;
    auto h = access->Open('A', true, st);
    ASSERT_TRUE(h);
    const auto bytes = Pattern(256, 4096);
    std::vector<std::uint8_t> sector(4096);
    ASSERT_TRUE(h->ReadSector(255, sector).ok());
    EXPECT_TRUE(std::equal(sector.begin(), sector.end(), bytes.end() - 4096));
    std::vector<std::uint8_t> small(512);
    EXPECT_FALSE(h->ReadSector(1, small).ok()) << "less than a logical sector";
    ASSERT_TRUE(h->WriteSectors(3, 1, std::vector<std::uint8_t>(4096, 0x44)).ok());
    ASSERT_TRUE(h->Close().ok());
    EXPECT_EQ(FileBytes(raw)[3 * 4096 + 100], 0x44);

    const std::string fat = MakeFatImage(dir, "fat4k.img", 4096, "-S 4096");
    if (fat.empty())
        GTEST_SKIP() << "mkfs.fat is not available";
    LoopDevice fatLoop(fat, "--sector-size 4096");
    SKIP_WITHOUT_LOOP(fatLoop);
    auto fatAccess = DrivesOver({{'A', fatLoop.path()}});
    ASSERT_TRUE(fatAccess->QueryAllocation('A', f).ok());
    EXPECT_EQ(f.bytesPerSector, 4096u);
    EXPECT_EQ(f.totalSectors, 1024u);
    EXPECT_LT(f.totalClusters, 1024u) << "figures from the FAT boot sector";
    EXPECT_EQ(f.freeClusters, f.totalClusters);
}

} // namespace
