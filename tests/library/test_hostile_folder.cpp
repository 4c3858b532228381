// Image folders as users keep them after years: thousands of files, odd
// names, files that change while they are scanned, headers written by other
// programs. The scan lists what it can and never stops.
#include "library/scan.h"

#include "base/cp932.h"
#include "library/imageedit.h"
#include "library/imagefile.h"
#include "support/child.h"
#include "support/tempdir.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <set>
#include <thread>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

using ::testing::ElementsAre;
using ::testing::UnorderedElementsAreArray;

namespace {

using namespace std::chrono_literals;

std::string Image(const std::string& title, const std::string& machine = {}, std::size_t dataBytes = 0)
{
    ImageTexts t;
    t[kTitle] = title;
    t[kTargetMachine] = machine;
    const HeaderBytes h = BuildHeader(t, 1, 512, static_cast<std::uint32_t>(dataBytes / 512));
    return std::string(h.begin(), h.end()) + std::string(dataBytes, '\0');
}

// Faster than streams for thousands of files.
void WriteRaw(const std::string& path, const std::string& bytes)
{
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    ASSERT_GE(fd, 0) << path;
    ASSERT_EQ(::write(fd, bytes.data(), bytes.size()), static_cast<ssize_t>(bytes.size()));
    ::close(fd);
}

std::vector<std::string> Names(const std::vector<LibraryRow>& rows)
{
    std::vector<std::string> names;
    for (const LibraryRow& r : rows)
        names.push_back(r[kFileNameColumn]);
    return names;
}

} // namespace

TEST(HostileFolder, TenThousandFilesAreScannedInWellUnderTheirCount)
{
    TempDir dir;
    TempDir originals; // same file system: the folder holds hard links to these
    std::string wrongMagic = Image("Not an image");
    wrongMagic[4] = 'X';
    const std::string kinds[] = {Image("Image", "PC-98", 512), Image("Short").substr(0, 255), wrongMagic, ""};
    for (std::size_t k = 0; k < 4; ++k)
        WriteRaw(originals.file(std::to_string(k)), kinds[k]);

    std::vector<std::string> images;
    for (int i = 0; i < 10000; ++i) {
        char name[32];
        std::snprintf(name, sizeof name, "IMG%04X.TMP", i);
        ASSERT_EQ(::link(originals.file(std::to_string(i % 4)).c_str(), dir.file(name).c_str()), 0) << name;
        if (i % 4 == 0)
            images.push_back(name);
    }
    const auto start = std::chrono::steady_clock::now();
    std::vector<LibraryRow> rows = ScanImageFolder(dir.path());
    EXPECT_LT(std::chrono::steady_clock::now() - start, 2s);
    EXPECT_THAT(Names(rows), UnorderedElementsAreArray(images));
    for (const LibraryRow& r : rows)
        ASSERT_TRUE(r[kTitle] == "Image" && r[kTargetMachine] == "PC-98") << r[kFileNameColumn];
}

