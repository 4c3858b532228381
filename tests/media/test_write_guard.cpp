// Writes land only where the user means: the restore and creation commands
// over the host's drives, with ext2 file systems made by mke2fs on loop
// devices and mounted here, reached under other names (a hard link, a bind
// mount, a second loop device); targets that are images of the folder or
// the settings file. Needs root for the loop devices; skipped elsewhere.
#include "base/fdio_linux.h"
#include "command/commands.h"
#include "command/scripted_host.h"
#include "library/imagefile.h"
#include "media/drivetext.h"
#include "media/fatmedia.h"
#include "media/memory_drive.h"
#include "settings/messages.h"
#include "virtual_drive.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/mount.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>

namespace fs = std::filesystem;

namespace {

using Seen = std::vector<std::string>;

bool Contains(const Seen& seen, const std::string& line)
{
    return std::find(seen.begin(), seen.end(), line) != seen.end();
}

class WriteGuard : public ::testing::Test {
protected:
    void SetUp() override { fs::create_directories(images); }

    // An image of n pattern sectors in the image folder, selected.
    std::string SelectImage(const std::string& name, std::uint32_t n)
    {
        const MemoryMedium data = MemoryDrive::PatternMedium(n);
        const HeaderBytes header = BuildHeader({"GUARD", "", "", "", "", ""}, 1, 512, n);
        std::vector<std::uint8_t> bytes(header.begin(), header.end());
        bytes.insert(bytes.end(), data.bytes.begin(), data.bytes.end());
        WriteFileBytes(images + name, bytes);
        LibraryRow row{};
        row[kTitle] = "GUARD";
        host.selected.push_back({row, images + name});
        return images + name;
    }

    // An ext2 file system on a loop device over ext2.img, mounted at mnt;
    // empty loop path when that cannot be had here (the test then skips).
    std::string why;
    bool MakeMountedExt2(std::unique_ptr<LoopDevice>& loop, std::unique_ptr<Mount>& mount)
    {
        WriteFileBytes(fsFile, std::vector<std::uint8_t>(4u << 20, 0));
        loop = std::make_unique<LoopDevice>(fsFile);
        if (loop->path().empty()) {
            why = ::geteuid() != 0 ? "needs root for loop devices" : "losetup does not work here";
            return false;
        }
        if (RunCommand("PATH=\"$PATH:/usr/sbin:/sbin\" mke2fs -q -F -t ext2 " + loop->path() + " >/dev/null 2>&1") != 0) {
            why = "mke2fs does not work here";
            return false;
        }
        mount = std::make_unique<Mount>(loop->path(), dir.file("mnt"));
        if (!mount->mounted()) {
            why = "ext2 cannot be mounted here";
            return false;
        }
        WriteFileBytes(dir.file("mnt/kept.txt"), std::vector<std::uint8_t>(5000, 'k'));
        ::sync();
        return true;
    }

    bool Clean(const std::string& device)
    {
        return RunCommand("PATH=\"$PATH:/usr/sbin:/sbin\" e2fsck -n -f " + device + " >/dev/null 2>&1") == 0;
    }

    CommandResult Restore(const std::string& target, std::vector<std::string> keep = {})
    {
        DriveFactory drives = [target] { return DrivesOver({{'A', target}}); };
        return RestoreImagesCommand(host, drives, "A", keep);
    }

