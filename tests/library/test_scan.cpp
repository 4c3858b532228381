#include "library/scan.h"

#include "support/child.h"
#include "support/tempdir.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstring>
#include <grp.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

using ::testing::ElementsAre;
using ::testing::IsEmpty;
using ::testing::UnorderedElementsAre;

namespace {

std::string Header(const std::string& title, const std::string& machine = {})
{
    ImageTexts t;
    t[kTitle] = title;
    t[kTargetMachine] = machine;
    HeaderBytes h = BuildHeader(t, 1, 512, 0);
    return std::string(h.begin(), h.end());
}

std::vector<std::string> Names(const std::vector<LibraryRow>& rows)
{
    std::vector<std::string> names;
    for (const LibraryRow& r : rows)
        names.push_back(r[kFileNameColumn]);
    return names;
}

LibraryRow Row(std::string title, std::string machine, std::string file, std::string year = {})
{
    LibraryRow r;
    r[kTitle] = std::move(title);
    r[kYear] = std::move(year);
    r[kTargetMachine] = std::move(machine);
    r[kFileNameColumn] = std::move(file);
    return r;
}

// Runs the scan in a child process, so that a scan that blocks fails the test
// after the timeout instead of hanging it. With dropRoot the child first
// becomes an unprivileged user, for whom permission bits count.
struct ChildScan {
    bool finished = false;
    std::string skipReason;
    std::vector<std::string> names;
};

ChildScan ScanInChild(const std::string& folder, bool dropRoot, std::chrono::milliseconds timeout)
{
    ChildScan result;
    int fds[2];
    if (pipe(fds) != 0)
        return result;
    // The child's few lines fit the pipe's buffer: it never waits for a reader.
    const ChildOutcome child = RunInChild(
        [&] {
            std::string out;
            if (dropRoot && (setgroups(0, nullptr) != 0 || setresgid(65534, 65534, 65534) != 0 ||
                             setresuid(65534, 65534, 65534) != 0)) {
                out = std::string("S") + "cannot drop to an unprivileged user: " + std::strerror(errno);
            } else if (access(folder.c_str(), R_OK | X_OK) != 0) {
                out = "Sthe test folder is not reachable for the unprivileged user";
            } else {
                out = "R";
                for (const LibraryRow& row : ScanImageFolder(folder))
                    out += row[kFileNameColumn] + '\n';
            }
            ssize_t ignored = write(fds[1], out.data(), out.size());
            (void)ignored;
            return 0;
        },
        timeout);
    close(fds[1]);
    result.finished = child.finished;
    std::string in;
    char buf[512];
    for (ssize_t n; (n = read(fds[0], buf, sizeof buf)) > 0;)
        in.append(buf, static_cast<std::size_t>(n));
    close(fds[0]);
    if (in.starts_with("S")) {
        result.skipReason = in.substr(1);
    } else if (in.starts_with("R")) {
        for (std::size_t pos = 1, nl; (nl = in.find('\n', pos)) != std::string::npos; pos = nl + 1)
            result.names.push_back(in.substr(pos, nl - pos));
    }
    return result;
}

} // namespace

TEST(Scan, PreparedFolderListsOnlyImages)
{
    TempDir dir;
    dir.write("exact.img", Header("  Two  words  ")); // 256 bytes, no sector data
    dir.write("big.bin", Header("Big") + std::string(1024, '\xAA'));
    dir.write(".hidden", Header("Hidden"));
    dir.write(" spaced ", Header("Spaced")); // names are shown as listed, untrimmed
    dir.write("short.img", Header("Short").substr(0, 255));
    std::string wrongFifth = Header("Wrong");
    wrongFifth[4] = 'X';
    dir.write("fifth.img", wrongFifth);
    std::string lower = Header("Lower");
    lower.replace(1, 3, "img");
    dir.write("lower.img", lower);
    dir.write("empty.img", "");
    ASSERT_EQ(mkdir(dir.file("folder.img").c_str(), 0755), 0);
    dir.write("folder.img/inner.img", Header("Inner")); // no descent into folders
    ASSERT_EQ(symlink("exact.img", dir.file("link.img").c_str()), 0);
    ASSERT_EQ(symlink("folder.img", dir.file("dirlink.img").c_str()), 0);
    ASSERT_EQ(symlink("nowhere.img", dir.file("dangling.img").c_str()), 0);
    ASSERT_EQ(symlink("loop.img", dir.file("loop.img").c_str()), 0);

    std::vector<LibraryRow> rows = ScanImageFolder(dir.path());
    // A link to an image is a regular file to the scan; it shows the link's name.
    EXPECT_THAT(Names(rows), UnorderedElementsAre("exact.img", "big.bin", ".hidden", " spaced ", "link.img"));

    auto exact = std::find_if(rows.begin(), rows.end(), [](const LibraryRow& r) { return r[6] == "exact.img"; });
    ASSERT_NE(exact, rows.end());
    EXPECT_EQ((*exact)[kTitle], "Two  words");
    EXPECT_EQ((*exact)[kCopyright], "");

    // The folder may be given with or without its trailing separator.
    EXPECT_EQ(ScanImageFolder(dir.path() + "/"), rows);
}

