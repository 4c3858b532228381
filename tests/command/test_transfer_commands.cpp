// Creation and restoration as commands, over a scripted front end: which
// boxes come in which order, what is left in the folder and on the media.
#include <algorithm>
#include <filesystem>

#include <unistd.h>

#include <gtest/gtest.h>

#include "command/commands.h"
#include "command/scripted_host.h"
#include "library/imagehold.h"
#include "library/datahash.h"
#include "library/sectormap.h"
#include "media/drivetext.h"
#include "media/memory_drive.h"
#include "support/child.h"
#include "support/tempdir.h"

namespace {

namespace fs = std::filesystem;
using Seen = std::vector<std::string>;

class TransferCommands : public ::testing::Test {
protected:
    MemoryDrive memory;
    ScriptedHost host;
    TempDir dir;
    DriveFactory drives = [this] { return std::make_unique<SharedDrive>(memory); };

    std::vector<fs::path> Files() const
    {
        std::vector<fs::path> files;
        for (const auto& e : fs::directory_iterator(dir.path()))
            files.push_back(e.path());
        return files;
    }
    CommandResult Create() { return CreateImageCommand(host, drives, "A", dir.path()); }

    // An image of n pattern sectors titled title, selected for restoration.
    void SelectImage(const std::string& name, const std::string& title, std::uint64_t n)
    {
        const MemoryMedium data = MemoryDrive::PatternMedium(n);
        const HeaderBytes header = BuildHeader({title, "", "", "", "", ""}, 1, 512, static_cast<std::uint32_t>(n));
        std::string bytes(reinterpret_cast<const char*>(header.data()), header.size());
        bytes.append(data.bytes.begin(), data.bytes.end());
        dir.write(name, bytes);
        LibraryRow row{};
        row[kTitle] = title;
        host.selected.push_back({row, dir.file(name)});
    }
};

TEST_F(TransferCommands, CreationWaitsForTheMediumCopiesReportsAndRescans)
{
    memory.media['A'] = MemoryDrive::PatternMedium(36);
    memory.readyScript = {DriveState::NoMedium, DriveState::NoMedium};
    host.answers = {mb::IDRETRY, mb::IDRETRY};
    host.texts = {"GAME", "", "", "", "", ""};

    const CommandResult result = Create();
    ASSERT_EQ(result.outcome, CommandOutcome::Done);
    const std::string noMedium = ScriptedHost::BoxOf(34, "A");
    EXPECT_EQ(host.seen,
              (Seen{noMedium, noMedium, "busy", "status " + BuiltInMessages().Text(MessageId::CreatingStatus), "dialog",
                    ScriptedHost::BoxOf(38), "rescan", "status ", "idle"}));
    EXPECT_EQ(host.flags[0], mb::RETRYCANCEL | mb::ICONQUESTION | mb::TASKMODAL | mb::SETFOREGROUND);
    EXPECT_EQ(fs::file_size(result.path), 256u + 36 * 512);
    EXPECT_EQ(memory.log.back(), "eject A");
}

TEST_F(TransferCommands, CreationThatDoesNotCompleteLeavesNoFile)
{
    // Cancel at the no-medium question: not even busy.
    host.answers = {mb::IDCANCEL};
    EXPECT_EQ(Create().outcome, CommandOutcome::NoMedium);
    EXPECT_EQ(host.seen, Seen{ScriptedHost::BoxOf(34, "A")});

    memory.media['A'] = MemoryDrive::PatternMedium(36);
    host.seen.clear();
    host.dialogOk = false; // the dialog left without OK: no eject, no box
    EXPECT_EQ(Create().outcome, CommandOutcome::Declined);
    EXPECT_EQ(host.seen.back(), "idle");
    EXPECT_EQ(CountLogged(memory, "eject"), 0);

    host.dialogOk = true;
    host.seen.clear();
    host.pumps = 0;
    host.escAtPump = 2; // Esc during the copy
    EXPECT_EQ(Create().outcome, CommandOutcome::Cancelled);
    EXPECT_FALSE(host.cancel) << "the end clears the request";
    EXPECT_EQ(host.flags.back(), mb::OK | mb::ICONWARNING | mb::TASKMODAL | mb::SETFOREGROUND);
    EXPECT_NE(std::find(host.seen.begin(), host.seen.end(), ScriptedHost::BoxOf(36)), host.seen.end());

    host.escAtPump = 0;
    host.seen.clear();
    memory.badSectors = {5};
    host.answers = {mb::IDNO}; // do not keep the unreadable sector
    EXPECT_EQ(Create().outcome, CommandOutcome::Failed);
    EXPECT_NE(std::find(host.seen.begin(), host.seen.end(), ScriptedHost::BoxOf(37)), host.seen.end());
    EXPECT_EQ(CountLogged(memory, "eject"), 2);
    EXPECT_TRUE(Files().empty());

    // No new name in a missing folder: the folder and the system's text, before the dialog.
    memory.badSectors.clear();
    host.seen.clear();
    const std::string missing = dir.file("gone");
    EXPECT_EQ(CreateImageCommand(host, drives, "A", missing).outcome, CommandOutcome::Failed);
    EXPECT_EQ(host.seen[host.seen.size() - 3], "box " + missing + ": " + IoStatus::Fail(ENOENT).message());
    EXPECT_EQ(host.flags.back(), mb::OK | mb::ICONERROR | mb::TASKMODAL | mb::SETFOREGROUND);
    EXPECT_EQ(std::count(host.seen.begin(), host.seen.end(), "dialog"), 0);
    EXPECT_EQ(CountLogged(memory, "eject"), 2) << "nothing ejected";
}

// Each drive answer other than "no medium" is told in one box naming the
// drive, the device and the system's text: creation copies nothing, and a
// restoration ends where it meets it, before the first medium or the second,
// the medium it did not reach unwritten.
TEST_F(TransferCommands, DriveAnswersOtherThanNoMediumAreToldOnce)
{
    const MessageCatalogue& messages = BuiltInMessages();
    struct Case {
        DriveState state;
        int error;
        int first;
        DriveDetail detail = DriveDetail::None;
        std::string broker = {}; // the line telling the device broker's answer
    };
    const Case cases[] = {{DriveState::NoDevice, ENOENT, 68},
                          {DriveState::AccessRefused, EACCES, 69},
                          {DriveState::AccessRefused, EACCES, 69, DriveDetail::BrokerAbsent,
                           "\n" + messages.Text(MessageId::UdisksUnavailable)},
                          {DriveState::AccessRefused, EPERM, 69, DriveDetail::BrokerRefused,
                           "\n" + messages.Text(MessageId::UdisksRefused, "Not authorized")},
                          {DriveState::InUse, EBUSY, 70},
                          {DriveState::InUse, EBUSY, 80, DriveDetail::OtherInstance},
                          {DriveState::Unreadable, EIO, 71},
                          {DriveState::Other, EOVERFLOW, 72}};
    SelectImage("one.img", "DISK 1", 8);
    SelectImage("two.img", "DISK 2", 8);
    const std::string image = dir.read("one.img").substr(256);
    for (const Case& c : cases) {
        std::string text = "box " + messages.Text(MessageId(c.first), "A") + "\n" +
                           messages.Text(MessageId::DevicePath, "/dev/memA") + "\n" + IoStatus{c.error}.message() +
                           c.broker;
        if (c.state == DriveState::AccessRefused)
            text += "\n" + messages.Text(MessageId::SeatAdvice);
        memory.readyError = c.error;
        memory.readyDetail = c.detail;
        memory.readyDetailText = "Not authorized";

        memory.media['A'] = MemoryDrive::PatternMedium(8);
        memory.readyScript = {c.state};
        memory.log.clear();
        host.seen.clear();
        EXPECT_EQ(Create().outcome, CommandOutcome::Failed);
        EXPECT_EQ(host.seen, Seen{text});
        EXPECT_EQ(host.flags.back(), mb::OK | mb::ICONERROR | mb::TASKMODAL | mb::SETFOREGROUND);
        EXPECT_EQ(memory.log, Seen{"ready A"});
        EXPECT_EQ(Files().size(), 2u) << "nothing created";

        for (const bool secondMedium : {false, true}) {
            memory.media['A'] = MemoryDrive::PatternMedium(8);
            std::fill(memory.media['A'].bytes.begin(), memory.media['A'].bytes.end(), 0);
            memory.readyScript = secondMedium ? std::vector{DriveState::Ready, c.state} : std::vector{c.state};
            memory.log.clear();
            host.seen.clear();
            host.answers = secondMedium ? std::deque<int>{mb::IDYES, mb::IDOK} : std::deque<int>{mb::IDYES};
            EXPECT_EQ(RestoreImagesCommand(host, drives, "A").outcome, CommandOutcome::Failed);
            ASSERT_GE(host.seen.size(), 3u);
            EXPECT_EQ(host.seen[host.seen.size() - 3], text);
            const auto& bytes = memory.media['A'].bytes;
            EXPECT_EQ(std::string(bytes.begin(), bytes.end()), secondMedium ? image : std::string(8 * 512, '\0'));
            EXPECT_EQ(CountLogged(memory, "eject"), secondMedium ? 1 : 0);
        }
    }
}

TEST_F(TransferCommands, RestorationWritesTheSetInListOrderAskingForEachNextMedium)
{
    SelectImage("one.img", "DISK 1", 8);
    SelectImage("two.img", "DISK 2", 8);
    SelectImage("three.img", "DISK 3", 8);
    memory.media['A'] = MemoryDrive::PatternMedium(8);
    host.answers = {mb::IDYES, mb::IDOK, mb::IDOK};

    ASSERT_EQ(RestoreImagesCommand(host, drives, "A").outcome, CommandOutcome::Done);
    const std::string next = "box " + BuiltInMessages().Text(MessageId::NextMedium) + "\r\n" +
                             BuiltInMessages().Text(MessageId::NextMediumReady);
    // Each medium is read back before its box.
    auto disk = [](const char* title) {
        return Seen{"status " + BuiltInMessages().Text(MessageId::RestoringStatus, title),
                    "status " + BuiltInMessages().Text(MessageId::VerifyingStatus, title)};
    };
    Seen expected{ScriptedHost::BoxOf(40), "busy"};
    for (const Seen& part : {disk("DISK 1"), Seen{next}, disk("DISK 2"), Seen{next}, disk("DISK 3"),
                             Seen{ScriptedHost::BoxOf(43), "status ", "idle"}})
        expected.insert(expected.end(), part.begin(), part.end());
    EXPECT_EQ(host.seen, expected);
    EXPECT_EQ(CountLogged(memory, "eject"), 3);
}

TEST_F(TransferCommands, RestorationEndsAtTheFirstNoOrFailure)
{
    SelectImage("one.img", "DISK 1", 8);
    SelectImage("two.img", "DISK 2", 8);
    memory.media['A'] = MemoryDrive::PatternMedium(8);

    host.answers = {mb::IDNO};
    EXPECT_EQ(RestoreImagesCommand(host, drives, "A").outcome, CommandOutcome::Declined);
    EXPECT_TRUE(memory.log.empty());

    host.answers = {mb::IDYES, mb::IDCANCEL}; // Cancel in the first next-medium box
    EXPECT_EQ(RestoreImagesCommand(host, drives, "A").outcome, CommandOutcome::Declined);
    EXPECT_EQ(CountLogged(memory, "eject"), 1);

    host.seen.clear();
    memory.failWriteAt = 3;
    host.answers = {mb::IDYES};
    const CommandResult failed = RestoreImagesCommand(host, drives, "A");
    EXPECT_EQ(failed.outcome, CommandOutcome::Failed);
    EXPECT_EQ(failed.transfer.status.error, EIO) << "the system's reason goes back to the caller";
    EXPECT_EQ(host.seen[host.seen.size() - 3], ScriptedHost::BoxOf(42));
    EXPECT_EQ(CountLogged(memory, "eject"), 2) << "ejected after the failure too";

    // Esc during the first medium: ejected, told, the rest not asked for.
    memory.failWriteAt.reset();
    host.seen.clear();
    host.pumps = 0;
    host.escAtPump = 3;
    host.answers = {mb::IDYES};
    EXPECT_EQ(RestoreImagesCommand(host, drives, "A").outcome, CommandOutcome::Cancelled);
    EXPECT_EQ(host.seen[host.seen.size() - 3], ScriptedHost::BoxOf(36));
    EXPECT_EQ(host.flags.back(), mb::OK | mb::ICONWARNING | mb::TASKMODAL | mb::SETFOREGROUND);
    EXPECT_EQ(CountLogged(memory, "eject"), 3);
    EXPECT_FALSE(host.cancel) << "the end clears the request";
}

// An image file that fails after the check before the first disk (here
// cut short while the next medium is asked for) is named with the
// system's reason; the disk is not blamed.
TEST_F(TransferCommands, AnImageFileThatCannotBeReadIsNamedNotTheDisk)
{
    struct CuttingHost : ScriptedHost {
        std::string victim;
        int Box(const std::string& text, const std::string& caption, unsigned f) override
        {
            if (text.rfind(BuiltInMessages().Text(MessageId::NextMedium), 0) == 0)
                fs::resize_file(victim, 300);
            return ScriptedHost::Box(text, caption, f);
        }
    } cutting;
    SelectImage("one.img", "DISK 1", 8);
    SelectImage("two.img", "DISK 2", 8);
    cutting.selected = host.selected;
    cutting.victim = dir.file("two.img");
    memory.media['A'] = MemoryDrive::PatternMedium(8);
    cutting.answers = {mb::IDYES, mb::IDOK};

    const CommandResult result = RestoreImagesCommand(cutting, drives, "A");
    EXPECT_EQ(result.outcome, CommandOutcome::Failed);
    EXPECT_EQ(result.transfer.source, FailureSource::ImageFile);
    const std::string box =
        ScriptedHost::BoxOf(116, dir.file("two.img")) + "\r\n" + IoStatus::Fail(ENODATA).message();
    ASSERT_GE(cutting.seen.size(), 3u);
    EXPECT_EQ(cutting.seen[cutting.seen.size() - 3], box);
    EXPECT_EQ(std::count(cutting.seen.begin(), cutting.seen.end(), ScriptedHost::BoxOf(42)), 0);
}

// A created image whose sectors 5, 20 and 21 stayed unreadable, selected.
class RereadCommand : public TransferCommands {
protected:
    std::string image;
    std::vector<std::uint8_t> medium;

