// New image file names in the image folder.
#include "library/newname.h"
#include "support/tempdir.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <regex>
#include <set>

namespace fs = std::filesystem;

namespace {

std::string NameOf(const std::string& path) { return fs::path(path).filename().string(); }

TEST(NewImageFileName, CreatesUniqueEmptyFilesOfTheFixedForm)
{
    TempDir dir;
    const std::regex form("IMG[0-9A-F]{4}\\.TMP");
    std::set<std::string> names;
    for (int i = 0; i < 100; ++i) {
        int error = -1;
        const std::string path = NewImageFileName(dir.path(), error);
        ASSERT_FALSE(path.empty()) << std::strerror(error);
        EXPECT_EQ(error, 0);
        EXPECT_EQ(fs::path(path).parent_path(), fs::path(dir.path()));
        EXPECT_TRUE(std::regex_match(NameOf(path), form)) << path;
        EXPECT_EQ(fs::file_size(path), 0u);
        names.insert(NameOf(path));
    }
    EXPECT_EQ(names.size(), 100u);
    EXPECT_EQ(names.count("IMG0000.TMP"), 0u);
}

TEST(NewImageFileName, StepsOverExistingFilesWithoutTouchingThem)
{
    TempDir dir;
    dir.write("IMG1234.TMP", "keep");
    dir.write("IMGFFFF.TMP", "keep too");
    int error = 0;
    EXPECT_EQ(NameOf(NewImageFileName(dir.path() + "/", error, 0x1234)), "IMG1235.TMP");
    EXPECT_EQ(NameOf(NewImageFileName(dir.path(), error, 0xFFFF)), "IMG0001.TMP") << "0 is skipped";
    EXPECT_EQ(NameOf(NewImageFileName(dir.path(), error, 0)), "IMG0002.TMP");
    EXPECT_EQ(dir.read("IMG1234.TMP"), "keep");
    EXPECT_EQ(dir.read("IMGFFFF.TMP"), "keep too");
}

TEST(NewImageFileName, RelativeFolderResolvesAgainstTheCurrentDirectory)
{
    TempDir dir;
    fs::create_directory(dir.file("Images"));
    const fs::path before = fs::current_path();
    fs::current_path(dir.path());
    int error = 0;
    const std::string path = NewImageFileName("./Images/", error, 0xABCD);
    fs::current_path(before);
    EXPECT_EQ(path, "./Images/IMGABCD.TMP");
    EXPECT_TRUE(fs::exists(dir.file("Images/IMGABCD.TMP")));
}

TEST(NewImageFileName, FailuresGiveAnEmptyPathAndTheReason)
{
    TempDir dir;
    int error = 0;
    EXPECT_EQ(NewImageFileName(dir.file("missing"), error), "");
    EXPECT_EQ(error, ENOENT);
    dir.write("plain", "");
    EXPECT_EQ(NewImageFileName(dir.file("plain"), error), "");
    EXPECT_EQ(error, ENOTDIR);
}

// A folder in memory where possible: 65,535 files on a busy disk are slow.
class MemoryFolder {
public:
    MemoryFolder()
    {
        std::error_code ec;
        const fs::path base = fs::is_directory("/dev/shm", ec) ? fs::path("/dev/shm") : fs::temp_directory_path();
        std::string pattern = (base / "tessarine-names-XXXXXX").string();
        if (::mkdtemp(pattern.data()))
            path_ = pattern;
    }
    ~MemoryFolder()
    {
        std::error_code ec;
        if (!path_.empty())
            fs::remove_all(path_, ec);
    }
    const std::string& path() const { return path_; }

private:
    std::string path_;
};

TEST(NewImageFileName, AllNamesTaken)
{
    MemoryFolder dir;
    ASSERT_FALSE(dir.path().empty());
    int error = 0;
    for (unsigned n = 1; n <= 0xFFFF; ++n)
        ASSERT_FALSE(NewImageFileName(dir.path(), error, static_cast<std::uint16_t>(n)).empty());
    EXPECT_EQ(NewImageFileName(dir.path(), error), "");
    EXPECT_EQ(error, EEXIST);
}

} // namespace