TEST(Scan, MissingEmptyOrNonFolderGivesNoRows)
{
    TempDir dir;
    EXPECT_THAT(ScanImageFolder(dir.path()), IsEmpty());
    EXPECT_THAT(ScanImageFolder(dir.file("missing")), IsEmpty());
    dir.write("plain.img", Header("Plain"));
    EXPECT_THAT(ScanImageFolder(dir.file("plain.img")), IsEmpty());
    EXPECT_EQ(ImagePath(dir.path(), "plain.img"), ImagePath(dir.path() + "/", "plain.img"));
}

TEST(Scan, UnreadableFileIsSkipped)
{
    TempDir dir;
    dir.write("readable.img", Header("Readable"));
    dir.write("locked.img", Header("Locked"));
    ASSERT_EQ(chmod(dir.file("locked.img").c_str(), 0), 0);
    ASSERT_EQ(chmod(dir.path().c_str(), 0755), 0);
    ASSERT_EQ(chmod(dir.file("readable.img").c_str(), 0644), 0);

    // Root reads files whatever their permission bits, so the scan then runs
    // as an unprivileged user.
    ChildScan scan = ScanInChild(dir.path(), geteuid() == 0, std::chrono::seconds(20));
    if (!scan.skipReason.empty())
        GTEST_SKIP() << scan.skipReason;
    ASSERT_TRUE(scan.finished);
    EXPECT_THAT(scan.names, ElementsAre("readable.img"));
}

TEST(Scan, SpecialFilesAreSkippedWithoutBlocking)
{
    TempDir dir;
    dir.write("real.img", Header("Real"));
    // A FIFO named like an image: opening or reading it would wait for a writer.
    ASSERT_EQ(mkfifo(dir.file("fifo.img").c_str(), 0644), 0);
    ASSERT_EQ(symlink("fifo.img", dir.file("fifolink.img").c_str()), 0);

    int sock = socket(AF_UNIX, SOCK_STREAM, 0);
    ASSERT_GE(sock, 0);
    sockaddr_un addr{};
    addr.sun_family = AF_UNIX;
    std::string sockPath = dir.file("sock.img");
    if (sockPath.size() < sizeof addr.sun_path) {
        std::memcpy(addr.sun_path, sockPath.c_str(), sockPath.size() + 1);
        EXPECT_EQ(bind(sock, reinterpret_cast<sockaddr*>(&addr), sizeof addr), 0);
    }

    ChildScan scan = ScanInChild(dir.path(), false, std::chrono::seconds(10));
    close(sock);
    ASSERT_TRUE(scan.finished) << "the scan blocked on a special file";
    EXPECT_THAT(scan.names, ElementsAre("real.img"));
}

TEST(Compare, BytesUnsignedPrefixFirst)
{
    EXPECT_LT(CompareKeyBytes("PC-98", "pc-98"), 0); // upper case first
    EXPECT_LT(CompareKeyBytes("1992", "98"), 0);     // text, not numbers
    EXPECT_LT(CompareKeyBytes("abc", "abcd"), 0);    // a prefix sorts first
    EXPECT_GT(CompareKeyBytes("abcd", "abc"), 0);
    EXPECT_LT(CompareKeyBytes("", "a"), 0);
    EXPECT_EQ(CompareKeyBytes("", ""), 0);
    EXPECT_EQ(CompareKeyBytes("same", "same"), 0);
    // Double-byte texts sort after ASCII: bytes compare as unsigned values.
    EXPECT_GT(CompareKeyBytes("\x93\xFA", "z"), 0);
    EXPECT_LT(CompareKeyBytes("\x81\x40", "\x93\xFA"), 0);
    EXPECT_LT(CompareKeyBytes(std::string_view("a\0b", 3), "ab"), 0);
}

