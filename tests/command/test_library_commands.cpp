// The scan and deletion as commands over a scripted front end: the busy
// period and the list the scan leaves; deletion's one question, the rescan,
// and the one box naming what could not be deleted.
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

// The texts come from the catalogue the host carries, not the program's.
TEST_F(DeleteCommand, BoxesTakeTheHostsCatalogue)
{
    std::string rsl = "[Strings]\r\n";
    for (int n = 1; n <= 75; ++n)
        rsl += std::to_string(n) + "=T" + std::to_string(n) + " %s\r\n";
    dir.write("other.rsl", rsl);
    const MessageCatalogue other = MessageCatalogue::Load(dir.file("other"));
    ScriptedHost english(other);
    ASSERT_EQ(::mkfifo(dir.file("pipe.img").c_str(), 0600), 0);
    english.selected = {{LibraryRow{}, dir.file("pipe.img")}};
    english.answers = {mb::IDYES};
    DeleteImagesCommand(english);
    ASSERT_EQ(english.seen.size(), 3u);
    EXPECT_EQ(english.seen[0], "box T46 ");
    EXPECT_EQ(english.seen[2].rfind("box T75 \r\n" + dir.file("pipe.img") + ": ", 0), 0u) << english.seen[2];
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
    EXPECT_NE(BuiltInMessages().Text(MessageId::NotDeleted, names).find("dir.img"), std::string::npos);
}

class ScanCommandTest : public ::testing::Test {
protected:
    ScriptedHost host;
    TempDir dir;

    void Image(const std::string& name, const std::string& title, const std::string& machine)
    {
        const HeaderBytes header = BuildHeader({title, "", "", "", machine, ""}, 1, 512, 0);
        dir.write(name, std::string(reinterpret_cast<const char*>(header.data()), header.size()));
    }
    std::vector<std::string> Files() const
    {
        std::vector<std::string> names;
        for (const LibraryRow& row : host.rows)
            names.push_back(row[kFileNameColumn]);
        return names;
    }
};

TEST_F(ScanCommandTest, FillsTheListAndSortsItByMachineThenTitleWhileBusy)
{
    Image("1.img", "Zeta", "PC98");
    Image("2.img", "Alpha", "X68000");
    Image("3.img", "Beta", "PC98");
    dir.write("notes.txt", std::string(300, 'x'));
    host.rows = {LibraryRow{}}; // the list of the scan before
    ScanCommand(host, dir.path());
    EXPECT_EQ(host.seen, Seen({"busy", "status " + BuiltInMessages().Text(MessageId::ScanningStatus), "clear", "fill 3",
                               "hold", "sort 0 1", "sort 4 1", "paint", "idle", "status "}));
    EXPECT_EQ(host.pumps, 2); // once to paint the text, once at the end
    EXPECT_EQ(Files(), std::vector<std::string>({"3.img", "1.img", "2.img"}));
}

TEST_F(ScanCommandTest, AFolderThatCannotBeListedLeavesAnEmptyListAndNoSort)
{
    host.rows = {LibraryRow{}};
    ScanCommand(host, dir.file("missing"));
    EXPECT_EQ(host.seen, Seen({"busy", "status " + BuiltInMessages().Text(MessageId::ScanningStatus), "clear", "paint",
                               "idle", "status "}));
    EXPECT_TRUE(host.rows.empty());
    EXPECT_EQ(host.pumps, 2);
}

// The configuration dialog's OK: set, stored Drive then Dir and the drives'
// bindings, rescanned; a
// store that cannot be written stops it before the rescan.
TEST(ApplyConfiguration, SetsStoresThenRescans)
{
    TempDir dir;
    RegStore store(MakeFileBackend(dir.file("Tessarine.reg")));
    ScriptedHost host;
    std::string drive = "A", folder = "./Images/";
    ApplyConfigurationCommand(host, store, "C", "/srv/images/", drive, folder,
                              {{'A', "usb:pci0000:00/usb1/1-1"}, {'B', "/dev/disk/by-id/usb-TEAC_FD-05PUB-0:0"}});
    EXPECT_EQ(drive, "C");
    EXPECT_EQ(store.RegReadString(0, kDevicesKey, "A", ""), "usb:pci0000:00/usb1/1-1");
    EXPECT_EQ(store.RegReadString(0, kDevicesKey, "B", ""), "/dev/disk/by-id/usb-TEAC_FD-05PUB-0:0");
    EXPECT_EQ(folder, "/srv/images/");
    EXPECT_EQ(host.seen, Seen({"rescan"}));
    EXPECT_EQ(store.RegReadString(0, kSystemKey, "Drive", ""), "C");
    EXPECT_EQ(store.RegReadString(0, kSystemKey, "Dir", ""), "/srv/images/");
    EXPECT_LT(dir.read("Tessarine.reg").find("\"Drive\""), dir.read("Tessarine.reg").find("\"Dir\""));

    // The settings file cannot be written below a regular file.
    dir.write("blocker", "");
    RegStore blocked(MakeFileBackend(dir.file("blocker/Tessarine.reg")));
    ScriptedHost failing;
    EXPECT_THROW(ApplyConfigurationCommand(failing, blocked, "B", "/x/", drive, folder), RegError);
    EXPECT_TRUE(failing.seen.empty());
}

} // namespace
