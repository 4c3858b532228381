// Image creation and restoration as commands: the dialogue with the user
// around the copy loops of media/.
#include <cerrno>
#include <filesystem>
#include <system_error>

#include "command/boxes.h"
#include "command/commands.h"
#include "base/cp932.h"
#include "library/imagehold.h"
#include "library/newname.h"
#include "library/sectormap.h"
#include "media/create.h"
#include "media/drivetext.h"
#include "media/reread.h"
#include "media/restore.h"

using namespace commandbox;

namespace {

// The caption of the no-medium question: the product name.
const std::string kProductName = "Tessarine";

char DriveLetter(const std::string& drive)
{
    return drive.empty() ? 'A' : drive.front();
}

// The no-medium question, repeated on Retry while the drive has no medium;
// any other state of the drive is told once.
CommandOutcome WaitForMedium(CommandHost& host, DriveAccess& drives, const std::string& drive)
{
    for (;;) {
        const DriveStatus status = drives.DriveReady(DriveLetter(drive));
        if (status.ready())
            return CommandOutcome::Done;
        if (status.state != DriveState::NoMedium) {
            host.Box(DriveFailureText(host.messages, drive, status), Msg(host, MessageId::CaptionError), kError);
            return CommandOutcome::Failed;
        }
        if (host.Box(Msg(host, MessageId::NoMedium, drive), kProductName, mb::RETRYCANCEL | mb::ICONQUESTION | kStyle) != mb::IDRETRY)
            return CommandOutcome::NoMedium;
    }
}

// The end of a transfer command, on every way out: status empty, messages
// pumped, the cancel flag cleared, the bar at 0, the busy state left.
struct TransferEnd {
    CommandHost& host;
    ~TransferEnd()
    {
        host.SetStatusText({});
        host.ProcessMessages();
        host.ClearCancel();
        host.SetProgress(0);
        host.EnableCommands(true);
    }
};

// Removes the file of a creation that did not complete; a file that stays
// behind is reported, so nobody takes it for an image.
void DeleteUnfinishedImage(CommandHost& host, const std::string& path)
{
    std::error_code ec;
    std::filesystem::remove(path, ec);
    if (!ec)
        std::filesystem::remove(MapPathOf(path), ec);
    if (ec)
        host.Box(path + ": " + ec.message(), Msg(host, MessageId::CaptionError), kError);
}

// Every image of a restore run, checked before the first medium is asked
// for: a broken one is named and nothing is written; images with
// unreadable sectors are written only when the user says so.
bool ImagesFitForRestore(CommandHost& host, const std::vector<ImageEntry>& entries)
{
    std::string broken, holes;
    for (const ImageEntry& entry : entries) {
        const std::string name = Cp932ToUtf8(entry.row[kTitle]) + " (" + entry.row[kFileNameColumn] + ")";
        const RestoreCheck check = CheckImageForRestore(entry.path);
        if (!check.status.ok()) {
            const ImageCondition& c = check.condition;
            const std::string why =
                check.status.error == ENODATA && c.sectorCount != 0
                    ? Msg(host, MessageId::IncompleteImage, std::to_string(c.sectorsHeld) + "/" + std::to_string(c.sectorCount))
                    : check.status.message();
            broken += "\r\n" + name + ": " + why;
        } else if (check.unreadable != 0) {
            holes += "\r\n" + name + ": " + Msg(host, MessageId::UnreadableCount, std::to_string(check.unreadable));
        }
    }
    if (!broken.empty()) {
        host.Box(Msg(host, MessageId::CannotRestore, broken), Msg(host, MessageId::CaptionError), kError);
        return false;
    }
    return holes.empty() || host.Box(Msg(host, MessageId::RestoreWithHoles, holes), Msg(host, MessageId::CaptionWarning), mb::YESNO | mb::ICONWARNING | kStyle) == mb::IDYES;
}

// Every image of a restore run held (shared) for the whole run, so that
// another instance neither deletes nor edits one meanwhile; one that
// another instance is creating or editing is named and nothing is written.
bool HoldImagesForRestore(CommandHost& host, const std::vector<ImageEntry>& entries, std::vector<ImageHold>& holds)
{
    std::string names;
    for (const ImageEntry& entry : entries) {
        ImageHold hold;
        // Any other failure shows in the check of the images that follows.
        if (HeldElsewhere(hold.Take(entry.path, HoldKind::Shared)))
            names += (names.empty() ? "" : ", ") +
                     (entry.row[kFileNameColumn].empty() ? entry.path : entry.row[kFileNameColumn]);
        holds.push_back(std::move(hold));
    }
    if (names.empty())
        return true;
    host.Box(Msg(host, MessageId::ImageInUse, names), Msg(host, MessageId::CaptionConfirm), kError);
    return false;
}

// A medium with a mounted file system is neither read (the image would be
// stale) nor written (the file system would break) until it is unmounted,
// which the user is asked for; No ends the command with nothing done.
CommandOutcome OfferUnmount(CommandHost& host, DriveAccess& drives, const std::string& drive)
{
    const std::vector<std::string> points = drives.MountPoints(DriveLetter(drive));
    if (points.empty())
        return CommandOutcome::Done;
    std::string joined;
    for (const std::string& p : points)
        joined += (joined.empty() ? "" : ", ") + p;
    if (host.Box(Msg(host, MessageId::MediumMounted, joined), Msg(host, MessageId::CaptionConfirm),
                 mb::YESNO | mb::ICONQUESTION | kStyle) != mb::IDYES)
        return CommandOutcome::Declined;
    if (const DriveStatus st = drives.UnmountAll(DriveLetter(drive)); !st.ready()) {
        host.Box(DriveFailureText(host.messages, drive, st), Msg(host, MessageId::CaptionError), kError);
        return CommandOutcome::Failed;
    }
    return CommandOutcome::Done;
}

// The medium comes out after a transfer, unless someone else holds the drive.
void EjectUnlessHeld(DriveAccess& drives, char letter, const TransferResult& transfer)
{
    if (transfer.source != FailureSource::DriveInUse)
        drives.Eject(letter);
}

// A transfer that did not start because someone else holds the drive: it is
// told as in use, naming what the drive reaches.
bool ToldDriveInUse(CommandHost& host, DriveAccess& drives, const std::string& drive, const TransferResult& transfer)
{
    if (transfer.outcome != kTransferFailed || transfer.source != FailureSource::DriveInUse)
        return false;
    const DriveStatus status{.state = DriveState::InUse, .error = transfer.status.error,
                             .device = drives.DescribeTarget(DriveLetter(drive))};
    host.Box(DriveFailureText(host.messages, drive, status), Msg(host, MessageId::CaptionError), kError);
    return true;
}

CommandResult Outcome(CommandOutcome outcome, TransferResult transfer = {})
{
    return {outcome, std::move(transfer), {}};
}

} // namespace

