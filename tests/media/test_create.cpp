#include "media/create.h"

#include <algorithm>
#include <csignal>
#include <filesystem>
#include <cstring>
#include <string>

#include <sys/resource.h>

#include <gtest/gtest.h>

#include "library/sectormap.h"
#include "media/fake_host.h"
#include "media/memory_drive.h"
#include "support/tempdir.h"

namespace {

std::string Bytes(const std::vector<std::uint8_t>& v, std::size_t from = 0, std::size_t n = std::string::npos)
{
    n = std::min(n, v.size() - from);
    return std::string(reinterpret_cast<const char*>(v.data() + from), n);
}

std::string HeaderText(const HeaderBytes& h) { return std::string(reinterpret_cast<const char*>(h.data()), h.size()); }

class Creation : public ::testing::Test {
protected:
    MemoryDrive drive;
    FakeHost host;
    TempDir dir;
    std::string path = dir.file("IMG0001.TMP");

    void SetUp() override
    {
        host.texts = {"GAME DISK 1", "", "", "1992", "", ""};
        dir.write("IMG0001.TMP", "");
    }
};

// A 1.44 MB floppy reports 2,847 clusters but has 2,880 sectors; all of
// them must reach the image, or files at the end of a full disk are lost.
// They are read a cylinder (36 sectors, 18 KiB) per request, the window serviced once
// per request.
TEST_F(Creation, CopiesEveryOneOfTheMediumsSectorsBehindTheHeaderACylinderPerRequest)
{
    drive.media['A'] = MemoryDrive::PatternMedium(2880, 512, 1, 2847);
    const TransferResult r = CreateFromDrive(drive, 'A', path, host);
    ASSERT_EQ(r.outcome, kTransferDone) << r.errorText();
    EXPECT_EQ(r.unreadable, 0u);

    const std::string file = dir.read("IMG0001.TMP");
    ASSERT_EQ(file.size(), 1474816u);
    EXPECT_EQ(file.substr(0, 256), HeaderText(BuildHeader(host.texts, 1, 512, 2880)));
    EXPECT_TRUE(file.compare(256, std::string::npos, Bytes(drive.media['A'].bytes)) == 0);
    EXPECT_FALSE(std::filesystem::exists(path + ".map"));

    EXPECT_EQ(host.progressMax, 2880u);
    EXPECT_EQ(host.pumps, 80);
    EXPECT_EQ(CountLogged(drive, "read "), 80);
    EXPECT_TRUE(Logged(drive, "read 2844 36"));
    EXPECT_EQ(host.positions.back(), 0u);
    EXPECT_EQ(host.positions[host.positions.size() - 2], 2844u);
    EXPECT_EQ(drive.log.front(), "alloc A");
    EXPECT_EQ(drive.log[1], "open A r");
    EXPECT_EQ(drive.log[2], "lock");
    EXPECT_EQ(drive.log[drive.log.size() - 2], "unlock");
    EXPECT_EQ(drive.log.back(), "close");
    EXPECT_EQ(drive.openHandles, 0);
}

TEST(ReadRequests, ACylinderForFloppyFormatsAndAMebibyteForTheRest)
{
    EXPECT_EQ(ReadRequestSectors(2880, 512), 36u);
    EXPECT_EQ(ReadRequestSectors(1440, 512), 18u);
    EXPECT_EQ(ReadRequestSectors(2400, 512), 30u);
    EXPECT_EQ(ReadRequestSectors(1232, 1024), 16u);
    EXPECT_EQ(ReadRequestSectors(320, 512), 8u); // single-sided: one track
    EXPECT_EQ(ReadRequestSectors(62521344, 512), 2048u); // a 32 GB card
    EXPECT_EQ(ReadRequestSectors(1u << 20, 4096), 256u);
    EXPECT_EQ(ReadRequestSectors(100, 512), 100u);
}

TEST_F(Creation, Stores720KMediaWholeAndTheReportedClusterSizeWithoutALockOn9x)
{
    drive.ntFamily = false;
    drive.media['A'] = MemoryDrive::PatternMedium(1440, 512, 2, 713);
    ASSERT_EQ(CreateFromDrive(drive, 'A', path, host).outcome, kTransferDone);
    const std::string file = dir.read("IMG0001.TMP");
    ASSERT_EQ(file.size(), 256u + 1440 * 512);
    EXPECT_EQ(file.substr(0, 256), HeaderText(BuildHeader(host.texts, 2, 512, 1440)));
    EXPECT_FALSE(Logged(drive, "lock"));
    EXPECT_FALSE(Logged(drive, "unlock"));
}

TEST_F(Creation, LeavingThePropertyDialogWithoutOkTouchesNothing)
{
    drive.media['A'] = MemoryDrive::PatternMedium(16);
    host.answerOk = false;
    const TransferResult r = CreateFromDrive(drive, 'A', path, host);
    EXPECT_EQ(r.outcome, kTransferNotConfirmed);
    EXPECT_EQ(host.dialogsShown, 1);
    EXPECT_TRUE(drive.log.empty());
    EXPECT_EQ(dir.read("IMG0001.TMP"), "");
}

// Answering No to the unreadable-sector question keeps the old outcome: a
// failed read, nothing after it read, no map.
TEST_F(Creation, AnUnreadableSectorTheUserWillNotKeepStopsTheCopyThere)
{
    drive.media['A'] = MemoryDrive::PatternMedium(100);
    drive.failReadAt = 37;
    const TransferResult r = CreateFromDrive(drive, 'A', path, host);
    EXPECT_EQ(r.outcome, kTransferFailed);
    EXPECT_EQ(r.source, FailureSource::Drive);
    EXPECT_EQ(r.status.error, EIO);
    EXPECT_EQ(host.askedFor, std::vector<std::uint64_t>{37});
    EXPECT_EQ(CountLogged(drive, "read 37"), kReadAttempts);
    EXPECT_FALSE(Logged(drive, "read 38"));
    EXPECT_FALSE(std::filesystem::exists(path + ".map"));
    EXPECT_TRUE(Logged(drive, "unlock"));
    EXPECT_EQ(drive.openHandles, 0);
    EXPECT_EQ(host.positions.back(), 0u);
}

// Bad and weak sectors inside track requests: a weak sector read on its
// second try leaves no hole, one that fails every try is recorded like a
// bad one; the question comes once; every other sector is the medium's.
TEST_F(Creation, KeptUnreadableSectorsAreZeroInTheImageAndExactlyThoseAreInTheMap)
{
    drive.media['A'] = MemoryDrive::PatternMedium(2880);
    drive.badSectors = {20, 21, 40, 2879};
    drive.weakSectors = {{50, 2}, {60, 1 + kReadAttempts}};
    host.keepUnreadable = true;
    const TransferResult r = CreateFromDrive(drive, 'A', path, host);
    ASSERT_EQ(r.outcome, kTransferDone) << r.errorText();
    EXPECT_EQ(r.unreadable, 5u);
    EXPECT_EQ(host.askedFor, std::vector<std::uint64_t>{20});

    std::vector<std::uint8_t> expected = drive.media['A'].bytes;
    for (std::uint64_t s : {20, 21, 40, 60, 2879})
        std::fill_n(expected.begin() + static_cast<std::ptrdiff_t>(s * 512), 512, 0);
    const std::string file = dir.read("IMG0001.TMP");
    ASSERT_EQ(file.size(), 256u + 2880 * 512);
    EXPECT_TRUE(file.compare(256, std::string::npos, Bytes(expected)) == 0);

    const auto map = ParseMapfile(dir.read("IMG0001.TMP.map"), 512, 2880);
    ASSERT_TRUE(map);
    EXPECT_EQ(map->runs(), (std::vector<SectorRun>{{20, 2}, {40, 1}, {60, 1}, {2879, 1}}));
    // Only the requests holding a fault went sector by sector.
    EXPECT_TRUE(Logged(drive, "read 0 36"));
    EXPECT_TRUE(Logged(drive, "read 19"));
    EXPECT_FALSE(Logged(drive, "read 80"));
    EXPECT_TRUE(Logged(drive, "read 72 36"));
    EXPECT_EQ(drive.openHandles, 0);

    // The hashes, worked out beside the copy, are those of the image's data
    // with its holes.
    DataHashes fromFile;
    ASSERT_TRUE(HashImageFile(path, fromFile).ok());
    EXPECT_EQ(r.hashes.size, fromFile.size);
    EXPECT_EQ(r.hashes.crc32, fromFile.crc32);
    EXPECT_EQ(r.hashes.md5, fromFile.md5);
    EXPECT_EQ(r.hashes.sha1, fromFile.sha1);
}

TEST_F(Creation, EscDuringTheSectorBySectorReadingCancels)
{
    drive.media['A'] = MemoryDrive::PatternMedium(2880);
    drive.badSectors = {18, 19, 20, 21, 22};
    host.keepUnreadable = true;
    host.escAtPump = 4; // request 0, then before sectors 1, 2 and 3 of its sector-by-sector reading
    const TransferResult r = CreateFromDrive(drive, 'A', path, host);
    EXPECT_EQ(r.outcome, kTransferCancelled);
    EXPECT_TRUE(Logged(drive, "read 2"));
    EXPECT_FALSE(Logged(drive, "read 3"));
    EXPECT_FALSE(std::filesystem::exists(path + ".map"));
    EXPECT_EQ(drive.openHandles, 0);
}

TEST_F(Creation, ACleanCopyRemovesAMapLeftByAnEarlierFileOfItsName)
{
    dir.write("IMG0001.TMP.map", "stale");
    drive.media['A'] = MemoryDrive::PatternMedium(100);
    ASSERT_EQ(CreateFromDrive(drive, 'A', path, host).outcome, kTransferDone);
    EXPECT_FALSE(std::filesystem::exists(path + ".map"));
}

TEST_F(Creation, EscStopsBeforeTheNextRequestAndWinsOverCompletion)
{
    drive.media['A'] = MemoryDrive::PatternMedium(2880);
    host.escAtPump = 11; // while the progress stands at sector 360
    TransferResult r = CreateFromDrive(drive, 'A', path, host);
    EXPECT_EQ(r.outcome, kTransferCancelled);
    EXPECT_TRUE(Logged(drive, "read 324 36"));
    EXPECT_FALSE(Logged(drive, "read 360 36"));
    EXPECT_EQ(drive.log.back(), "close");
    EXPECT_EQ(drive.openHandles, 0);

    // Esc seen only after the last request was read: still cancelled.
    drive.log.clear();
    host = FakeHost{};
    drive.onSector = [&](std::uint64_t i) { host.cancel = (i == 2844); };
    r = CreateFromDrive(drive, 'A', path, host);
    EXPECT_TRUE(Logged(drive, "read 2844 36"));
    EXPECT_EQ(r.outcome, kTransferCancelled);
}

TEST_F(Creation, DriveFailuresBeforeTheCopyEndAsFailureWithNothingRead)
{
    struct Case {
        const char* what;
        int MemoryDrive::*fault;
        int error;
        const char* lastLog;
        FailureSource source;
    } cases[] = {
        {"allocation", &MemoryDrive::allocationError, ENOMEDIUM, "alloc A", FailureSource::Drive},
        {"open", &MemoryDrive::openError, EACCES, "open A r", FailureSource::Drive},
        {"open of a device held elsewhere", &MemoryDrive::openError, EBUSY, "open A r", FailureSource::DriveInUse},
        {"lock", &MemoryDrive::lockError, EIO, "close", FailureSource::Drive},
        {"lock of a device held elsewhere", &MemoryDrive::lockError, EBUSY, "close", FailureSource::DriveInUse},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        MemoryDrive d;
        d.media['A'] = MemoryDrive::PatternMedium(16);
        d.*c.fault = c.error;
        FakeHost h;
        const TransferResult r = CreateFromDrive(d, 'A', path, h);
        EXPECT_EQ(r.outcome, kTransferFailed);
        EXPECT_EQ(r.source, c.source);
        EXPECT_EQ(r.status.error, c.error);
        EXPECT_EQ(d.log.back(), c.lastLog);
        EXPECT_FALSE(Logged(d, "read 0"));
        EXPECT_FALSE(Logged(d, "unlock"));
        EXPECT_EQ(d.openHandles, 0);

        // Esc pressed before such a failure turns it into a cancellation.
        h = FakeHost{};
        h.cancel = true;
        EXPECT_EQ(CreateFromDrive(d, 'A', path, h).outcome, kTransferCancelled);
    }
}

TEST_F(Creation, RefusesSectorsLargerThanItsBufferBeforeReadingAnything)
{
    for (std::uint32_t bps : {0u, 8193u, 16384u}) {
        SCOPED_TRACE(bps);
        MemoryDrive d;
        d.media['A'] = MemoryDrive::PatternMedium(4, 16384);
        d.media['A'].figures.bytesPerSector = bps;
        d.media['A'].figures.totalSectors = 4;
        FakeHost h;
        EXPECT_EQ(CreateFromDrive(d, 'A', path, h).outcome, kTransferFailed);
        EXPECT_FALSE(Logged(d, "open A r"));
    }
    // The largest sector the buffer holds is copied whole.
    drive.media['A'] = MemoryDrive::PatternMedium(4, 8192);
    ASSERT_EQ(CreateFromDrive(drive, 'A', path, host).outcome, kTransferDone);
    EXPECT_EQ(dir.read("IMG0001.TMP").substr(256), Bytes(drive.media['A'].bytes));
}

TEST_F(Creation, ImageFileFailuresCarryTheSystemsTextAndReleaseTheDrive)
{
    drive.media['A'] = MemoryDrive::PatternMedium(400);

    const TransferResult missing = CreateFromDrive(drive, 'A', dir.file("gone/IMG0002.TMP"), host);
    EXPECT_EQ(missing.outcome, kTransferFailed);
    EXPECT_EQ(missing.source, FailureSource::ImageFile);
    EXPECT_EQ(missing.errorText(), "No such file or directory");
    EXPECT_FALSE(Logged(drive, "read 0"));
    EXPECT_EQ(drive.openHandles, 0);

    // A file-size limit makes the writes fail part way (EFBIG rather than
    // a signal, as the limit's signal is ignored here).
    drive.log.clear();
    struct rlimit old {};
    ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &old), 0);
    auto* previous = std::signal(SIGXFSZ, SIG_IGN);
    struct rlimit small = old;
    small.rlim_cur = 100000;
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
    const TransferResult full = CreateFromDrive(drive, 'A', path, host);
    setrlimit(RLIMIT_FSIZE, &old);
    std::signal(SIGXFSZ, previous);

    EXPECT_EQ(full.outcome, kTransferFailed);
    EXPECT_EQ(full.source, FailureSource::ImageFile);
    EXPECT_EQ(full.errorText(), std::strerror(EFBIG));
    EXPECT_FALSE(Logged(drive, "read 399"));
    EXPECT_EQ(drive.openHandles, 0);
    EXPECT_TRUE(Logged(drive, "unlock"));
}

TEST_F(Creation, AFailedCloseOfTheDriveIsAFailure)
{
    drive.media['A'] = MemoryDrive::PatternMedium(8);
    drive.closeError = EIO;
    const TransferResult r = CreateFromDrive(drive, 'A', path, host);
    EXPECT_EQ(r.outcome, kTransferFailed);
    EXPECT_EQ(r.source, FailureSource::Drive);
}

} // namespace
