// Creation and restoration over real host drives (media files, and loop
// devices when running as root), judged by outside tools: a FAT12 floppy
// full to its last cluster goes into an image and back onto a blank medium,
// then fsck.fat finds nothing and mcopy reads every file back unchanged.
#include <filesystem>

#include <gtest/gtest.h>

#include "library/newname.h"
#include "media/create.h"
#include "media/fake_host.h"
#include "media/fatmedia.h"
#include "media/restore.h"
#include "media/virtual_drive.h"
#include "support/tempdir.h"

namespace {

class MediaRoundTrip : public ::testing::TestWithParam<FatGeometry> {
protected:
    TempDir dir;
    std::string original = dir.file("original.fd");
    std::string blank = dir.file("blank.fd");
    std::map<std::string, std::string> files;
    FakeHost host;

    void SetUp() override
    {
        if (std::string why = FatToolsMissing(); !why.empty())
            GTEST_SKIP() << why;
        std::string error;
        files = MakeFullFatMedium(dir, "original.fd", GetParam(), &error);
        ASSERT_FALSE(files.empty()) << error;
        dir.write("blank.fd", "");
        std::filesystem::resize_file(blank, std::uint64_t{GetParam().sectors} * 512);
        host.texts = {"\x83\x51\x81\x5B\x83\x80 DISK 1", "(C) 1992", "", "1992", "PC-9801", "MS-DOS"};
    }

    // Creates an image from drive A, checks it, restores it onto drive B.
    void RoundTrip(DriveAccess& drive)
    {
        const FatGeometry& g = GetParam();
        int error = 0;
        const std::string image = NewImageFileName(dir.path(), error);
        ASSERT_FALSE(image.empty()) << error;

        const TransferResult made = CreateFromDrive(drive, 'A', image, host);
        ASSERT_EQ(made.outcome, kTransferDone) << made.errorText();
        ASSERT_EQ(std::filesystem::file_size(image), 256 + std::uint64_t{g.sectors} * 512);
        const std::string bytes = dir.read(std::filesystem::path(image).filename().string());
        HeaderBytes header{};
        std::copy_n(bytes.begin(), header.size(), header.begin());
        const ImageHeader h = ReadHeader(header);
        EXPECT_EQ(h.texts, host.texts);
        EXPECT_EQ(h.sectorsPerCluster, g.clusterBytes / 512);
        EXPECT_EQ(h.bytesPerSector, 512u);
        EXPECT_EQ(h.sectorCount, g.sectors);

        const TransferResult written = RestoreToDrive(drive, 'B', image, host);
        ASSERT_EQ(written.outcome, kTransferDone) << written.errorText();
    }

    void ExpectBlankNowHoldsTheFiles()
    {
        std::string why;
        EXPECT_TRUE(FatMediumHolds(blank, files, &why)) << why;
        EXPECT_TRUE(dir.read("blank.fd") == dir.read("original.fd"));
    }
};

TEST_P(MediaRoundTrip, OverMediaFiles)
{
    auto drive = DrivesOver({{'A', original}, {'B', blank}});
    RoundTrip(*drive);
    ExpectBlankNowHoldsTheFiles();
}

TEST_P(MediaRoundTrip, OverLoopDevices)
{
    if (std::string why = LoopDevicesUnavailable(); !why.empty())
        GTEST_SKIP() << why;
    {
        LoopDevice a(original);
        LoopDevice b(blank);
        if (a.path().empty() || b.path().empty())
            GTEST_SKIP() << a.error() << b.error();
        auto drive = DrivesOver({{'A', a.path()}, {'B', b.path()}});
        RoundTrip(*drive);
    }
    ExpectBlankNowHoldsTheFiles();
}

INSTANTIATE_TEST_SUITE_P(Floppies, MediaRoundTrip, ::testing::Values(kFloppy1440, kFloppy720),
                         [](const auto& info) { return std::string(info.param.kilobytes == 1440 ? "HD" : "DD"); });

} // namespace