CommandResult CreateImageCommand(CommandHost& host, const DriveFactory& makeDrives, const std::string& drive,
                                 const std::string& folder)
{
    const char letter = DriveLetter(drive);
    const std::unique_ptr<DriveAccess> drives = makeDrives();
    if (const CommandOutcome waited = WaitForMedium(host, *drives, drive); waited != CommandOutcome::Done)
        return Outcome(waited);
    if (const CommandOutcome unmounted = OfferUnmount(host, *drives, drive); unmounted != CommandOutcome::Done)
        return Outcome(unmounted);

    host.EnableCommands(false);
    const TransferEnd end{host};
    host.ClearCancel();
    host.SetStatusText(Msg(host, MessageId::CreatingStatus));
    host.ProcessMessages();

    int error = 0;
    CommandResult result;
    result.path = NewImageFileName(folder, error);
    if (result.path.empty()) {
        // The folder is named: a relative one depends on the current directory.
        host.Box(folder + ": " + IoStatus::Fail(error).message(), Msg(host, MessageId::CaptionError), kError);
        result.outcome = CommandOutcome::Failed;
        return result;
    }
    // From its first moment to the end: another instance lists the file but
    // may not delete or edit it.
    ImageHold hold;
    if (const IoStatus held = hold.Take(result.path, HoldKind::Exclusive); !held.ok()) {
        host.Box(result.path + ": " + held.message(), Msg(host, MessageId::CaptionError), kError);
        DeleteUnfinishedImage(host, result.path);
        result.outcome = CommandOutcome::Failed;
        return result;
    }

    try {
        result.transfer = CreateFromDrive(*drives, letter, result.path, host);
    } catch (...) {
        // The settings store failed under the property dialog: the error is
        // the caller's to show, the empty file must not stay behind.
        std::error_code ec;
        std::filesystem::remove(result.path, ec);
        throw;
    }
    const TransferResult& transfer = result.transfer;
    switch (transfer.outcome) {
    case kTransferCancelled:
        drives->Eject(letter);
        host.Box(Msg(host, MessageId::Cancelled), Msg(host, MessageId::CaptionConfirm), mb::OK | mb::ICONWARNING | kStyle);
        DeleteUnfinishedImage(host, result.path);
        result.outcome = CommandOutcome::Cancelled;
        break;
    case kTransferFailed:
        EjectUnlessHeld(*drives, letter, transfer);
        // A failing image file is not the disk's fault: the system says what went wrong.
        if (!ToldDriveInUse(host, *drives, drive, transfer))
            host.Box(transfer.source == FailureSource::ImageFile ? transfer.errorText() : Msg(host, MessageId::ReadFailed), Msg(host, MessageId::CaptionError), kError);
        DeleteUnfinishedImage(host, result.path);
        result.outcome = CommandOutcome::Failed;
        break;
    case kTransferNotConfirmed:
        DeleteUnfinishedImage(host, result.path);
        result.outcome = CommandOutcome::Declined;
        break;
    default:
        drives->Eject(letter);
        // Holds do not stop a program that takes none: a file deleted
        // meanwhile is no image, whatever the copy wrote.
        if (bool linked = false; !hold.StillLinked(linked).ok() || !linked) {
            host.Box(Msg(host, MessageId::ImageRemovedWhileCreated, result.path), Msg(host, MessageId::CaptionError), kError);
            DeleteUnfinishedImage(host, result.path);
            host.Rescan();
            result.outcome = CommandOutcome::Failed;
            break;
        }
        // An image with holes is kept, but never passes for a good one.
        if (transfer.unreadable != 0)
            host.Box(Msg(host, MessageId::CreatedWithHoles, std::to_string(transfer.unreadable)), Msg(host, MessageId::CaptionWarning), mb::OK | mb::ICONWARNING | kStyle);
        else
            host.Box(Msg(host, MessageId::Created), Msg(host, MessageId::CaptionConfirm), mb::OK | mb::ICONINFORMATION | kStyle);
        host.Rescan();
        result.outcome = CommandOutcome::Done;
        break;
    }
    return result;
}