    TempDir dir;
    const std::string images = dir.file("Images/");
    const std::string fsFile = dir.file("ext2.img");
    ScriptedHost host;
};

// Each way round a guard that compared names: the restore asks to unmount
// the file system it would overwrite (found by identity), No writes
// nothing, and the file system stays clean.
TEST_F(WriteGuard, MountedFileSystemUnderAnotherNameIsFoundAndKept)
{
    std::unique_ptr<LoopDevice> loop;
    std::unique_ptr<Mount> mount;
    if (!MakeMountedExt2(loop, mount))
        GTEST_SKIP() << why;
    SelectImage("ONE.IMG", 16);
    fs::create_hard_link(fsFile, dir.file("link.img"));
    LoopDevice second(dir.file("link.img"));
    ASSERT_FALSE(second.path().empty()) << second.error();
    Mount bind(dir.path(), dir.file("bind"), MS_BIND);
    ASSERT_TRUE(bind.mounted());

    for (const std::string& target : {dir.file("link.img"), second.path(), dir.file("bind/ext2.img"), loop->path()}) {
        host.seen.clear();
        host.answers = {mb::IDYES, mb::IDNO};
        EXPECT_EQ(Restore(target).outcome, CommandOutcome::Declined) << target;
        EXPECT_TRUE(Contains(host.seen, ScriptedHost::BoxOf(115, dir.file("mnt")))) << target;
        EXPECT_TRUE(host.answers.empty()) << target;
    }
    // The mounted kernel may write its own metadata meanwhile, so the file is
    // checked for the image's sectors, not for unchanged bytes.
    const auto medium = FileBytes(fsFile);
    const auto pattern = MemoryDrive::PatternMedium(16).bytes;
    for (std::size_t s = 0; s < 16; ++s)
        EXPECT_FALSE(std::equal(pattern.begin() + s * 512, pattern.begin() + (s + 1) * 512, medium.begin() + s * 512))
            << "sector " << s << " of the image was written";
    mount.reset();
    EXPECT_TRUE(Clean(loop->path()));
}

// Yes unmounts and the restore goes on; creation and re-reading from a
// mounted medium ask the same, No leaves nothing in the folder and Yes reads
// the medium.
TEST_F(WriteGuard, YesUnmountsAndGoesOnNoTouchesNothing)
{
    std::unique_ptr<LoopDevice> loop;
    std::unique_ptr<Mount> mount;
    if (!MakeMountedExt2(loop, mount))
        GTEST_SKIP() << why;
    DriveFactory drives = [&loop] { return DrivesOver({{'A', loop->path()}}); };

    host.answers = {mb::IDNO};
    EXPECT_EQ(CreateImageCommand(host, drives, "A", images).outcome, CommandOutcome::Declined);
    EXPECT_EQ(host.seen, Seen{ScriptedHost::BoxOf(115, dir.file("mnt"))});
    EXPECT_TRUE(fs::is_empty(images)) << "nothing created";

    host.seen.clear();
    host.answers = {mb::IDYES};
    host.texts = {"FROM EXT2", "", "", "", "", ""};
    EXPECT_EQ(CreateImageCommand(host, drives, "A", images).outcome, CommandOutcome::Done);
    EXPECT_EQ(host.seen.front(), ScriptedHost::BoxOf(115, dir.file("mnt")));
    EXPECT_FALSE(fs::exists(dir.file("mnt/kept.txt"))) << "unmounted";
    EXPECT_TRUE(Clean(loop->path()));

    // Mounted again: re-reading into the image asks the same, and No reads nothing.
    ASSERT_EQ(::mount(loop->path().c_str(), dir.file("mnt").c_str(), "ext2", 0, nullptr), 0);
    host.selected = {{LibraryRow{}, fs::directory_iterator(images)->path().string()}};
    host.seen.clear();
    host.answers = {mb::IDNO};
    EXPECT_EQ(RereadImageCommand(host, drives, "A").outcome, CommandOutcome::Declined);
    EXPECT_EQ(host.seen, Seen{ScriptedHost::BoxOf(115, dir.file("mnt"))});

    // The restore goes on after Yes.
    host.selected.clear();
    SelectImage("ONE.IMG", 16);
    host.seen.clear();
    host.answers = {mb::IDYES, mb::IDYES};
    EXPECT_EQ(Restore(loop->path()).outcome, CommandOutcome::Done);
    EXPECT_TRUE(Contains(host.seen, ScriptedHost::BoxOf(115, dir.file("mnt"))));
    EXPECT_TRUE(Contains(host.seen, ScriptedHost::BoxOf(43)));
    const auto medium = FileBytes(fsFile);
    const auto pattern = MemoryDrive::PatternMedium(16).bytes;
    EXPECT_TRUE(std::equal(pattern.begin(), pattern.end(), medium.begin()));
}

// The image being restored, another image of the folder, a loop device over
// one of them and the settings file are never written.
TEST_F(WriteGuard, ImagesOfTheFolderAndTheSettingsAreNeverTargets)
{
    const std::string one = SelectImage("ONE.IMG", 16);
    host.selected.clear();
    const std::string two = SelectImage("TWO.IMG", 16);
    SelectImage("ONE.IMG", 16); // both selected, ONE last
    fs::create_hard_link(two, dir.file("elsewhere.img"));
    dir.write("Tessarine.reg", std::string(8192, 's'));
    const auto oneBytes = FileBytes(one), twoBytes = FileBytes(two);

    std::vector<std::string> targets{one, two, dir.file("elsewhere.img"), dir.file("Tessarine.reg")};
    LoopDevice loop(two);
    if (!loop.path().empty())
        targets.push_back(loop.path());
    for (const std::string& target : targets) {
        host.seen.clear();
        host.answers = {mb::IDYES};
        EXPECT_EQ(Restore(target, {images, dir.file("Tessarine.reg")}).outcome, CommandOutcome::Failed) << target;
        ASSERT_FALSE(host.seen.empty());
        EXPECT_EQ(host.seen[host.seen.size() - 3],
                  ScriptedHost::BoxOf(114, DrivesOver({{'A', target}})->DescribeTarget('A')));
    }
    EXPECT_TRUE(FileBytes(one) == oneBytes);
    EXPECT_TRUE(FileBytes(two) == twoBytes);
    EXPECT_EQ(dir.read("Tessarine.reg"), std::string(8192, 's'));

    // A file outside them is written.
    WriteFileBytes(dir.file("blank.img"), std::vector<std::uint8_t>(32 * 512, 0));
    host.selected.resize(1);
    host.seen.clear();
    host.answers = {mb::IDYES};
    EXPECT_EQ(Restore(dir.file("blank.img"), {images, dir.file("Tessarine.reg")}).outcome, CommandOutcome::Done);
}

// A file behind a loop device that someone else claims (here an exclusive
// open, as a mapper or a mount would hold it) is not written through the
// file either, though nothing is mounted.
TEST(WriteGuardDevice, FileBehindAClaimedLoopDeviceIsNotWritten)
{
    TempDir dir;
    WriteFileBytes(dir.file("medium.img"), std::vector<std::uint8_t>(64 * 512, 0));
    LoopDevice loop(dir.file("medium.img"));
    if (loop.path().empty())
        GTEST_SKIP() << (::geteuid() != 0 ? "needs root for loop devices" : "losetup does not work here");
    auto access = DrivesOver({{'A', dir.file("medium.img")}});
    IoStatus st;
    auto writer = access->Open('A', true, st);
    ASSERT_TRUE(writer) << st.message();
    {
        UniqueFd other(::open(loop.path().c_str(), O_RDONLY | O_EXCL));
        ASSERT_GE(other.get(), 0);
        EXPECT_EQ(writer->Lock().error, EBUSY);
    }
    EXPECT_TRUE(writer->Lock().ok()) << "released";
}

// A device another program holds (an exclusive open, as a mapper or a
// mount would) but that carries no mounted file system: restoration and
// creation tell the drive in use, naming it, and write nothing.
TEST_F(WriteGuard, ClaimedDeviceIsTheDriveInUse)
{
    WriteFileBytes(fsFile, std::vector<std::uint8_t>(64 * 512, 0));
    LoopDevice loop(fsFile);
    if (loop.path().empty())
        GTEST_SKIP() << (::geteuid() != 0 ? "needs root for loop devices" : "losetup does not work here");
    UniqueFd holder(::open(loop.path().c_str(), O_RDONLY | O_EXCL));
    ASSERT_GE(holder.get(), 0);
    SelectImage("ONE.IMG", 16);
    const std::string inUse =
        "box " + DriveFailureText(host.messages, "A", {.state = DriveState::InUse, .error = EBUSY,
                                         .device = DrivesOver({{'A', loop.path()}})->DescribeTarget('A')});

    host.answers = {mb::IDYES};
    EXPECT_EQ(Restore(loop.path()).outcome, CommandOutcome::Failed);
    EXPECT_TRUE(Contains(host.seen, inUse)) << ::testing::PrintToString(host.seen);
    EXPECT_TRUE(FileBytes(fsFile) == std::vector<std::uint8_t>(64 * 512, 0)) << "written";

    host.seen.clear();
    host.texts = {"CLAIMED", "", "", "", "", ""};
    DriveFactory drives = [&loop] { return DrivesOver({{'A', loop.path()}}); };
    EXPECT_EQ(CreateImageCommand(host, drives, "A", images).outcome, CommandOutcome::Failed);
    EXPECT_TRUE(Contains(host.seen, inUse)) << ::testing::PrintToString(host.seen);
    EXPECT_EQ(std::distance(fs::directory_iterator(images), fs::directory_iterator()), 1) << "a new image stayed";
}

} // namespace