TEST(Compare, RowsUseTheKeyColumnAndDirection)
{
    LibraryRow a = Row("B", "X", "1.img", "1992");
    LibraryRow b = Row("A", "Y", "0.img", "98");
    EXPECT_GT(CompareRows(a, b, 0, +1), 0);        // caption: title
    EXPECT_LT(CompareRows(a, b, 0, -1), 0);
    EXPECT_LT(CompareRows(a, b, 3, +1), 0);        // sub-item 2: year
    EXPECT_LT(CompareRows(a, b, kTargetMachine, +1), 0);
    EXPECT_GT(CompareRows(a, b, kFileNameColumn, +1), 0);
    EXPECT_EQ(CompareRows(a, a, 0, -1), 0);
}

// Rows are sorted through their numbers: the order moves, the rows do not.
TEST(Sort, RowOrderIsStableInBothDirections)
{
    const std::vector<LibraryRow> rows = {
        Row("A", "", "1"), Row("B", "", "2"), Row("A", "", "3"), Row("B", "", "4"), Row("AB", "", "5"),
    };
    const auto byTitle = [](int direction) {
        return [direction](const LibraryRow& a, const LibraryRow& b) { return CompareRows(a, b, 0, direction); };
    };
    RowOrder order = {0, 1, 2, 3, 4};
    SortRowOrder(rows, order, byTitle(-1));
    EXPECT_THAT(order, ElementsAre(1, 3, 4, 0, 2));
    SortRowOrder(rows, order, byTitle(+1));
    EXPECT_THAT(order, ElementsAre(0, 2, 4, 1, 3));

    RowOrder none;
    SortRowOrder({}, none, byTitle(+1));
    EXPECT_THAT(none, IsEmpty());
}

// The two passes every scan ends with, over the list's own comparison: by
// machine, equal machines by title, equal both in folder order; the sort
// state is left at machine ascending, whatever it was.
TEST(Sort, ScanPassesOrderByMachineThenTitle)
{
    const std::vector<LibraryRow> rows = {
        Row("B", "pc98", "1"), Row("B", "PC98", "2"), Row("A", "PC98", "3"),
        Row("C", "", "4"),     Row("A", "PC98", "5"), Row("AB", "pc98", "6"),
    };
    RowOrder order = {0, 1, 2, 3, 4, 5};
    int column = kFileNameColumn, direction = -1;
    std::vector<int> passes;
    ScanSortPasses(column, direction, [&] {
        passes.push_back(column * direction);
        SortRowOrder(rows, order,
                     [&](const LibraryRow& a, const LibraryRow& b) { return CompareRows(a, b, column, direction); });
    });
    EXPECT_THAT(passes, ElementsAre(0, kTargetMachine));
    EXPECT_EQ(column, kTargetMachine);
    EXPECT_EQ(direction, +1);
    // Empty first, upper case before lower case.
    EXPECT_THAT(order, ElementsAre(3, 2, 4, 1, 5, 0));
}

namespace {

// Whatever a killed creation or a rescue left, the scan tells it from the
// listing: a file short of its header's sector count, a map beside it.
TEST(Scan, ConditionsTellShortImagesAndImagesWithAMap)
{
    TempDir dir;
    auto image = [](std::uint32_t sectors, std::size_t dataBytes) {
        const HeaderBytes h = BuildHeader({"T", "", "", "", "", ""}, 1, 512, sectors);
        return std::string(h.begin(), h.end()) + std::string(dataBytes, '\x5A');
    };
    dir.write("whole.img", image(4, 4 * 512));
    dir.write("cut.img", image(4, 3 * 512 + 511)); // killed part way through its fourth sector
    dir.write("holes.img", image(4, 4 * 512));
    dir.write("holes.img.map", "# Mapfile\n0x0 +\n0x0 0x800 +\n");
    dir.write("stray.map", "not an image's map");
    std::vector<ImageCondition> conditions;
    const std::vector<LibraryRow> rows = ScanImageFolder(dir.path(), conditions);
    ASSERT_EQ(rows.size(), 3u);
    ASSERT_EQ(conditions.size(), rows.size());
    for (std::size_t i = 0; i < rows.size(); ++i) {
        const std::string& name = rows[i][kFileNameColumn];
        SCOPED_TRACE(name);
        const ImageCondition& c = conditions[i];
        EXPECT_EQ(c.sectorCount, 4u);
        EXPECT_EQ(c.sectorsHeld, name == "cut.img" ? 3u : 4u);
        EXPECT_EQ(c.complete(), name != "cut.img");
        EXPECT_EQ(c.hasMap, name == "holes.img");
        EXPECT_EQ(c.sound(), name == "whole.img");
    }
    // A header that counts no sector size holds nothing whole.
    HeaderBytes zero = BuildHeader({"T", "", "", "", "", ""}, 1, 0, 4);
    EXPECT_FALSE(ConditionOf(zero, 256 + 4096, false).complete());
}

} // namespace
