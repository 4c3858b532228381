// Deletion as a command over a scripted front end: the one question, the
// rescan, and the one box naming what could not be deleted.
#include <filesystem>

#include <sys/stat.h>

#include <gtest/gtest.h>

#include "command/commands.h"
#include "command/scripted_host.h"
#include "support/tempdir.h"

namespace {

namespace fs = std::filesystem;
using Seen = std::vector<std::string>;

class DeleteCommand : public ::testing::Test {
protected:
    ScriptedHost host;
    TempDir dir;

    void SetUp() override { InitMessages(dir.file("tessarine")); }

    void Select(const std::string& name)
    {
        LibraryRow row{};
        row[kFileNameColumn] = name;
        host.selected.push_back({row, dir.file(name)});
    }
};

TEST_F(DeleteCommand, NoDeletesNothingAndDoesNotRescan)
{
    dir.write("IMG1.TMP", "image");
    Select("IMG1.TMP");
    host.answers = {mb::IDNO};
    EXPECT_EQ(DeleteImagesCommand(host).outcome, CommandOutcome::Declined);
    EXPECT_EQ(host.seen, Seen({ScriptedHost::BoxOf(46)}));
    EXPECT_TRUE(fs::exists(dir.file("IMG1.TMP")));
}

TEST_F(DeleteCommand, FilesAlreadyGoneAreNotNamed)
{
    dir.write("IMG1.TMP", "image");
    dir.write("IMG3.TMP", "image");
    Select("IMG1.TMP");
    Select("IMG2.TMP"); // removed by another program before the command
    Select("IMG3.TMP");
    host.answers = {mb::IDYES};
    const DeleteResult result = DeleteImagesCommand(host);
    EXPECT_EQ(result.outcome, CommandOutcome::Done);
    EXPECT_TRUE(result.failures.empty());
    EXPECT_EQ(host.seen, Seen({ScriptedHost::BoxOf(46), "rescan"}));
    EXPECT_TRUE(fs::is_empty(dir.path()));
}

TEST_F(DeleteCommand, FilesThatStayAreNamedInOneBoxAfterTheRescan)
{
    dir.write("IMG1.TMP", "image");
    ASSERT_EQ(::mkfifo(dir.file("pipe.img").c_str(), 0600), 0);
    fs::create_directory(dir.file("dir.img"));
    dir.write("IMG4.TMP", "image");
    for (const char* name : {"IMG1.TMP", "pipe.img", "dir.img", "IMG4.TMP"})
        Select(name);
    host.answers = {mb::IDYES};

    const DeleteResult result = DeleteImagesCommand(host);
    EXPECT_EQ(result.outcome, CommandOutcome::Failed);
    ASSERT_EQ(result.failures.size(), 2u);
    EXPECT_EQ(result.failures[0].first, dir.file("pipe.img"));
    EXPECT_EQ(result.failures[0].second.error, ENOTSUP);
    EXPECT_EQ(result.failures[1].second.error, EISDIR);
    // The files around them went all the same.
    EXPECT_FALSE(fs::exists(dir.file("IMG1.TMP")));
    EXPECT_FALSE(fs::exists(dir.file("IMG4.TMP")));

    const std::string names = "\r\npipe.img: " + IoStatus::Fail(ENOTSUP).message() +
                              "\r\ndir.img: " + IoStatus::Fail(EISDIR).message();
    EXPECT_EQ(host.seen, Seen({ScriptedHost::BoxOf(46), "rescan", ScriptedHost::BoxOf(75, names)}));
    EXPECT_EQ(host.flags.back(), mb::OK | mb::ICONERROR | mb::TASKMODAL | mb::SETFOREGROUND);
    EXPECT_NE(MessageText(75, names).find("dir.img"), std::string::npos);
}

} // namespace