    void SetUp() override
    {
        memory.media['A'] = MemoryDrive::PatternMedium(36);
        medium = memory.media['A'].bytes;
        memory.badSectors = {5, 20, 21};
        host.answers = {mb::IDYES};
        const CommandResult created = Create();
        ASSERT_EQ(created.outcome, CommandOutcome::Done);
        image = created.path;
        LibraryRow row{};
        row[kTitle] = "GAME";
        host.selected = {{row, image}};
        host.seen.clear();
        host.pumps = 0;
        memory.log.clear();
    }

    std::string Image() const { return dir.read(fs::path(image).filename().string()); }
    std::vector<std::uint64_t> Listed() const
    {
        SectorMap map;
        EXPECT_TRUE(ReadImageMap(image, 512, 36, map).ok());
        return map.Sectors();
    }
    // Sector k of the image is sector k of the medium.
    bool SectorAsOnMedium(std::uint64_t k) const
    {
        const std::string bytes = Image();
        return std::equal(medium.begin() + k * 512, medium.begin() + (k + 1) * 512, bytes.begin() + 256 + k * 512,
                          [](std::uint8_t a, char b) { return a == static_cast<std::uint8_t>(b); });
    }
};

TEST_F(RereadCommand, ReadsOnlyTheListedSectorsAndShrinksTheMapUntilItGoes)
{
    // Sector 5 reads on its third try now, 21 at once, 20 not at all.
    memory.badSectors = {20};
    memory.weakSectors = {{5, 2}};
    CommandResult result = RereadImageCommand(host, drives, "A");
    ASSERT_EQ(result.outcome, CommandOutcome::Done);
    EXPECT_EQ(host.seen, (Seen{"busy", "status " + BuiltInMessages().Text(MessageId::RereadUnreadable) + "...",
                               ScriptedHost::BoxOf(111, "2 / 1"), "rescan", "status ", "idle"}));
    EXPECT_EQ(host.flags.back(), mb::OK | mb::ICONWARNING | mb::TASKMODAL | mb::SETFOREGROUND);
    EXPECT_EQ(Listed(), (std::vector<std::uint64_t>{20}));
    EXPECT_TRUE(SectorAsOnMedium(5) && SectorAsOnMedium(21));
    EXPECT_EQ(CountLogged(memory, "read "), 3 + 3 + 1) << "listed sectors only, each with its tries";
    EXPECT_TRUE(Logged(memory, "lock"));
    EXPECT_EQ(memory.log.back(), "eject A");
    // The map's comments carry the hashes of the data as it is now.
    DataHashes now;
    ASSERT_TRUE(HashImageFile(image, now).ok());
    EXPECT_EQ(result.transfer.hashes.sha1, now.sha1);
    EXPECT_NE(dir.read(fs::path(MapPathOf(image)).filename().string()).find("# sha1 " + now.sha1 + "\n"),
              std::string::npos);

    memory.badSectors.clear();
    host.seen.clear();
    result = RereadImageCommand(host, drives, "A");
    ASSERT_EQ(result.outcome, CommandOutcome::Done);
    EXPECT_EQ(host.seen[2], ScriptedHost::BoxOf(112));
    EXPECT_EQ(host.flags.back(), mb::OK | mb::ICONINFORMATION | mb::TASKMODAL | mb::SETFOREGROUND);
    EXPECT_FALSE(fs::exists(MapPathOf(image)));
    EXPECT_EQ(Image().substr(256), std::string(medium.begin(), medium.end()));
}

TEST_F(RereadCommand, EscKeepsWhatWasReadAndTheMapTellsTheRest)
{
    memory.badSectors.clear();
    host.escAtPump = 3; // the status pump, sector 5, then Esc before sector 20
    EXPECT_EQ(RereadImageCommand(host, drives, "A").outcome, CommandOutcome::Cancelled);
    EXPECT_EQ(host.seen[2], ScriptedHost::BoxOf(36));
    EXPECT_EQ(Listed(), (std::vector<std::uint64_t>{20, 21}));
    EXPECT_TRUE(SectorAsOnMedium(5));
    EXPECT_FALSE(host.cancel);
}

TEST_F(RereadCommand, AnotherKindOfMediumOrNoMapReadsNothing)
{
    const auto before = Image();
    memory.badSectors.clear();
    memory.media['A'] = MemoryDrive::PatternMedium(72);
    CommandResult result = RereadImageCommand(host, drives, "A");
    EXPECT_EQ(result.outcome, CommandOutcome::Failed);
    EXPECT_EQ(result.transfer.status.error, EMEDIUMTYPE);
    EXPECT_EQ(host.seen[2].rfind(ScriptedHost::BoxOf(37) + "\r\n", 0), 0u) << host.seen[2];
    EXPECT_EQ(CountLogged(memory, "read "), 0);
    EXPECT_EQ(memory.log.back(), "eject A");
    EXPECT_EQ(Listed(), (std::vector<std::uint64_t>{5, 20, 21}));

    fs::remove(MapPathOf(image));
    memory.media['A'] = MemoryDrive::PatternMedium(36);
    host.seen.clear();
    result = RereadImageCommand(host, drives, "A");
    EXPECT_EQ(result.outcome, CommandOutcome::Failed);
    EXPECT_EQ(result.transfer.source, FailureSource::ImageFile);
    EXPECT_EQ(CountLogged(memory, "read "), 0);
    EXPECT_EQ(Image(), before);
}

// Re-reading a drive that someone else holds when it is locked: in use,
// nothing read, and the medium stays in the drive (creation and restoration
// are checked over a claimed loop device).
TEST_F(RereadCommand, ADriveHeldElsewhereIsInUse)
{
    const std::string before = Image();
    memory.lockError = EBUSY;
    EXPECT_EQ(RereadImageCommand(host, drives, "A").outcome, CommandOutcome::Failed);
    EXPECT_EQ(host.seen[host.seen.size() - 3],
              "box " + DriveFailureText(host.messages, "A", {.state = DriveState::InUse, .error = EBUSY}));
    EXPECT_EQ(CountLogged(memory, "read "), 0);
    EXPECT_FALSE(Logged(memory, "eject A"));
    EXPECT_EQ(Image(), before);
}

} // namespace

