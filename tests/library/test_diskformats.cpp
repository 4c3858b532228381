#include "library/sectormap.h"
#include "library/diskconvert.h"
#include "library/diskformats.h"
#include "library/geometry.h"

#include "support/shell.h"
#include "support/tempdir.h"

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <sys/wait.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

namespace {

std::string HeaderString(const HeaderBytes& h) { return std::string(h.begin(), h.end()); }

// An image of the whole medium of geometry g with title and pattern data.
std::string MakeImage(const TempDir& dir, const DiskGeometry& g, const std::string& title, const std::string& name)
{
    ImageTexts texts;
    texts[kTitle] = title;
    const std::string data = PseudoRandomBytes(static_cast<std::size_t>(g.Bytes()), g.sectorsPerTrack);
    dir.write(name, HeaderString(BuildHeader(texts, 1, g.bytesPerSector, static_cast<std::uint32_t>(g.SectorCount()))) + data);
    return dir.file(name);
}

std::vector<std::uint8_t> Bytes(const std::string& s) { return {s.begin(), s.end()}; }

std::uint32_t Le32(const std::string& s, std::size_t at)
{
    std::uint32_t v = 0;
    for (int i = 3; i >= 0; --i)
        v = v << 8 | static_cast<std::uint8_t>(s[at + static_cast<std::size_t>(i)]);
    return v;
}

} // namespace

TEST(Geometry, NamesEachKnownSizeAndNothingElse)
{
    for (const DiskGeometry& g : KnownGeometries()) {
        EXPECT_EQ(GeometryForSize(g.Bytes(), g.bytesPerSector), &g) << g.name;
        EXPECT_EQ(GeometryForRawFile(g.Bytes(), "img"), &g) << g.name;
        EXPECT_EQ(128u << g.SizeCode(), g.bytesPerSector);
    }
    EXPECT_EQ(GeometryForSize(1'261'568, 1024)->cylinders, 77u);
    EXPECT_EQ(GeometryForSize(1'474'560, 512)->sectorsPerTrack, 18u);
    EXPECT_EQ(GeometryForSize(1'474'560, 1024), nullptr); // same size, other sectors
    EXPECT_EQ(GeometryForSize(2847 * 512, 512), nullptr);
    EXPECT_EQ(GeometryForRawFile(1'474'560, "xdf"), nullptr); // an XDF is the 1 MB 2HD
    EXPECT_EQ(GeometryForRawFile(1'261'568, "xdf")->bytesPerSector, 1024u);
    EXPECT_EQ(ExtensionOf("/a.b/DISK.HDM"), "hdm");
    EXPECT_EQ(ExtensionOf("/a.b/DISK"), "");
}

// medium -> image -> each format -> import -> image: identical sectors, whole count.
TEST(DiskFormats, EveryGeometryRoundTripsThroughEveryFormat)
{
    for (const DiskGeometry& g : KnownGeometries()) {
        TempDir dir;
        ASSERT_EQ(mkdir(dir.file("lib").c_str(), 0777), 0);
        const std::string image = MakeImage(dir, g, "ROUND TRIP", "src.img");
        const std::string data = dir.read("src.img").substr(kImageHeaderSize);
        for (DiskFormat f : {DiskFormat::Raw, DiskFormat::Fdi, DiskFormat::Dim, DiskFormat::D88}) {
            const std::string target = dir.file("out." + std::string(FormatExtension(f, &g)));
            const ConvertResult exported = ExportImage(image, f, target, {}, false);
            if (f == DiskFormat::Dim && g.dimType < 0) {
                EXPECT_EQ(exported.problem, MessageId::DimCannotHold);
                EXPECT_EQ(exported.arg, g.name);
                continue;
            }
            ASSERT_TRUE(exported.ok()) << g.name << ": " << exported.text(MessageCatalogue());
            ForeignFile file;
            ASSERT_TRUE(ReadForeignFile(target, file).ok()) << g.name;
            EXPECT_EQ(file.format, f);
            ASSERT_EQ(file.disks.size(), 1u);
            EXPECT_EQ(file.disks[0].disk.geometry, &g) << g.name << " via " << target;
            std::string made;
            ASSERT_TRUE(WriteImportedImage(dir.file("lib"), file.disks[0], {}, made).ok());
            const std::string back = dir.read(made.substr(dir.path().size() + 1));
            EXPECT_EQ(Le32(back, 252), g.SectorCount()) << g.name;
            EXPECT_EQ(Le32(back, 248), g.bytesPerSector);
            EXPECT_TRUE(back.substr(kImageHeaderSize) == data) << g.name << " via " << target;
            std::remove(made.c_str());
            std::remove(target.c_str());
        }
    }
}

