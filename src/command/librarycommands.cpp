// The commands of the library without a drive: the scan, deletion, the
// property editor, and applying the configuration.
#include <cerrno>
#include <filesystem>
#include <system_error>

#include "command/boxes.h"
#include "command/commands.h"
#include "library/imageedit.h"
#include "library/imagehold.h"

using namespace commandbox;

namespace {

// The folder could be listed at all (a missing or unreadable folder leaves
// the sort state of the previous scan alone).
bool FolderListable(const std::string& folder)
{
    std::error_code ec;
    std::filesystem::directory_iterator it(folder.empty() ? std::string(".") : folder, ec);
    return !ec;
}

// The file name as the list shows it, or the path where there is no list.
std::string NameOf(const ImageEntry& entry)
{
    const std::string& name = entry.row[kFileNameColumn];
    return name.empty() ? entry.path : name;
}

} // namespace

void ScanCommand(CommandHost& host, const std::string& folder)
{
    host.EnableCommands(false);
    // The end of the scan runs on every way out.
    struct LeaveBusy {
        CommandHost& host;
        ~LeaveBusy()
        {
            host.HoldPainting(false);
            host.EnableCommands(true);
            host.SetStatusText({});
            host.ProcessMessages();
        }
    } leave{host};

    host.SetStatusText(Msg(host, MessageId::ScanningStatus));
    host.ProcessMessages();
    host.ClearRows();
    if (!FolderListable(folder))
        return;
    std::vector<ImageCondition> conditions;
    std::vector<LibraryRow> rows = ScanImageFolder(folder, conditions);
    host.FillRows(std::move(rows), std::move(conditions));

    host.HoldPainting(true);
    int column = 0, direction = +1;
    ScanSortPasses(column, direction, [&] { host.SortRows(column, direction); });
}

DeleteResult DeleteImagesCommand(CommandHost& host)
{
    DeleteResult result;
    const std::vector<ImageEntry> entries = host.SelectedImages();
    if (entries.empty()) {
        result.outcome = CommandOutcome::Declined;
        return result;
    }
    if (host.Box(Msg(host, MessageId::DeleteConfirm), Msg(host, MessageId::CaptionConfirm), mb::YESNO | mb::ICONQUESTION | kStyle) != mb::IDYES) {
        result.outcome = CommandOutcome::Declined;
        return result;
    }
    std::vector<std::string> paths;
    paths.reserve(entries.size());
    for (const ImageEntry& entry : entries)
        paths.push_back(entry.path);
    // Deletion is final. A file another program removed first is as good as
    // deleted; one that stayed is named once the list shows what is left.
    const std::vector<IoStatus> deleted = DeleteImageFiles(paths);
    std::string names, heldNames;
    for (std::size_t i = 0; i < paths.size() && i < deleted.size(); ++i) {
        if (deleted[i].ok() || deleted[i].error == ENOENT)
            continue;
        if (HeldElsewhere(deleted[i])) {
            result.held.push_back(paths[i]);
            heldNames += (heldNames.empty() ? "" : ", ") + NameOf(entries[i]);
            continue;
        }
        result.failures.emplace_back(paths[i], deleted[i]);
        names += "\r\n" + NameOf(entries[i]) + ": " + deleted[i].message();
    }
    host.Rescan();
    if (!result.failures.empty() || !result.held.empty())
        result.outcome = CommandOutcome::Failed;
    if (!result.held.empty())
        host.Box(Msg(host, MessageId::ImageInUse, heldNames), Msg(host, MessageId::CaptionConfirm), kError);
    if (!result.failures.empty())
        host.Box(Msg(host, MessageId::NotDeleted, names), Msg(host, MessageId::CaptionConfirm), kError);
    return result;
}

void ApplyConfigurationCommand(CommandHost& host, RegStore& store, const std::string& drive,
                               const std::string& folder, std::string& sourceDrive, std::string& imageFolder,
                               const std::map<char, std::string>& bindings)
{
    sourceDrive = drive;
    imageFolder = folder;
    store.RegWriteString(0, kSystemKey, "Drive", sourceDrive);
    store.RegWriteString(0, kSystemKey, "Dir", imageFolder);
    // Each letter offered now keeps its device, whatever the kernel calls it
    // later and whatever else is plugged in.
    for (const auto& [letter, identity] : bindings)
        store.RegWriteString(0, kDevicesKey, std::string(1, letter), identity);
    host.Rescan();
}

CommandResult EditPropertiesCommand(CommandHost& host)
{
    CommandResult result;
    const std::vector<ImageEntry> entries = host.SelectedImages();
    if (entries.size() != 1) {
        result.outcome = CommandOutcome::Declined;
        return result;
    }
    const std::string& path = entries.front().path;

    ImageHeaderFile file;
    const IoStatus opened = file.Open(path);
    if (opened.error == ENOENT) {
        host.Box(host.AboutFile(path, Msg(host, MessageId::ImageMissing)), Msg(host, MessageId::CaptionConfirm), kError);
        host.Rescan();
        result.outcome = CommandOutcome::Failed;
        return result;
    }
    if (!opened.ok()) {
        // Read-only, not a file, or too short for a header: nothing is written.
        host.Box(host.AboutFile(path, opened.message()), Msg(host, MessageId::CaptionError), kError);
        result.outcome = CommandOutcome::Failed;
        return result;
    }

    // Held until the header is written: another instance neither deletes
    // nor edits it meanwhile, and one being created or restored is not edited.
    ImageHold hold;
    if (const IoStatus taken = hold.Take(path, HoldKind::Exclusive); !taken.ok()) {
        host.Box(HeldElsewhere(taken) ? Msg(host, MessageId::ImageInUse, NameOf(entries.front())) : host.AboutFile(path, taken.message()),
                 HeldElsewhere(taken) ? Msg(host, MessageId::CaptionConfirm) : Msg(host, MessageId::CaptionError), kError);
        result.outcome = CommandOutcome::Failed;
        return result;
    }

    ImageTexts texts = ReadHeader(file.header()).texts;
    if (!host.AskProperties(texts)) {
        result.outcome = CommandOutcome::Declined;
        return result; // the file closes unchanged, the list stays as it is
    }

    // Another program (an instance without holds, an editor) may have
    // written the header while the dialog was open; it is not overwritten
    // silently.
    bool changed = false;
    if (IoStatus again = file.Recheck(changed); !again.ok()) {
        host.Box(host.AboutFile(path, again.message()), Msg(host, MessageId::CaptionError), kError);
        host.Rescan();
        result.outcome = CommandOutcome::Failed;
        result.transfer.status = again;
        return result;
    }
    if (changed && host.Box(Msg(host, MessageId::HeaderChangedElsewhere, NameOf(entries.front())), Msg(host, MessageId::CaptionConfirm),
                            mb::YESNO | mb::ICONQUESTION | kStyle) != mb::IDYES) {
        host.Rescan(); // the list shows what the other program wrote
        result.outcome = CommandOutcome::Declined;
        return result;
    }

    IoStatus written = file.WriteTexts(texts);
    const IoStatus closed = file.Close();
    if (written.ok())
        written = closed;
    if (!written.ok()) {
        host.Box(host.AboutFile(path, written.message()), Msg(host, MessageId::CaptionError), kError);
        result.outcome = CommandOutcome::Failed;
        result.transfer.status = written;
    }
    host.Rescan();
    return result;
}