// A row's file name is the only way back to its file: restoration, the
// property command and deletion must reach exactly that file by it.
TEST(HostileFolder, OddNamesAreListedAndReachedByteForByte)
{
    TempDir dir;
    const std::vector<std::string> names = {
        "two words.img",
        "  padded  ",
        "line\nbreak.img",
        "-rf",
        "--help",
        "\xFF\xFE not UTF-8 \x80.img",
        "\x83\x51\x81\x5B\x83\x80.img", // "ゲーム" in code page 932
        "back\\slash.img",
        std::string(250, 'L') + ".img", // 254 bytes, near the file system's limit
    };
    for (std::size_t i = 0; i < names.size(); ++i)
        dir.write(names[i], Image("T" + std::to_string(i), {}, 512));

    const std::vector<LibraryRow> rows = ScanImageFolder(dir.path());
    ASSERT_THAT(Names(rows), UnorderedElementsAreArray(names));

    for (const LibraryRow& row : rows) {
        const std::string& name = row[kFileNameColumn];
        const std::size_t i = static_cast<std::size_t>(std::find(names.begin(), names.end(), name) - names.begin());
        SCOPED_TRACE(i);
        EXPECT_EQ(row[kTitle], "T" + std::to_string(i));
        const std::string path = ImagePath(dir.path(), name);
        HeaderBytes header;
        ASSERT_TRUE(ReadHeaderFile(path, header).ok());
        EXPECT_EQ(DecodeField(header, kTitle), "T" + std::to_string(i));

        ImageHeaderFile edit;
        ASSERT_TRUE(edit.Open(path).ok());
        ASSERT_TRUE(edit.WriteTexts({"E" + std::to_string(i), "", "", "", "", ""}).ok());
        ASSERT_TRUE(edit.Close().ok());
    }
    for (const LibraryRow& row : ScanImageFolder(dir.path()))
        EXPECT_EQ(row[kTitle][0], 'E') << "every file was edited through its own name";

    // Deleting one leaves all the others.
    ASSERT_TRUE(DeleteImageFile(ImagePath(dir.path(), "-rf")).ok());
    ASSERT_TRUE(DeleteImageFile(ImagePath(dir.path(), "line\nbreak.img")).ok());
    std::vector<std::string> left = names;
    std::erase(left, "-rf");
    std::erase(left, "line\nbreak.img");
    EXPECT_THAT(Names(ScanImageFolder(dir.path())), UnorderedElementsAreArray(left));
}

// Files vanish, shrink and come back while scans run: every row listed must
// be a whole header of the file it names, and files left alone are always
// listed.
TEST(HostileFolder, FilesThatVanishOrShrinkDuringTheScanAreSkippedWhole)
{
    TempDir dir;
    TempDir spare; // same file system, outside the scanned folder
    std::vector<std::string> steady, changing;
    for (int i = 0; i < 40; ++i) {
        steady.push_back("steady" + std::to_string(i));
        changing.push_back("changing" + std::to_string(i));
        dir.write(steady.back(), Image(steady.back(), {}, 1024));
        dir.write(changing.back(), Image(changing.back(), {}, 1024));
    }

    std::atomic<bool> stop{false};
    std::thread changer([&] {
        for (unsigned round = 0; !stop; ++round) {
            const std::string& name = changing[round % changing.size()];
            const std::string path = dir.file(name);
            switch (round % 4) {
            case 0: ::truncate(path.c_str(), 100); break;
            case 1: ::unlink(path.c_str()); break;
            default: {
                // Back whole at once: written aside, then renamed in.
                const std::string aside = spare.file(name);
                WriteRaw(aside, Image(name, {}, 1024));
                std::rename(aside.c_str(), path.c_str());
                break;
            }
            }
        }
    });

    const auto until = std::chrono::steady_clock::now() + 700ms;
    int scans = 0;
    while (std::chrono::steady_clock::now() < until || scans < 5) {
        const std::vector<LibraryRow> rows = ScanImageFolder(dir.path());
        ++scans;
        std::set<std::string> listed;
        for (const LibraryRow& r : rows) {
            ASSERT_EQ(r[kTitle], r[kFileNameColumn]) << "a row mixes one file's name with another header";
            listed.insert(r[kFileNameColumn]);
        }
        for (const std::string& name : steady)
            ASSERT_TRUE(listed.count(name)) << name << " missing in scan " << scans;
    }
    stop = true;
    changer.join();
    EXPECT_GE(scans, 5);
}