// --- images in use: holds between instances ---

namespace {

bool Saw(const ScriptedHost& host, const std::string& line)
{
    return std::find(host.seen.begin(), host.seen.end(), line) != host.seen.end();
}

} // namespace

// A second instance (another process) deletes the image while the first
// is creating it: refused and named; the creation ends as it would have.
TEST_F(TransferCommands, ImageBeingCreatedIsNotDeletedByAnotherInstance)
{
    memory.media['A'] = MemoryDrive::PatternMedium(2880);
    host.texts = {"GAME", "", "", "", "", ""};
    ChildOutcome other;
    std::string path;
    host.onPump = [&](int pump) {
        if (pump != 20)
            return;
        const std::vector<fs::path> files = Files();
        ASSERT_EQ(files.size(), 1u);
        path = files.front().string();
        other = RunInChild(
            [&] {
                ScriptedHost second;
                second.answers = {mb::IDYES};
                second.selected = {{LibraryRow{}, path}};
                const DeleteResult r = DeleteImagesCommand(second);
                const bool refused = r.outcome == CommandOutcome::Failed && r.held == std::vector<std::string>{path} &&
                                     r.failures.empty() && Saw(second, ScriptedHost::BoxOf(78, path)) &&
                                     Saw(second, "rescan");
                return refused && fs::exists(path) ? 0 : 1;
            },
            std::chrono::seconds(20));
    };
    const CommandResult result = Create();
    ASSERT_TRUE(other.finished);
    EXPECT_EQ(other.exitCode, 0) << "the other instance's deletion was not refused as it should be";
    ASSERT_EQ(result.outcome, CommandOutcome::Done);
    EXPECT_EQ(result.path, path);
    EXPECT_TRUE(Saw(host, ScriptedHost::BoxOf(38)));
    const std::string image = dir.read(fs::path(path).filename().string());
    const auto& medium = memory.media['A'].bytes;
    ASSERT_EQ(image.size(), 256u + 2880 * 512);
    EXPECT_TRUE(image.substr(256) == std::string(medium.begin(), medium.end())) << "the image is whole";
}

