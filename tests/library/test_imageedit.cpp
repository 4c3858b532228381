// Editing an image's header in place and deleting image files, on real files.
#include "library/imageedit.h"

#include <cerrno>
#include <filesystem>
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include "support/tempdir.h"
#include "support/unprivileged.h"

namespace {

std::string Image(const ImageTexts& texts, std::uint32_t sectors, char fill)
{
    const HeaderBytes header = BuildHeader(texts, 1, 512, sectors);
    std::string bytes(header.begin(), header.end());
    for (std::uint32_t s = 0; s < sectors; ++s)
        bytes += std::string(512, static_cast<char>(fill + s));
    return bytes;
}

} // namespace

TEST(ImageHeaderFile, RewritesOnlyTheDescriptivePart)
{
    TempDir dir;
    std::string before = Image({"Old", "C", "A", "1992", "PC", "DOS"}, 3, 'a');
    // Odd reserved area and figures: only the reserved area is rebuilt.
    before[200] = 'X';
    before[250] = '\x7f';
    dir.write("img", before);

    ImageHeaderFile file;
    ASSERT_TRUE(file.Open(dir.file("img")).ok());
    EXPECT_EQ(DecodeField(file.header(), kTitle), "Old");
    ASSERT_TRUE(file.WriteTexts({"Foo", "", "A", "98", "PC", "DOS"}).ok());
    ASSERT_TRUE(file.Close().ok());

    const std::string after = dir.read("img");
    ASSERT_EQ(after.size(), before.size());
    EXPECT_EQ(after.substr(5, 31), "Foo" + std::string(27, ' ') + std::string(1, '\0'));
    EXPECT_EQ(after.substr(36, 31), std::string(30, ' ') + std::string(1, '\0'));
    EXPECT_EQ(after.substr(98, 5), std::string("98  \0", 5));
    EXPECT_EQ(after.substr(165, 79), std::string(78, ' ') + '\0'); // the reserved area rebuilt whole
    EXPECT_EQ(after.substr(244), before.substr(244)); // figures and sectors untouched
}

TEST(ImageHeaderFile, RefusesWhatIsNotAWritableImage)
{
    TempDir dir;
    ImageHeaderFile file;
    EXPECT_EQ(file.Open(dir.file("missing")).error, ENOENT);
    EXPECT_EQ(file.Open(dir.path()).error, EISDIR);
    EXPECT_EQ(file.Open("/dev/null").error, ENOTSUP);

    // 255 bytes: no header to rewrite, and nothing is written.
    const std::string shortImage = Image({"T", "", "", "", "", ""}, 0, 'a').substr(0, 255);
    dir.write("short", shortImage);
    EXPECT_EQ(file.Open(dir.file("short")).error, ENODATA);
    EXPECT_FALSE(file.isOpen());
    EXPECT_EQ(file.WriteTexts({"X", "", "", "", "", ""}).error, EBADF);
    EXPECT_EQ(dir.read("short"), shortImage);

    const std::string image = Image({"T", "", "", "", "", ""}, 1, 'a');
    dir.write("ro", image);
    ASSERT_EQ(::chmod(dir.path().c_str(), 0755), 0);
    ASSERT_EQ(::chmod(dir.file("ro").c_str(), 0444), 0);
    {
        UnprivilegedFiles nobody;
        if (!nobody.effective())
            GTEST_SKIP() << "cannot drop root's file permissions here";
        EXPECT_EQ(file.Open(dir.file("ro")).error, EACCES);
    }
    EXPECT_FALSE(file.isOpen());
    EXPECT_EQ(dir.read("ro"), image);
}

TEST(DeleteImageFiles, DeletesRegularFilesAndGoesOnAfterFailures)
{
    TempDir dir;
    dir.write("one", "1");
    dir.write("three", "3");
    dir.write("kept", "k");
    std::filesystem::create_directory(dir.file("folder"));
    ASSERT_EQ(::symlink(dir.file("kept").c_str(), dir.file("link").c_str()), 0);

    const std::vector<IoStatus> results = DeleteImageFiles(
        {dir.file("one"), dir.file("gone"), dir.file("folder"), dir.file("link"), dir.file("three")});
    ASSERT_EQ(results.size(), 5u);
    EXPECT_TRUE(results[0].ok());
    EXPECT_EQ(results[1].error, ENOENT);
    EXPECT_EQ(results[2].error, EISDIR);
    EXPECT_TRUE(results[3].ok());
    EXPECT_TRUE(results[4].ok());
    EXPECT_FALSE(std::filesystem::exists(dir.file("one")));
    EXPECT_TRUE(std::filesystem::is_directory(dir.file("folder")));
    EXPECT_FALSE(std::filesystem::exists(dir.file("three")));
    EXPECT_FALSE(std::filesystem::is_symlink(dir.file("link")));
    EXPECT_EQ(dir.read("kept"), "k");
    EXPECT_EQ(DeleteImageFile("/dev/null").error, ENOTSUP);
}
