#include "media/restore.h"

#include <filesystem>
#include <string>

#include <gtest/gtest.h>

#include "media/fake_host.h"
#include "media/memory_drive.h"
#include "support/tempdir.h"

namespace {

class Restoration : public ::testing::Test {
protected:
    MemoryDrive drive;
    FakeHost host;
    TempDir dir;
    MemoryMedium source;

    // An image of `sectors` pattern sectors; header numbers may be overridden.
    std::string MakeImage(const std::string& name, std::uint32_t sectors, std::uint32_t bps = 512)
    {
        source = MemoryDrive::PatternMedium(sectors, bps);
        return WriteImage(name, BuildHeader({"DISK", "", "", "", "", ""}, 1, bps, sectors), source.bytes);
    }
    std::string WriteImage(const std::string& name, const HeaderBytes& header, const std::vector<std::uint8_t>& data)
    {
        std::string bytes(reinterpret_cast<const char*>(header.data()), header.size());
        bytes.append(reinterpret_cast<const char*>(data.data()), data.size());
        dir.write(name, bytes);
        return dir.file(name);
    }
    // A zero-filled medium of n sectors in drive A.
    MemoryMedium& Blank(std::uint64_t n, std::uint32_t bps = 512)
    {
        MemoryMedium m = MemoryDrive::PatternMedium(n, bps);
        std::fill(m.bytes.begin(), m.bytes.end(), 0);
        return drive.media['A'] = m;
    }
};

TEST_F(Restoration, WritesEverySectorInPlaceUnderALock)
{
    const std::string image = MakeImage("a.img", 2880);
    MemoryMedium& medium = Blank(2880);
    const TransferResult r = RestoreToDrive(drive, 'A', image, host);
    ASSERT_EQ(r.outcome, kTransferDone) << r.errorText();
    EXPECT_EQ(medium.bytes, source.bytes);
    EXPECT_EQ(CountLogged(drive, "write "), 2880);
    EXPECT_TRUE(Logged(drive, "write 2879 1"));
    EXPECT_EQ(drive.log[drive.log.size() - 2], "unlock");
    EXPECT_EQ(drive.log.back(), "close");
    EXPECT_EQ(host.progressMax, 2880u);
    EXPECT_EQ(host.positions.back(), 0u);
    EXPECT_EQ(drive.openHandles, 0);
}

// Images stored with the cluster count as sector count (2,847 of a 1.44 MB
// floppy) restore as before: those sectors, the rest of the medium untouched.
TEST_F(Restoration, AnImageShorterThanTheMediumLeavesTheRestAlone)
{
    const std::string image = MakeImage("old.img", 2847);
    MemoryMedium& medium = Blank(2880);
    std::fill(medium.bytes.begin() + 2847 * 512, medium.bytes.end(), 0xE5);
    ASSERT_EQ(RestoreToDrive(drive, 'A', image, host).outcome, kTransferDone);
    EXPECT_TRUE(std::equal(source.bytes.begin(), source.bytes.end(), medium.bytes.begin()));
    EXPECT_TRUE(std::all_of(medium.bytes.begin() + 2847 * 512, medium.bytes.end(), [](auto b) { return b == 0xE5; }));
}

TEST_F(Restoration, RefusesAnImageFileItCannotRestoreBeforeOpeningTheDrive)
{
    MakeImage("good.img", 64);
    const std::vector<std::uint8_t> data64 = source.bytes;
    const HeaderBytes good = BuildHeader({}, 1, 512, 64);
    std::filesystem::create_directory(dir.file("folder"));
    dir.write("short-header.img", std::string(reinterpret_cast<const char*>(good.data()), 200));
    const std::vector<std::uint8_t> truncated(data64.begin(), data64.end() - 1);

    struct Case {
        const char* what;
        std::string path;
        int error;
    } cases[] = {
        {"missing", dir.file("none.img"), ENOENT},
        {"folder", dir.file("folder"), EISDIR},
        {"header cut short", dir.file("short-header.img"), ENODATA},
        {"sector data one byte short", WriteImage("trunc.img", good, truncated), ENODATA},
        {"bytes per sector 0", WriteImage("bps0.img", BuildHeader({}, 1, 0, 64), data64), EINVAL},
        {"bytes per sector beyond the buffer", WriteImage("bpsbig.img", BuildHeader({}, 1, 16384, 2), data64), EINVAL},
        {"no sectors", WriteImage("zero.img", BuildHeader({}, 1, 512, 0), data64), EINVAL},
        {"nonsense", WriteImage("junk.img", HeaderBytes{}, data64), EINVAL},
        {"count beyond the data", WriteImage("huge.img", BuildHeader({}, 1, 512, 0xFFFFFFFF), data64), ENODATA},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        MemoryDrive d;
        d.media['A'] = MemoryDrive::PatternMedium(64);
        const std::vector<std::uint8_t> before = d.media['A'].bytes;
        FakeHost h;
        const TransferResult r = RestoreToDrive(d, 'A', c.path, h);
        EXPECT_EQ(r.outcome, kTransferFailed);
        EXPECT_EQ(r.source, FailureSource::ImageFile);
        EXPECT_EQ(r.status.error, c.error);
        EXPECT_EQ(CountLogged(d, "open"), 0);
        EXPECT_EQ(d.media['A'].bytes, before);
    }

    // A medium too small for a good image is refused the same way.
    Blank(63);
    const TransferResult r = RestoreToDrive(drive, 'A', dir.file("good.img"), host);
    EXPECT_EQ(r.outcome, kTransferFailed);
    EXPECT_EQ(CountLogged(drive, "open"), 0);
}

TEST_F(Restoration, NeverWritesASectorFromDataItCouldNotRead)
{
    const std::string image = MakeImage("a.img", 2880);
    MemoryMedium& medium = Blank(2880);
    // The file loses its end while the copy runs.
    drive.onSector = [&](std::uint64_t k) {
        if (k == 10)
            std::filesystem::resize_file(image, 256 + 200 * 512);
    };
    const TransferResult r = RestoreToDrive(drive, 'A', image, host);
    EXPECT_EQ(r.outcome, kTransferFailed);
    EXPECT_EQ(r.source, FailureSource::ImageFile);
    EXPECT_TRUE(Logged(drive, "write 199 1"));
    EXPECT_FALSE(Logged(drive, "write 200 1"));
    EXPECT_TRUE(std::all_of(medium.bytes.begin() + 200 * 512, medium.bytes.end(), [](auto b) { return b == 0; }));
    EXPECT_EQ(drive.log.back(), "close");
}

TEST_F(Restoration, DriveFailuresReleaseTheDriveAndMayBeOvertakenByEsc)
{
    const std::string image = MakeImage("a.img", 32);
    struct Case {
        const char* what;
        int MemoryDrive::*fault;
        int error;
        int writes;
        bool unlocked;
        FailureSource source = FailureSource::Drive;
    } cases[] = {
        {"open", &MemoryDrive::openError, EACCES, 0, false},
        {"lock", &MemoryDrive::lockError, EIO, 0, false},
        {"lock of a device held elsewhere", &MemoryDrive::lockError, EBUSY, 0, false, FailureSource::DriveInUse},
        {"flush at close", &MemoryDrive::closeError, EIO, 32, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        MemoryDrive d;
        d.media['A'] = MemoryDrive::PatternMedium(32);
        d.*c.fault = c.error;
        FakeHost h;
        const TransferResult r = RestoreToDrive(d, 'A', image, h);
        EXPECT_EQ(r.outcome, kTransferFailed);
        EXPECT_EQ(r.source, c.source);
        EXPECT_EQ(r.status.error, c.error);
        EXPECT_EQ(CountLogged(d, "write "), c.writes);
        EXPECT_EQ(d.openHandles, 0);
        EXPECT_EQ(Logged(d, "unlock"), c.unlocked);

        h = FakeHost{};
        h.cancel = true;
        EXPECT_EQ(RestoreToDrive(d, 'A', image, h).outcome, kTransferCancelled);
    }

    drive.media['A'] = MemoryDrive::PatternMedium(32);
    drive.failWriteAt = 5;
    const TransferResult r = RestoreToDrive(drive, 'A', image, host);
    EXPECT_EQ(r.outcome, kTransferFailed);
    EXPECT_EQ(r.status.error, EIO);
    EXPECT_FALSE(Logged(drive, "write 6 1"));
    EXPECT_TRUE(Logged(drive, "unlock"));
}

TEST_F(Restoration, EscStopsBeforeTheNextSectorAndUnlocks)
{
    const std::string image = MakeImage("a.img", 100);
    MemoryMedium& medium = Blank(100);
    host.escAtPump = 21;
    const TransferResult r = RestoreToDrive(drive, 'A', image, host);
    EXPECT_EQ(r.outcome, kTransferCancelled);
    EXPECT_TRUE(Logged(drive, "write 19 1"));
    EXPECT_FALSE(Logged(drive, "write 20 1"));
    EXPECT_TRUE(std::equal(source.bytes.begin(), source.bytes.begin() + 20 * 512, medium.bytes.begin()));
    EXPECT_EQ(drive.log[drive.log.size() - 2], "unlock");
    EXPECT_EQ(host.positions.back(), 0u);
}

// Floppy-sized media keep one sector per request; above the largest floppy
// format the NT-family writer goes by creation's requests, the last one
// shorter, with the window serviced once per request; a failed request
// stops the copy there.
TEST_F(Restoration, LargeMediaAreWrittenInMebibyteRequests)
{
    EXPECT_EQ(WriteRequestSectors(2847, 512, true), 1u);
    EXPECT_EQ(WriteRequestSectors(5760, 512, true), 1u);
    EXPECT_EQ(WriteRequestSectors(5761, 512, true), 2048u);
    EXPECT_EQ(WriteRequestSectors(62521344, 512, true), 2048u);
    EXPECT_EQ(WriteRequestSectors(2000, 4096, true), 256u);
    EXPECT_EQ(WriteRequestSectors(62521344, 512, false), SectorsPerCall(62521344));

    const std::uint32_t sectors = 3 * 2048 + 100;
    const std::string image = MakeImage("big.img", sectors);
    MemoryMedium& medium = Blank(sectors);
    TransferResult r = RestoreToDrive(drive, 'A', image, host);
    ASSERT_EQ(r.outcome, kTransferDone) << r.errorText();
    EXPECT_EQ(medium.bytes, source.bytes);
    EXPECT_EQ(CountLogged(drive, "write "), 4);
    EXPECT_TRUE(Logged(drive, "write 4096 2048"));
    EXPECT_TRUE(Logged(drive, "write 6144 100"));
    EXPECT_EQ(host.pumps, 4 + 4); // and as many read-back requests
    EXPECT_EQ(std::vector<std::uint64_t>(host.positions.begin(), host.positions.begin() + 5),
              (std::vector<std::uint64_t>{0, 0, 2048, 4096, 6144}));
    EXPECT_EQ(r.hashes.size, std::uint64_t{sectors} * 512);

    Blank(sectors);
    drive.log.clear();
    drive.failWriteAt = 3000;
    host = FakeHost{};
    r = RestoreToDrive(drive, 'A', image, host);
    EXPECT_EQ(r.outcome, kTransferFailed);
    EXPECT_TRUE(Logged(drive, "write 2048 2048"));
    EXPECT_FALSE(Logged(drive, "write 4096 2048"));
    EXPECT_EQ(drive.log.back(), "close");
}

TEST_F(Restoration, GroupedWriterSplitsTheSectorsIntoEqualRequests)
{
    EXPECT_EQ(SectorsPerCall(2847), 73u);
    EXPECT_EQ(SectorsPerCall(2880), 96u);
    EXPECT_EQ(SectorsPerCall(1440), 96u);
    EXPECT_EQ(SectorsPerCall(101), 1u);
    EXPECT_EQ(SectorsPerCall(99 * 97), 99u);
    EXPECT_EQ(SectorsPerCall(1), 1u);

    drive.ntFamily = false;
    struct Case {
        std::uint32_t sectors, perCall, requests;
    } cases[] = {{2847, 73, 39}, {101, 1, 101}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.sectors);
        const std::string image = MakeImage("g.img", c.sectors);
        MemoryMedium& medium = Blank(c.sectors);
        drive.log.clear();
        host = FakeHost{};
        ASSERT_EQ(RestoreToDrive(drive, 'A', image, host).outcome, kTransferDone);
        EXPECT_EQ(medium.bytes, source.bytes);
        EXPECT_EQ(CountLogged(drive, "write "), static_cast<int>(c.requests));
        EXPECT_TRUE(Logged(drive, "write " + std::to_string(c.sectors - c.perCall) + " " + std::to_string(c.perCall)));
        EXPECT_FALSE(Logged(drive, "lock"));
        // Progress: range, then 0, n, 2n, ... before each request; then
        // the read-back, one turn per read request.
        const std::uint32_t readBacks = (c.sectors + 2047) / 2048;
        ASSERT_EQ(host.positions.size(), c.requests + 1 + readBacks + 2);
        for (std::uint32_t i = 0; i < c.requests; ++i)
            EXPECT_EQ(host.positions[i + 1], i * c.perCall);
        EXPECT_EQ(host.pumps, static_cast<int>(c.requests + readBacks));
    }
}

TEST_F(Restoration, AFailedGroupedRequestIsAFailureEvenAfterEsc)
{
    drive.ntFamily = false;
    const std::string image = MakeImage("g.img", 2847);
    Blank(2847);
    drive.failWriteAt = 100; // inside the second request
    drive.onSector = [&](std::uint64_t first) { host.cancel = (first == 73); };
    const TransferResult r = RestoreToDrive(drive, 'A', image, host);
    EXPECT_EQ(r.outcome, kTransferFailed);
    EXPECT_EQ(CountLogged(drive, "write "), 2);
    EXPECT_EQ(drive.openHandles, 0);
}

} // namespace