CommandResult RestoreImagesCommand(CommandHost& host, const DriveFactory& makeDrives, const std::string& drive,
                                   const std::vector<std::string>& protectedPaths)
{
    const char letter = DriveLetter(drive);
    const std::unique_ptr<DriveAccess> drives = makeDrives();
    // The question names what would be overwritten.
    const std::string target = drives->DescribeTarget(letter);
    if (host.Box(target.empty() ? Msg(host, MessageId::RestoreConfirm) : Msg(host, MessageId::RestoreConfirm) + "\r\n" + target, Msg(host, MessageId::CaptionConfirm), mb::YESNO | mb::ICONQUESTION | kStyle) !=
        mb::IDYES)
        return Outcome(CommandOutcome::Declined);

    host.EnableCommands(false);
    const TransferEnd end{host};
    host.ClearCancel();

    // In list order; the list is disabled, so the selection stays as it was.
    const std::vector<ImageEntry> entries = host.SelectedImages();
    std::vector<ImageHold> holds;
    if (!HoldImagesForRestore(host, entries, holds) || !ImagesFitForRestore(host, entries))
        return Outcome(CommandOutcome::Failed);
    std::size_t processed = 0;
    for (const ImageEntry& entry : entries) {
        ++processed;
        // The scan already trimmed the title's bytes.
        host.SetStatusText(Msg(host, MessageId::RestoringStatus, Cp932ToUtf8(entry.row[kTitle])));
        host.verifyingText = Msg(host, MessageId::VerifyingStatus, Cp932ToUtf8(entry.row[kTitle]));
        host.ProcessMessages();

        // Never onto an image of the set, a file of the folder or the settings, under any name.
        std::vector<std::string> kept = protectedPaths;
        for (const ImageEntry& e : entries)
            kept.push_back(e.path);
        if (drives->Reaches(letter, kept)) {
            host.Box(Msg(host, MessageId::TargetInLibrary, drives->DescribeTarget(letter)),
                     Msg(host, MessageId::CaptionError), kError);
            return Outcome(CommandOutcome::Failed);
        }
        if (const CommandOutcome waited = WaitForMedium(host, *drives, drive); waited != CommandOutcome::Done)
            return Outcome(waited);
        if (const CommandOutcome unmounted = OfferUnmount(host, *drives, drive); unmounted != CommandOutcome::Done)
            return Outcome(unmounted);
        TransferResult transfer = RestoreToDrive(*drives, letter, entry.path, host);
        EjectUnlessHeld(*drives, letter, transfer);
        if (ToldDriveInUse(host, *drives, drive, transfer))
            return Outcome(CommandOutcome::Failed, std::move(transfer));

        if (transfer.outcome == kTransferCancelled) {
            host.Box(Msg(host, MessageId::Cancelled), Msg(host, MessageId::CaptionConfirm), mb::OK | mb::ICONWARNING | kStyle);
            return Outcome(CommandOutcome::Cancelled, std::move(transfer));
        }
        if (transfer.differing != 0) {
            // Written, but not what the image holds: never "restored correctly".
            host.Box(Msg(host, MessageId::VerifyMismatch, std::to_string(transfer.firstDiffering) + " / " + std::to_string(transfer.differing)),
                     Msg(host, MessageId::CaptionError), kError);
            return Outcome(CommandOutcome::Failed, std::move(transfer));
        }
        if (transfer.outcome == kTransferFailed && transfer.source == FailureSource::ImageFile) {
            // Not the disk's fault: the file is named with the system's reason.
            host.Box(Msg(host, MessageId::ImageUnreadable, entry.path) + "\r\n" + transfer.errorText(), Msg(host, MessageId::CaptionError), kError);
            return Outcome(CommandOutcome::Failed, std::move(transfer));
        }
        if (transfer.outcome == kTransferFailed) {
            host.Box(Msg(host, MessageId::WriteFailed), Msg(host, MessageId::CaptionConfirm), mb::OK | mb::ICONERROR | kStyle);
            return Outcome(CommandOutcome::Failed, std::move(transfer));
        }
        if (processed == entries.size()) {
            host.Box(Msg(host, MessageId::Restored), Msg(host, MessageId::CaptionConfirm), mb::OK | mb::ICONINFORMATION | kStyle);
        } else if (host.Box(Msg(host, MessageId::NextMedium) + "\r\n" + Msg(host, MessageId::NextMediumReady), Msg(host, MessageId::CaptionConfirm), mb::OKCANCEL | mb::ICONINFORMATION | kStyle) !=
                   mb::IDOK) {
            return Outcome(CommandOutcome::Declined, std::move(transfer));
        }
    }
    return Outcome(CommandOutcome::Done);
}