// MAME's floptool as an outside reader of what we write, and as a writer of
// raw files we must read.
TEST(DiskFormats, FloptoolReadsOurFilesAndWeReadItsFiles)
{
    int status = 0;
    ShellOutput("floptool version 2>&1", &status);
    if (status != 0)
        GTEST_SKIP() << "floptool (Debian package mame-tools) is not installed";
    TempDir dir;
    ASSERT_EQ(mkdir(dir.file("lib").c_str(), 0777), 0);
    const DiskGeometry& g98 = *GeometryForSize(1'261'568, 1024);
    const std::string image = MakeImage(dir, g98, "ORACLE", "src.img");
    const std::string data = dir.read("src.img").substr(kImageHeaderSize);
    struct Case {
        DiskFormat format;
        const char* ext;
        const char* name; // what floptool calls it
    };
    for (const Case& c : {Case{DiskFormat::D88, "d88", "d88"}, Case{DiskFormat::Fdi, "fdi", "pc98_fdi"},
                          Case{DiskFormat::Dim, "dim", "dim"}, Case{DiskFormat::Raw, "xdf", "xdf"}}) {
        const std::string file = dir.file(std::string("out.") + c.ext);
        ASSERT_TRUE(ExportImage(image, c.format, file, {}, false).ok());
        const std::string id = ShellOutput("floptool identify " + file + " 2>&1", &status);
        EXPECT_NE(id.find(std::string(c.name) + " "), std::string::npos) << id;
        const std::string raw = dir.file(std::string("back-") + c.ext + ".hdm");
        const std::string conv = ShellOutput(std::string("floptool flopconvert ") + c.name + " pc98 " + file + " " + raw + " 2>&1", &status);
        ASSERT_EQ(status, 0) << conv;
        EXPECT_TRUE(dir.read(std::string("back-") + c.ext + ".hdm") == data) << c.name;
        // What floptool wrote is a PC-98 raw file to our importer.
        ForeignFile written;
        ASSERT_TRUE(ReadForeignFile(raw, written).ok()) << c.name;
        ASSERT_EQ(written.disks.size(), 1u);
        EXPECT_EQ(written.disks[0].disk.geometry, &g98) << c.name;
        std::string made;
        ASSERT_TRUE(WriteImportedImage(dir.file("lib"), written.disks[0], {}, made).ok());
        EXPECT_TRUE(dir.read(made.substr(dir.path().size() + 1)).substr(kImageHeaderSize) == data) << c.name;
        std::remove(made.c_str());
    }

    // A 720 KB D88 back to a PC raw file by floptool, and that file imported
    // by us. (floptool lays a 2HD D88 out for a 5.25" drive, where 18
    // sectors do not fit, so the 1.44 MB disk cannot go this way.)
    const DiskGeometry& g720 = *GeometryForSize(737'280, 512);
    const std::string image720 = MakeImage(dir, g720, "ORACLE", "src720.img");
    ASSERT_TRUE(ExportImage(image720, DiskFormat::D88, dir.file("720.d88"), {}, false).ok());
    const std::string conv = ShellOutput("floptool flopconvert d88 pc " + dir.file("720.d88") + " " + dir.file("720.img") + " 2>&1", &status);
    ASSERT_EQ(status, 0) << conv;
    ForeignFile foreign;
    ASSERT_TRUE(ReadForeignFile(dir.file("720.img"), foreign).ok());
    EXPECT_EQ(foreign.disks[0].disk.geometry, &g720);
    std::string made;
    ASSERT_TRUE(WriteImportedImage(dir.file("lib"), foreign.disks[0], {}, made).ok());
    EXPECT_TRUE(dir.read(made.substr(dir.path().size() + 1)).substr(kImageHeaderSize) ==
                dir.read("src720.img").substr(kImageHeaderSize));
}

TEST(DiskFormats, D88HeaderSectorHeadersAndUnreadableSectors)
{
    TempDir dir;
    const DiskGeometry& g = *GeometryForSize(1'261'568, 1024);
    // 15 ASCII bytes and a double-byte character (0x83 0x41): the name keeps 15 bytes.
    const std::string image = MakeImage(dir, g, "ABCDEFGHIJKLMNO\x83\x41", "src.img");
    const std::vector<std::uint64_t> bad{0, 17, 1231};
    ASSERT_TRUE(ExportImage(image, DiskFormat::D88, dir.file("out.d88"), bad, false).ok());
    const std::string d88 = dir.read("out.d88");
    const std::size_t track = 8 * (16 + 1024);
    ASSERT_EQ(d88.size(), 0x2B0 + 154 * track);
    EXPECT_EQ(d88.substr(0, 17), std::string("ABCDEFGHIJKLMNO\0\0", 17));
    EXPECT_EQ(d88[0x1A], 0);       // not write-protected
    EXPECT_EQ(d88[0x1B], '\x20');  // 2HD
    EXPECT_EQ(Le32(d88, 0x1C), d88.size());
    EXPECT_EQ(Le32(d88, 0x20), 0x2B0u);
    EXPECT_EQ(Le32(d88, 0x24), 0x2B0 + track);
    EXPECT_EQ(Le32(d88, 0x20 + 4 * 153), 0x2B0 + 153 * track);
    EXPECT_EQ(Le32(d88, 0x20 + 4 * 154), 0u);
    // Sector 17 is cylinder 1, head 0, R 2.
    const std::size_t at = 0x2B0 + 2 * track + 1 * (16 + 1024);
    EXPECT_EQ(d88.substr(at, 16), std::string("\x01\x00\x02\x03\x08\x00\x00\x00\xB0\0\0\0\0\0\x00\x04", 16));
    int marked = 0;
    for (std::size_t s = 0; s < g.SectorCount(); ++s) {
        const char status = d88[0x2B0 + s * (16 + 1024) + 8];
        const bool isBad = s == 0 || s == 17 || s == 1231;
        EXPECT_EQ(status, isBad ? '\xB0' : '\0') << s;
        marked += isBad;
    }
    EXPECT_EQ(marked, 3);

    // Back in: the marked sectors become the map beside the new image.
    ForeignFile file;
    ASSERT_TRUE(ReadForeignFile(dir.file("out.d88"), file).ok());
    EXPECT_EQ(file.disks[0].disk.unreadable, bad);
    EXPECT_EQ(file.disks[0].suggestedTitle, "ABCDEFGHIJKLMNO");
    std::string made;
    ASSERT_TRUE(WriteImportedImage(dir.path(), file.disks[0], {}, made).ok());
    const std::string map = dir.read(made.substr(dir.path().size() + 1) + ".map");
    EXPECT_NE(map.find("0x00000000  0x00000400  -\n0x00000400  0x00004000  +\n0x00004400  0x00000400  -\n"),
              std::string::npos)
        << map;
    EXPECT_EQ(ParseMapfile(map, 1024, g.SectorCount())->Sectors(), bad);
}

TEST(DiskFormats, SeveralDisksInOneD88FileBecomeSeveralImages)
{
    TempDir dir;
    const DiskGeometry& g = *GeometryForSize(327'680, 256);
    MakeImage(dir, g, "DISK A", "a.img");
    ASSERT_TRUE(ExportImage(dir.file("a.img"), DiskFormat::D88, dir.file("a.d88"), {}, false).ok());
    const std::string second = dir.read("a.img").substr(kImageHeaderSize, 4096);
    std::string d88 = dir.read("a.d88");
    // A second disk with only its first track, sectors in reverse order.
    std::string disk2(0x2B0, '\0');
    std::memcpy(disk2.data(), "DISK B", 6);
    disk2[0x1B] = '\x00';
    disk2[0x20] = '\xB0';
    disk2[0x21] = '\x02';
    for (int r = 16; r >= 1; --r) {
        std::string h(16, '\0');
        h[2] = static_cast<char>(r);
        h[3] = 1;
        h[4] = 16;
        h[14] = 0;
        h[15] = 1;
        disk2 += h + second.substr(static_cast<std::size_t>(r - 1) * 256, 256);
    }
    const std::uint32_t size = static_cast<std::uint32_t>(disk2.size());
    std::memcpy(&disk2[0x1C], &size, 4);
    dir.write("two.d88", d88 + disk2);

    ForeignFile file;
    ASSERT_TRUE(ReadForeignFile(dir.file("two.d88"), file).ok());
    ASSERT_EQ(file.disks.size(), 2u);
    EXPECT_EQ(file.disks[0].suggestedTitle, "DISK A");
    EXPECT_EQ(file.disks[1].suggestedTitle, "DISK B");
    const DecodedDisk& b = file.disks[1].disk;
    EXPECT_EQ(b.cylinders, 1u);
    EXPECT_EQ(b.sectorsPerTrack, 16u);
    EXPECT_EQ(b.geometry, nullptr); // one cylinder: no known floppy
    EXPECT_TRUE(std::string(b.data.begin(), b.data.begin() + 4096) == second);
    // Head 1 of cylinder 0 is not in the file: unreadable, not silently zero.
    ASSERT_EQ(b.unreadable.size(), 16u);
    EXPECT_EQ(b.unreadable.front(), 16u);
}

// A batch of imports: no image carries its header (so none is listed)
// before Finish has flushed the sectors; Finish makes every image whole with
// its map; a batch given up before Finish leaves nothing behind.
TEST(DiskFormats, ImportBatchListsItsImagesOnlyWhenFinished)
{
    TempDir dir;
    const DiskGeometry& g = *GeometryForSize(655'360, 512);
    MakeImage(dir, g, "BATCH", "src.img");
    const std::vector<std::uint64_t> bad{3};
    ASSERT_TRUE(ExportImage(dir.file("src.img"), DiskFormat::D88, dir.file("src.d88"), bad, false).ok());
    ForeignFile file;
    ASSERT_TRUE(ReadForeignFile(dir.file("src.d88"), file).ok());
    ASSERT_EQ(mkdir(dir.file("lib").c_str(), 0777), 0);
    const std::string data = dir.read("src.img").substr(kImageHeaderSize);
    const auto FileText = [&](const std::string& path) { return dir.read(path.substr(dir.path().size() + 1)); };
    std::vector<std::string> made(2);
    {
        ImportBatch batch(dir.file("lib"));
        for (std::string& image : made)
            ASSERT_TRUE(batch.Add(file.disks[0], {}, image).ok());
        for (const std::string& image : made) {
            const std::string bytes = FileText(image);
            EXPECT_EQ(bytes.substr(0, kImageHeaderSize), std::string(kImageHeaderSize, '\0')) << "no magic yet";
            EXPECT_TRUE(bytes.substr(kImageHeaderSize) == data);
        }
        ASSERT_TRUE(batch.Finish().ok());
    }
    for (const std::string& image : made) {
        const std::string bytes = FileText(image);
        ASSERT_TRUE(IsImageHeader(reinterpret_cast<const std::uint8_t*>(bytes.data()), kImageHeaderSize)) << image;
        EXPECT_TRUE(std::filesystem::exists(MapPathOf(image)));
    }
    EXPECT_EQ(FilesIn(dir.file("lib")), 4);
    {
        ImportBatch abandoned(dir.file("lib"));
        std::string image;
        ASSERT_TRUE(abandoned.Add(file.disks[0], {}, image).ok());
    }
    EXPECT_EQ(FilesIn(dir.file("lib")), 4) << "an unfinished batch takes its image and map away";
}

TEST(DiskFormats, BrokenFilesGiveOneClearErrorAndWriteNothing)
{
    TempDir dir;
    const DiskGeometry& g = *GeometryForSize(737'280, 512);
    MakeImage(dir, g, "X", "a.img");
    ASSERT_TRUE(ExportImage(dir.file("a.img"), DiskFormat::D88, dir.file("good.d88"), {}, false).ok());
    const std::string good = dir.read("good.d88");
    auto with = [&](std::size_t at, std::string bytes) {
        std::string s = good;
        s.replace(at, bytes.size(), bytes);
        return s;
    };
    struct Case {
        std::string name, bytes, error;
    };
    const std::size_t sector = 16 + 512;
    const Case cases[] = {
        {"cut.d88", good.substr(0, 0x100), "disk 1: the D88 header is cut off (256 of 688 bytes)"},
        {"size.d88", good.substr(0, good.size() - 1), "disk 1: disk size 0xB9CB0 runs past the end of the file (0xB9CAF bytes left)"},
        {"past.d88", with(0x24, std::string("\x00\x00\x10\x00", 4)), "disk 1: track 1 offset 0x100000 points past the end of the disk (0xB9CB0)"},
        {"into.d88", with(0x24, std::string("\x00\x01\x00\x00", 4)), "disk 1: track 1 offset 0x100 points into the header"},
        {"n.d88", with(0x2B0 + 3 * sector + 3, "\x03"), "disk 1: track 0 sector 4: data size 512 does not match N=3"},
        {"media.d88", with(0x1B, "\x55"), "disk 1: unknown media type 0x55"},
        {"short.fdi", std::string(20, '\0'), "the FDI header is cut off (20 bytes)"},
        {"nodim.dim", std::string(300, '\0'), "no DIM signature at 0xAB"},
        {"text.txt", "hello", ""},
    };
    ASSERT_EQ(mkdir(dir.file("lib").c_str(), 0777), 0);
    for (const Case& c : cases) {
        dir.write(c.name, c.bytes);
        ForeignFile file;
        const ConvertResult r = ReadForeignFile(dir.file(c.name), file);
        // Not a known format at all, or one of them damaged: the decoder says where.
        EXPECT_EQ(r.problem, c.error.empty() ? MessageId::UnknownFormat : MessageId::DamagedFile) << c.name;
        EXPECT_EQ(r.detail, c.error) << c.name;
        EXPECT_TRUE(file.disks.empty());
    }
    EXPECT_EQ(FilesIn(dir.file("lib")), 0);
    // A FDI whose geometry disagrees with its data size.
    std::string fdi(4096 + 1024, '\0');
    const std::uint32_t fields[] = {0, 0x90, 4096, 1024, 512, 1, 1, 1};
    std::memcpy(fdi.data(), fields, sizeof fields);
    EXPECT_EQ(DecodeFdi(Bytes(fdi)).error, "data size 1024 is not cylinders x heads x sectors x bytes (512)");
}

TEST(DiskFormats, ExportNeverReplacesAFileUnasked)
{
    TempDir dir;
    const DiskGeometry& g = *GeometryForSize(655'360, 512);
    MakeImage(dir, g, "X", "a.img");
    dir.write("out.d88", "keep me");
    const ConvertResult refused = ExportImage(dir.file("a.img"), DiskFormat::D88, dir.file("out.d88"), {}, false);
    EXPECT_EQ(refused.io.error, EEXIST);
    EXPECT_EQ(dir.read("out.d88"), "keep me");
    ASSERT_TRUE(ExportImage(dir.file("a.img"), DiskFormat::D88, dir.file("out.d88"), {}, true).ok());
    EXPECT_EQ(dir.read("out.d88").size(), 0x2B0 + 1280 * (16 + 512));
    EXPECT_EQ(FilesIn(dir.path()), 2); // no leftover temporary file

    // An image of no known geometry goes out as raw only, and says why otherwise.
    ImageTexts texts;
    dir.write("odd.img", HeaderString(BuildHeader(texts, 1, 512, 2847)) + std::string(2847 * 512, 'x'));
    const ConvertResult odd = ExportImage(dir.file("odd.img"), DiskFormat::Fdi, dir.file("odd.fdi"), {}, false);
    EXPECT_EQ(odd.problem, MessageId::UnknownGeometry);
    EXPECT_EQ(odd.text(MessageCatalogue::Load("/nonexistent/tessarine")),
              dir.file("odd.img") + " のジオメトリは不明です。ローデータとしてのみ扱います。 (2847 x 512)");
    EXPECT_TRUE(ExportImage(dir.file("odd.img"), DiskFormat::Raw, dir.file("odd.raw.img"), {}, false).ok());
    EXPECT_EQ(dir.read("odd.raw.img"), std::string(2847 * 512, 'x'));
}