namespace {

// A medium that does not keep what was written (here one sector's writes
// vanish) reads back different: the sector is named and the run fails,
// whatever Esc says. One that keeps it gives the image data's hashes.
TEST_F(Restoration, ReadsTheMediumBackAndNamesTheFirstSectorThatDiffers)
{
    for (bool nt : {true, false}) {
        SCOPED_TRACE(nt);
        drive.ntFamily = nt;
        const std::string image = MakeImage("v.img", 2880);
        Blank(2880);
        drive.droppedWrites = {100, 2000, 2001};
        host = FakeHost{};
        drive.onSector = [&](std::uint64_t k) { host.cancel = host.verifications > 0 && k == 2502; };
        TransferResult r = RestoreToDrive(drive, 'A', image, host);
        EXPECT_EQ(r.outcome, kTransferFailed);
        EXPECT_EQ(r.firstDiffering, 100u);
        EXPECT_EQ(r.differing, 3u);
        EXPECT_TRUE(r.status.ok()) << "no made-up system error beside the sectors";
        EXPECT_EQ(host.verifications, 1);
        EXPECT_EQ(drive.openHandles, 0);

        drive.droppedWrites.clear();
        drive.onSector = {};
        host = FakeHost{};
        r = RestoreToDrive(drive, 'A', image, host);
        ASSERT_EQ(r.outcome, kTransferDone) << r.errorText();
        EXPECT_EQ(r.differing, 0u);
        DataHashes fromFile;
        ASSERT_TRUE(HashImageFile(image, fromFile).ok());
        EXPECT_EQ(r.hashes.sha1, fromFile.sha1);
        EXPECT_EQ(r.hashes.crc32, fromFile.crc32);
        EXPECT_EQ(r.hashes.size, 2880u * 512);
    }
}

// Before any medium: a short image is refused with how much of it there is,
// one with a map tells how many sectors it lacks.
TEST_F(Restoration, CheckBeforeTheFirstMediumFindsShortImagesAndMaps)
{
    const std::string image = MakeImage("c.img", 2880);
    RestoreCheck check = CheckImageForRestore(image);
    EXPECT_TRUE(check.status.ok());
    EXPECT_EQ(check.unreadable, 0u);

    dir.write("c.img.map", "# Mapfile\n0x0 +\n0x0 0x400 +\n0x400 0x400 -\n0x800 0x59C00 +\n");
    check = CheckImageForRestore(image);
    EXPECT_TRUE(check.status.ok());
    EXPECT_EQ(check.unreadable, 2u);
    dir.write("c.img.map", "garbage");
    EXPECT_EQ(CheckImageForRestore(image).unreadable, 2880u);

    std::filesystem::resize_file(image, 256 + 1000 * 512 + 3);
    check = CheckImageForRestore(image);
    EXPECT_EQ(check.status.error, ENODATA);
    EXPECT_EQ(check.condition.sectorsHeld, 1000u);
    EXPECT_EQ(check.condition.sectorCount, 2880u);
}

} // namespace
