// Media of every known floppy geometry read into images by the creation
// command, then through every emulator format and back in: what the drive
// gave is what the imported image holds, and sectors the drive could not
// read stay marked all the way.
#include <filesystem>
#include <fstream>
#include <iterator>

#include <gtest/gtest.h>

#include "command/commands.h"
#include "command/scripted_host.h"
#include "library/diskconvert.h"
#include "library/geometry.h"
#include "library/imageexchange.h"
#include "media/memory_drive.h"
#include "support/tempdir.h"

namespace {

namespace fs = std::filesystem;

std::string FileText(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

ImageHeader HeaderOf(const std::string& image)
{
    HeaderBytes bytes{};
    const std::string text = FileText(image);
    std::copy_n(text.begin(), std::min(text.size(), bytes.size()), bytes.begin());
    return ReadHeader(bytes);
}

} // namespace

TEST(MediumExchange, EveryGeometryGoesFromTheDriveThroughEveryFormatAndBack)
{
    for (const DiskGeometry& g : KnownGeometries()) {
        SCOPED_TRACE(g.name);
        TempDir dir;
        fs::create_directories(dir.file("lib"));
        MemoryDrive memory;
        memory.media['A'] = MemoryDrive::PatternMedium(g.SectorCount(), g.bytesPerSector);
        // Two sectors the drive cannot read, one in the first track and one
        // on the second head; the user keeps them as holes.
        const std::vector<std::uint64_t> bad{3, g.sectorsPerTrack + 1};
        memory.badSectors = {bad.begin(), bad.end()};
        ScriptedHost host;
        host.texts = {"MEDIUM", "", "", "", "", ""};
        host.answers = {mb::IDYES};
        const DriveFactory drives = [&memory] { return std::make_unique<SharedDrive>(memory); };
        const CommandResult created = CreateImageCommand(host, drives, "A", dir.path());
        ASSERT_EQ(created.outcome, CommandOutcome::Done);

        // The image holds the whole medium, the holes as zeros and in its map.
        const ImageHeader header = HeaderOf(created.path);
        EXPECT_EQ(header.sectorCount, g.SectorCount());
        EXPECT_EQ(header.bytesPerSector, g.bytesPerSector);
        const std::string data = FileText(created.path).substr(kImageHeaderSize);
        std::string expected(memory.media['A'].bytes.begin(), memory.media['A'].bytes.end());
        for (std::uint64_t s : bad)
            expected.replace(s * g.bytesPerSector, g.bytesPerSector, g.bytesPerSector, '\0');
        ASSERT_TRUE(data == expected);
        std::vector<std::uint64_t> mapped;
        ASSERT_TRUE(MappedSectors(created.path, header, mapped).ok());
        EXPECT_EQ(mapped, bad);

        for (DiskFormat f : {DiskFormat::Raw, DiskFormat::Fdi, DiskFormat::Dim, DiskFormat::D88}) {
            const std::string target = dir.file("out." + std::string(FormatExtension(f, &g)));
            SCOPED_TRACE(target);
            const ConvertResult exported = ExportImage(created.path, f, target, mapped, false);
            if (f == DiskFormat::Dim && g.dimType < 0) {
                EXPECT_FALSE(exported.ok());
                EXPECT_FALSE(fs::exists(target));
                continue;
            }
            ASSERT_TRUE(exported.ok()) << exported.text(MessageCatalogue());
            ForeignFile file;
            ASSERT_TRUE(ReadForeignFile(target, file).ok());
            ASSERT_EQ(file.disks.size(), 1u);
            EXPECT_EQ(file.disks[0].disk.geometry, &g);
            // Only D88 has a place for a sector's error.
            EXPECT_EQ(file.disks[0].disk.unreadable, f == DiskFormat::D88 ? bad : std::vector<std::uint64_t>{});
            std::string made;
            ASSERT_TRUE(WriteImportedImage(dir.file("lib"), file.disks[0], SuggestedTexts(file.disks[0]), made).ok());
            EXPECT_EQ(HeaderOf(made).sectorCount, g.SectorCount());
            EXPECT_TRUE(FileText(made).substr(kImageHeaderSize) == data);
            std::vector<std::uint64_t> back;
            ASSERT_TRUE(MappedSectors(made, HeaderOf(made), back).ok());
            EXPECT_EQ(back, f == DiskFormat::D88 ? bad : std::vector<std::uint64_t>{});
            fs::remove(made);
            fs::remove(made + ".map");
        }
    }
}