// A program that takes no holds deletes the file anyway: the creation
// says so instead of "created correctly", and leaves nothing behind.
TEST_F(TransferCommands, ImageDeletedDuringCreationIsAFailure)
{
    memory.media['A'] = MemoryDrive::PatternMedium(2880);
    host.texts = {"GAME", "", "", "", "", ""};
    std::string path;
    host.onPump = [&](int pump) {
        if (pump == 20) {
            path = Files().front().string();
            ASSERT_EQ(::unlink(path.c_str()), 0);
        }
    };
    const CommandResult result = Create();
    EXPECT_EQ(result.outcome, CommandOutcome::Failed);
    EXPECT_TRUE(Saw(host, ScriptedHost::BoxOf(79, path)));
    EXPECT_FALSE(Saw(host, ScriptedHost::BoxOf(38)));
    EXPECT_EQ(host.flags.back(), mb::OK | mb::ICONERROR | mb::TASKMODAL | mb::SETFOREGROUND);
    EXPECT_TRUE(Files().empty());
    EXPECT_EQ(host.seen.back(), "idle");
}

// Holds of each kind against the commands of another instance: an image
// being restored may be restored again but neither deleted nor edited; an
// image being edited is neither restored nor edited nor deleted.
TEST_F(TransferCommands, HeldImagesAreRefusedByDeletionEditingAndRestoration)
{
    SelectImage("GAME.IMG", "GAME", 36);
    const std::string path = host.selected.front().path;
    host.selected.front().row[kFileNameColumn] = "GAME.IMG";
    const std::string before = dir.read("GAME.IMG");
    const std::string held = ScriptedHost::BoxOf(78, "GAME.IMG");
    memory.media['A'] = MemoryDrive::PatternMedium(36);

    for (const HoldKind kind : {HoldKind::Shared, HoldKind::Exclusive}) {
        ImageHold elsewhere; // another instance's own descriptor: flock holds between descriptors
        ASSERT_TRUE(elsewhere.Take(path, kind).ok());

        host.seen.clear();
        host.texts = {"EDITED", "", "", "", "", ""};
        EXPECT_EQ(EditPropertiesCommand(host).outcome, CommandOutcome::Failed);
        EXPECT_TRUE(Saw(host, held));
        EXPECT_FALSE(Saw(host, "properties")) << "no dialog over a held image";

        host.seen.clear();
        host.answers = {mb::IDYES};
        const DeleteResult deleted = DeleteImagesCommand(host);
        EXPECT_EQ(deleted.outcome, CommandOutcome::Failed);
        EXPECT_TRUE(Saw(host, held));
        EXPECT_EQ(dir.read("GAME.IMG"), before);

        host.seen.clear();
        host.answers = {mb::IDYES};
        memory.log.clear();
        const CommandOutcome restored = RestoreImagesCommand(host, drives, "A").outcome;
        if (kind == HoldKind::Shared) {
            EXPECT_EQ(restored, CommandOutcome::Done) << "two instances may restore one image at once";
        } else {
            EXPECT_EQ(restored, CommandOutcome::Failed);
            EXPECT_TRUE(Saw(host, held));
            EXPECT_EQ(CountLogged(memory, "write"), 0) << "nothing written from an image being edited";
        }
    }
    // Released: all of it goes through.
    host.seen.clear();
    EXPECT_EQ(EditPropertiesCommand(host).outcome, CommandOutcome::Done);
    EXPECT_NE(dir.read("GAME.IMG"), before);
    host.answers = {mb::IDYES};
    EXPECT_EQ(DeleteImagesCommand(host).outcome, CommandOutcome::Done);
    EXPECT_TRUE(Files().empty());
}