CommandResult RereadImageCommand(CommandHost& host, const DriveFactory& makeDrives, const std::string& drive)
{
    const std::vector<ImageEntry> entries = host.SelectedImages();
    if (entries.size() != 1)
        return Outcome(CommandOutcome::Declined);
    const ImageEntry& entry = entries.front();
    const char letter = DriveLetter(drive);
    const std::unique_ptr<DriveAccess> drives = makeDrives();
    if (const CommandOutcome waited = WaitForMedium(host, *drives, drive); waited != CommandOutcome::Done)
        return Outcome(waited);
    if (const CommandOutcome unmounted = OfferUnmount(host, *drives, drive); unmounted != CommandOutcome::Done)
        return Outcome(unmounted);

    host.EnableCommands(false);
    const TransferEnd end{host};
    host.ClearCancel();
    host.SetStatusText(Msg(host, MessageId::RereadUnreadable) + "...");
    host.ProcessMessages();

    TransferResult transfer = RereadUnreadable(*drives, letter, entry.path, host);
    EjectUnlessHeld(*drives, letter, transfer);
    if (ToldDriveInUse(host, *drives, drive, transfer))
        return Outcome(CommandOutcome::Failed, std::move(transfer));
    CommandOutcome outcome = CommandOutcome::Done;
    switch (transfer.outcome) {
    case kTransferCancelled:
        host.Box(Msg(host, MessageId::Cancelled), Msg(host, MessageId::CaptionConfirm),
                 mb::OK | mb::ICONWARNING | kStyle);
        outcome = CommandOutcome::Cancelled;
        break;
    case kTransferFailed:
        // The disk gets the blame only for what the drive did; the reason follows.
        host.Box(transfer.source == FailureSource::ImageFile
                     ? host.AboutFile(entry.path, transfer.errorText())
                     : Msg(host, MessageId::ReadFailed) + "\r\n" + transfer.errorText(),
                 Msg(host, MessageId::CaptionError), kError);
        return Outcome(CommandOutcome::Failed, std::move(transfer));
    default:
        if (transfer.unreadable == 0)
            host.Box(Msg(host, MessageId::RereadComplete), Msg(host, MessageId::CaptionConfirm),
                     mb::OK | mb::ICONINFORMATION | kStyle);
        else
            host.Box(Msg(host, MessageId::RereadOutcome,
                         std::to_string(transfer.recovered) + " / " + std::to_string(transfer.unreadable)),
                     Msg(host, MessageId::CaptionWarning), mb::OK | mb::ICONWARNING | kStyle);
        break;
    }
    // Also after Esc: what was read is in the image and the map says so.
    host.Rescan();
    return Outcome(outcome, std::move(transfer));
}
