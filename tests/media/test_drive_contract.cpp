// What every DriveAccess promises its callers, checked against the host's
// drive over a regular file and against the in-memory fake the copy loops
// are tested with, so the fake cannot drift from the real thing.
#include "media/memory_drive.h"
#include "virtual_drive.h"

#include <gtest/gtest.h>

#include <cerrno>

namespace {

constexpr std::uint64_t kSectors = 40;
constexpr std::uint32_t kBps = 512;

// Drive A holds a medium of kSectors patterned sectors (no file system);
// drive B names a medium that is not there; other letters are unknown.
class HostVirtualDrive {
public:
    void Insert(const std::vector<std::uint8_t>& bytes)
    {
        WriteFileBytes(dir_.file("a.img"), bytes);
        access_ = DrivesOver({{'A', dir_.file("a.img")}, {'B', dir_.file("missing.img")}});
    }
    DriveAccess& access() { return *access_; }
    std::vector<std::uint8_t> Contents() const { return FileBytes(dir_.file("a.img")); }

private:
    TempDir dir_;
    std::unique_ptr<DriveAccess> access_;
};

class InMemoryDrive {
public:
    void Insert(const std::vector<std::uint8_t>& bytes)
    {
        MemoryMedium m = MemoryDrive::PatternMedium(kSectors, kBps);
        m.bytes = bytes;
        drive_.media['A'] = m;
    }
    DriveAccess& access() { return drive_; }
    std::vector<std::uint8_t> Contents() const { return drive_.media.at('A').bytes; }

private:
    MemoryDrive drive_;
};

template <typename Drive>
class DriveContract : public ::testing::Test {
protected:
    void SetUp() override
    {
        original_ = MemoryDrive::PatternMedium(kSectors, kBps).bytes;
        drive_.Insert(original_);
    }
    DriveAccess& access() { return drive_.access(); }
    std::vector<std::uint8_t> Sector(std::uint64_t k) const
    {
        return {original_.begin() + static_cast<std::ptrdiff_t>(k * kBps),
                original_.begin() + static_cast<std::ptrdiff_t>((k + 1) * kBps)};
    }

    Drive drive_;
    std::vector<std::uint8_t> original_;
};

using Drives = ::testing::Types<HostVirtualDrive, InMemoryDrive>;
class DriveNames {
public:
    template <typename T>
    static std::string GetName(int)
    {
        return std::is_same_v<T, HostVirtualDrive> ? "Host" : "Memory";
    }
};
TYPED_TEST_SUITE(DriveContract, Drives, DriveNames);

TYPED_TEST(DriveContract, ReadyOnlyWithAMediumAndAnyLetterCase)
{
    EXPECT_TRUE(this->access().DriveReady('A').ready());
    EXPECT_TRUE(this->access().DriveReady('a').ready());
    EXPECT_FALSE(this->access().DriveReady('B').ready());
    EXPECT_FALSE(this->access().DriveReady('Q').ready());
    EXPECT_TRUE(this->access().IsNtFamily());
}

TYPED_TEST(DriveContract, AllocationOfAMediumWithoutFileSystemCountsSectors)
{
    AllocationFigures f;
    ASSERT_TRUE(this->access().QueryAllocation('A', f).ok());
    EXPECT_EQ(f.bytesPerSector, kBps);
    EXPECT_EQ(f.sectorsPerCluster, 1u);
    EXPECT_EQ(f.totalClusters, kSectors);
    EXPECT_EQ(f.totalSectors, kSectors);

    AllocationFigures untouched;
    EXPECT_FALSE(this->access().QueryAllocation('B', untouched).ok());
    EXPECT_FALSE(this->access().QueryAllocation('Q', untouched).ok());
}

TYPED_TEST(DriveContract, ReadsEachSectorFromItsPositionAndNothingPastTheEnd)
{
    IoStatus st;
    auto h = this->access().Open('A', false, st);
    ASSERT_TRUE(h) << st.message();
    ASSERT_TRUE(h->Lock().ok());
    std::vector<std::uint8_t> sector(kBps);
    for (std::uint64_t k : {std::uint64_t{0}, std::uint64_t{1}, std::uint64_t{17}, kSectors - 1}) {
        ASSERT_TRUE(h->ReadSector(k, sector).ok()) << k;
        EXPECT_EQ(sector, this->Sector(k)) << k;
    }
    EXPECT_EQ(h->ReadSector(kSectors, sector).error, EIO);
    EXPECT_EQ(h->WriteSectors(3, 1, sector).error, EBADF) << "a handle opened for reading writes nothing";
    h->Unlock();
    EXPECT_TRUE(h->Close().ok());
    EXPECT_TRUE(h->Close().ok()) << "closing twice is harmless";
    EXPECT_EQ(this->drive_.Contents(), this->original_);
}

TYPED_TEST(DriveContract, WritesLandExactlyAndNeverPastTheEnd)
{
    IoStatus st;
    auto h = this->access().Open('A', true, st);
    ASSERT_TRUE(h) << st.message();
    ASSERT_TRUE(h->Lock().ok());
    std::vector<std::uint8_t> two(2 * kBps, 0xA5);
    ASSERT_TRUE(h->WriteSectors(5, 2, two).ok());
    // Straddling or beyond the end: refused whole, nothing written, nothing grown.
    EXPECT_EQ(h->WriteSectors(kSectors - 1, 2, two).error, ENOSPC);
    EXPECT_EQ(h->WriteSectors(kSectors, 1, std::span(two).first(kBps)).error, ENOSPC);
    std::vector<std::uint8_t> sector(kBps);
    ASSERT_TRUE(h->ReadSector(6, sector).ok());
    EXPECT_EQ(sector, std::vector<std::uint8_t>(kBps, 0xA5));
    h->Unlock();
    EXPECT_TRUE(h->Close().ok());

    auto expected = this->original_;
    std::fill(expected.begin() + 5 * kBps, expected.begin() + 7 * kBps, 0xA5);
    EXPECT_EQ(this->drive_.Contents(), expected);
}

TYPED_TEST(DriveContract, MissingMediumCannotBeOpenedAndEjectIsSilent)
{
    IoStatus st;
    EXPECT_FALSE(this->access().Open('B', false, st));
    EXPECT_FALSE(st.ok());
    st = IoStatus::Ok();
    EXPECT_FALSE(this->access().Open('Q', true, st));
    EXPECT_FALSE(st.ok());
    this->access().Eject('B');
    this->access().Eject('Q');
    this->access().Eject('A');
    EXPECT_EQ(this->drive_.Contents(), this->original_);
}

TYPED_TEST(DriveContract, ClosedHandleMovesNoSector)
{
    IoStatus st;
    auto h = this->access().Open('A', true, st);
    ASSERT_TRUE(h);
    ASSERT_TRUE(h->Close().ok());
    std::vector<std::uint8_t> sector(kBps, 0x11);
    EXPECT_FALSE(h->ReadSector(0, sector).ok());
    EXPECT_FALSE(h->WriteSectors(0, 1, sector).ok());
    EXPECT_EQ(this->drive_.Contents(), this->original_);
}

} // namespace