// Headers written by other programs: fields without their NUL, control
// bytes, bytes that are not code page 932. They are listed with their bytes
// as stored, shown with U+FFFD, and sorted by those bytes.
TEST(HostileFolder, ForeignHeaderTextsAreListedAsStoredAndSortedByBytes)
{
    TempDir dir;
    HeaderBytes noNul = BuildHeader({}, 1, 512, 0);
    for (std::size_t i = 5; i < 244; ++i)
        noNul[i] = 'N'; // every field and its NUL position
    dir.write("no-nul", std::string(noNul.begin(), noNul.end()));

    HeaderBytes control = BuildHeader({"\x01\x02" "Ctl\x07" "A\x1B\x7F", "", "", "", "B", ""}, 1, 512, 0);
    dir.write("control", std::string(control.begin(), control.end()));

    // A lone lead byte, an unassigned byte, and a lead byte with a bad trail.
    ImageTexts bad;
    bad[kTitle] = "\x81" " X\xA0\xFD\x82\x20" "z";
    bad[kTargetMachine] = "\xFF";
    HeaderBytes badCp932 = BuildHeader(bad, 1, 512, 0);
    dir.write("bad-cp932", std::string(badCp932.begin(), badCp932.end()));

    ImageTexts kana;
    kana[kTitle] = "\x83\x51\x81\x5B\x83\x80"; // ゲーム
    kana[kTargetMachine] = "\x82\xA0";          // あ
    HeaderBytes kanaHeader = BuildHeader(kana, 1, 512, 0);
    dir.write("kana", std::string(kanaHeader.begin(), kanaHeader.end()));

    std::vector<LibraryRow> rows = ScanImageFolder(dir.path());
    ASSERT_EQ(rows.size(), 4u);
    RowOrder order = {0, 1, 2, 3};
    SortRowOrder(rows, order, [](const LibraryRow& a, const LibraryRow& b) { return CompareRows(a, b, kTargetMachine, +1); });
    std::vector<LibraryRow> sorted;
    for (std::uint32_t i : order)
        sorted.push_back(rows[i]);
    rows = sorted;
    // Machine bytes "B" < "NNNN..." < 82 A0 < FF, unsigned.
    EXPECT_THAT(Names(rows), ElementsAre("control", "no-nul", "kana", "bad-cp932"));

    EXPECT_EQ(rows[0][kTitle], "Ctl\x07" "A\x1B\x7F"); // DEL is above the blanks
    EXPECT_EQ(rows[1][kTitle], std::string(30, 'N'));
    EXPECT_EQ(rows[1][kYear], "NNNN");
    EXPECT_EQ(rows[3][kTitle], "\x81" " X\xA0\xFD\x82\x20" "z");

    const std::string shown = Cp932ToUtf8(rows[3][kTitle]);
    EXPECT_NE(shown.find("\xEF\xBF\xBD"), std::string::npos);
    EXPECT_NE(shown.find('X'), std::string::npos);
    EXPECT_EQ(shown.back(), 'z');
    EXPECT_EQ(Cp932ToUtf8(rows[2][kTitle]), "ゲーム");
}

// Reading a header opened the path for reading as it was: a FIFO named like
// an image waited for a writer forever.
TEST(HostileFolder, ReadingTheHeaderOfAFifoFailsInsteadOfBlocking)
{
    TempDir dir;
    ASSERT_EQ(mkfifo(dir.file("fifo.img").c_str(), 0644), 0);
    const ChildOutcome child = RunInChild(
        [&] {
            HeaderBytes header;
            return ReadHeaderFile(dir.file("fifo.img"), header).ok() ? 1 : 0;
        },
        5s);
    ASSERT_TRUE(child.finished) << "reading the header blocked on a FIFO";
    EXPECT_EQ(child.exitCode, 0);

    // The property command and deletion leave it alone, without blocking either.
    const ChildOutcome others = RunInChild(
        [&] {
            ImageHeaderFile edit;
            const bool refused = !edit.Open(dir.file("fifo.img")).ok() && !DeleteImageFile(dir.file("fifo.img")).ok();
            return refused ? 0 : 1;
        },
        5s);
    ASSERT_TRUE(others.finished);
    EXPECT_EQ(others.exitCode, 0);
    EXPECT_TRUE(std::filesystem::is_fifo(dir.file("fifo.img")));
}
