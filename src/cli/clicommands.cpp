#include "cli/clicommands.h"

#include <cerrno>
#include <filesystem>
#include <system_error>

#include "cli/console.h"
#include "cli/output.h"
#include "cli/terminal.h"
#include "library/cp932.h"
#include "library/history.h"
#include "library/imageedit.h"
#include "library/scan.h"
#include "media/create.h"
#include "media/drivetext.h"
#include "media/restore.h"
#include "settings/messages.h"
#include "settings/regstore.h"
#include "settings/textconv.h"

namespace {

std::string Msg(int n, std::string_view arg = {})
{
    return MessageText(n, arg);
}

std::string UpperAscii(std::string text)
{
    for (char& c : text)
        c = AsciiUpper(c);
    return text;
}

// The exit status of a question that was not answered Yes / OK: nobody
// there to answer is a matter of calling the tool right (--yes), a No or
// Ctrl-C is the user's decision.
int NotConfirmed(const Terminal& terminal)
{
    return terminal.unanswered() && !terminal.interrupted() ? kExitUsage : kExitCancelled;
}

// The no-medium question, repeated on Retry; any other state is told once.
// kExitDone when a medium is ready.
int WaitForMedium(Terminal& terminal, DriveAccess& drives, const std::string& drive)
{
    for (;;) {
        const DriveStatus status = drives.DriveReady(drive.front());
        if (status.ready())
            return kExitDone;
        if (status.state != DriveState::NoMedium) {
            terminal.Box(DriveFailureText(drive, status), box::OK | box::ICONERROR);
            return kExitFailed;
        }
        if (terminal.Box(Msg(34, drive), box::RETRYCANCEL | box::ICONQUESTION) != box::IDRETRY)
            return terminal.interrupted() ? kExitCancelled : kExitFailed;
    }
}

// The code page 932 bytes of a text given for a field, trimmed as the
// property dialog trims; empty with error set when it cannot be stored.
std::optional<std::string> FieldBytes(const std::string& utf8, int field, std::string& error)
{
    const std::optional<std::string> bytes = Utf8ToCp932(utf8);
    if (!bytes) {
        error = ColumnCaption(field) + ": " + IoStatus::Fail(EILSEQ).message();
        return std::nullopt;
    }
    std::string trimmed(TrimBlanks(*bytes));
    // The dialog cannot take more than the field holds; neither does this.
    if (trimmed.size() > FieldWidth(field)) {
        error = Msg(108, ColumnCaption(field));
        return std::nullopt;
    }
    return trimmed;
}

// texts with every given field replaced; false (with the box shown) when a
// given text cannot be stored or the title ends up empty.
bool ApplyGivenTexts(Terminal& terminal, const GivenTexts& given, ImageTexts& texts)
{
    for (int f = 0; f < kFieldCount; ++f) {
        const auto& text = given[static_cast<std::size_t>(f)];
        if (!text)
            continue;
        std::string error;
        const std::optional<std::string> bytes = FieldBytes(*text, f, error);
        if (!bytes) {
            terminal.Box(error, box::OK | box::ICONERROR);
            return false;
        }
        texts[static_cast<std::size_t>(f)] = *bytes;
    }
    if (TrimBlanks(texts[kTitle]).empty()) {
        terminal.Box(Msg(67), box::OK | box::ICONERROR);
        return false;
    }
    return true;
}

// What the property dialog does on OK: every non-empty field goes to the
// top of its history, and all six histories are written back.
void RecordHistories(RegStore& store, const ImageTexts& texts)
{
    for (int f = 0; f < kFieldCount; ++f) {
        HistoryList list = LoadHistory(store, f);
        const std::string shown = Cp932ToUtf8(texts[static_cast<std::size_t>(f)]);
        // Bytes code page 932 does not read could not be typed back.
        if (!shown.empty() && shown.find("\xEF\xBF\xBD") == std::string::npos)
            RecordHistoryEntry(list, shown);
        SaveHistory(store, f, list);
    }
}

// A creation that did not complete leaves no file; one that stays is told.
bool DeleteUnfinishedImage(Terminal& terminal, const std::string& path)
{
    std::error_code ec;
    std::filesystem::remove(path, ec);
    if (ec)
        terminal.Box(path + ": " + ec.message(), box::OK | box::ICONERROR);
    return !ec;
}

// The header of an image file for the commands that take a path; false
// with the box shown when the file is missing, unreadable or no image.
bool ReadImageHeader(Terminal& terminal, const std::string& path, HeaderBytes& header)
{
    const IoStatus read = ReadHeaderFile(path, header);
    if (read.error == ENOENT) {
        terminal.Box(path + ": " + Msg(47), box::OK | box::ICONERROR);
        return false;
    }
    if (read.ok() && !IsImageHeader(header.data(), header.size())) {
        terminal.Box(Msg(101, path), box::OK | box::ICONERROR);
        return false;
    }
    if (!read.ok() && read.error == ENODATA) {
        terminal.Box(Msg(101, path), box::OK | box::ICONERROR);
        return false;
    }
    if (!read.ok()) {
        terminal.Box(path + ": " + read.message(), box::OK | box::ICONERROR);
        return false;
    }
    return true;
}

// The rows as the window shows them after a scan: sorted by title, then
// (stably) by target machine.
std::vector<LibraryRow> InWindowOrder(const std::vector<LibraryRow>& rows)
{
    RowOrder order(rows.size());
    for (std::size_t i = 0; i < order.size(); ++i)
        order[i] = static_cast<std::uint32_t>(i);
    for (const int column : {static_cast<int>(kTitle), static_cast<int>(kTargetMachine)})
        SortRowOrder(rows, order, [column](const LibraryRow& a, const LibraryRow& b) {
            return CompareRows(a, b, column, +1);
        });
    std::vector<LibraryRow> shown;
    shown.reserve(rows.size());
    for (const std::uint32_t i : order)
        shown.push_back(rows[i]);
    return shown;
}

} // namespace

std::string CliContext::ImageFolder() const
{
    if (!folderOverride.empty())
        return folderOverride;
    return store.RegReadString(0, kSystemKey, "Dir", "./Images/");
}

std::string CliContext::SourceDrive() const
{
    // As the window: an empty stored text keeps the built-in "A".
    const std::string drive = UpperAscii(driveOverride.empty() ? store.RegReadString(0, kSystemKey, "Drive", "A")
                                                               : driveOverride);
    return drive.empty() ? std::string("A") : drive;
}

std::string ResolveImage(const CliContext& context, const std::string& image)
{
    if (image.find('/') != std::string::npos)
        return image;
    return ImagePath(context.ImageFolder(), image);
}

int ListCommand(CliContext& context, ListFormat format)
{
    const std::string folder = context.ImageFolder();
    const std::vector<LibraryRow> rows = InWindowOrder(ScanImageFolder(folder));
    switch (format) {
    case ListFormat::Json: WriteText(Stream::Out, LibraryJson(rows, folder)); break;
    case ListFormat::Tsv: WriteText(Stream::Out, LibraryTsv(rows)); break;
    default: WriteText(Stream::Out, LibraryTable(rows)); break;
    }
    return kExitDone;
}

int InfoCommand(CliContext& context, const std::string& image, bool json)
{
    ImageInfo info;
    info.path = ResolveImage(context, image);
    HeaderBytes header{};
    if (!ReadImageHeader(context.terminal, info.path, header))
        return kExitFailed;
    info.header = ReadHeader(header);
    std::error_code ec;
    info.fileLength = std::filesystem::file_size(info.path, ec);
    if (ec) {
        context.terminal.Box(info.path + ": " + ec.message(), box::OK | box::ICONERROR);
        return kExitFailed;
    }
    WriteText(Stream::Out, json ? InfoJson(info) : InfoText(info));
    return kExitDone;
}

int DrivesCommand(CliContext& context, bool json)
{
    std::unique_ptr<DriveAccess> drives = context.drives();
    std::vector<DriveReport> reports;
    for (const DriveEntry& entry : context.driveTable()) {
        DriveReport report{entry, drives->DriveReady(entry.letter), std::nullopt};
        AllocationFigures figures;
        if (report.status.ready() && drives->QueryAllocation(entry.letter, figures).ok())
            report.mediumBytes = figures.totalSectors * figures.bytesPerSector;
        reports.push_back(std::move(report));
    }
    WriteText(Stream::Out, json ? DrivesJson(reports) : DrivesText(reports));
    return kExitDone;
}

int CreateCommand(CliContext& context, const GivenTexts& given)
{
    Terminal& terminal = context.terminal;
    ImageTexts texts;
    if (!ApplyGivenTexts(terminal, given, texts))
        return kExitUsage;

    const std::string drive = context.SourceDrive();
    const char letter = drive.front();
    std::unique_ptr<DriveAccess> drives = context.drives();
    if (const int waited = WaitForMedium(terminal, *drives, drive); waited != kExitDone)
        return waited;

    ClearCancelSignal();
    terminal.Status(Msg(35));
    int error = 0;
    const std::string path = NewImageFileName(context.ImageFolder(), error);
    if (path.empty()) {
        terminal.Box(IoStatus::Fail(error).message(), box::OK | box::ICONERROR);
        return kExitFailed;
    }
    AllocationFigures figures;
    if (drives->QueryAllocation(letter, figures).ok())
        terminal.SetUnitBytes(figures.bytesPerSector);

    TerminalTransferHost host(terminal, [&](ImageTexts& out) {
        RecordHistories(context.store, texts);
        out = texts;
        return true;
    });
    TransferResult result;
    try {
        result = CreateFromDrive(*drives, letter, path, host);
    } catch (...) {
        // The settings store failed while the histories were written: no
        // empty file stays behind; the error is told by the caller.
        std::error_code ec;
        std::filesystem::remove(path, ec);
        throw;
    }
    switch (result.outcome) {
    case kTransferCancelled:
        drives->Eject(letter);
        terminal.Box(Msg(36), box::OK | box::ICONWARNING);
        DeleteUnfinishedImage(terminal, path);
        return kExitCancelled;
    case kTransferFailed:
        drives->Eject(letter);
        // A failing image file is not the disk's fault: the system says what went wrong.
        terminal.Box(result.source == FailureSource::ImageFile ? result.errorText() : Msg(37),
                     box::OK | box::ICONERROR);
        DeleteUnfinishedImage(terminal, path);
        return kExitFailed;
    case kTransferNotConfirmed:
        DeleteUnfinishedImage(terminal, path);
        return kExitFailed;
    default:
        drives->Eject(letter);
        // An image with holes is kept, but never passes for a good one.
        if (result.unreadable != 0)
            terminal.Box(Msg(84, std::to_string(result.unreadable)), box::OK | box::ICONWARNING);
        else
            terminal.Box(Msg(38), box::OK | box::ICONINFORMATION);
        WriteText(Stream::Out, path + "\n");
        return kExitDone;
    }
}

int RestoreCommand(CliContext& context, const std::vector<std::string>& images)
{
    Terminal& terminal = context.terminal;
    struct Entry {
        std::string path;
        std::string title; // UTF-8, trimmed
        std::uint32_t bytesPerSector;
    };
    std::vector<Entry> entries;
    for (const std::string& image : images) {
        Entry entry{ResolveImage(context, image), {}, 0};
        HeaderBytes header{};
        if (!ReadImageHeader(terminal, entry.path, header))
            return kExitFailed;
        const ImageHeader read = ReadHeader(header);
        entry.title = Cp932ToUtf8(read.texts[kTitle]);
        entry.bytesPerSector = read.bytesPerSector;
        entries.push_back(std::move(entry));
    }

    if (terminal.Box(Msg(40), box::YESNO | box::ICONQUESTION) != box::IDYES)
        return NotConfirmed(terminal);

    ClearCancelSignal();
    const std::string drive = context.SourceDrive();
    const char letter = drive.front();
    std::unique_ptr<DriveAccess> drives = context.drives();
    TerminalTransferHost host(terminal);
    std::size_t processed = 0;
    for (const Entry& entry : entries) {
        ++processed;
        terminal.Status(Msg(41, entry.title));
        if (const int waited = WaitForMedium(terminal, *drives, drive); waited != kExitDone)
            return waited;
        terminal.SetUnitBytes(entry.bytesPerSector);
        const TransferResult result = RestoreToDrive(*drives, letter, entry.path, host);
        drives->Eject(letter);
        if (result.outcome == kTransferCancelled) {
            terminal.Box(Msg(36), box::OK | box::ICONWARNING);
            return kExitCancelled;
        }
        if (result.outcome == kTransferFailed) {
            std::string text = Msg(42);
            if (!result.status.ok())
                text += "\n" + result.errorText();
            terminal.Box(text, box::OK | box::ICONERROR);
            return kExitFailed;
        }
        if (processed == entries.size()) {
            terminal.Box(Msg(43), box::OK | box::ICONINFORMATION);
        } else if (terminal.Box(Msg(44) + "\n" + Msg(45), box::OKCANCEL | box::ICONINFORMATION) != box::IDOK) {
            return NotConfirmed(terminal);
        }
    }
    return kExitDone;
}

int DeleteCommand(CliContext& context, const std::vector<std::string>& images)
{
    Terminal& terminal = context.terminal;
    std::vector<std::string> paths;
    for (const std::string& image : images)
        paths.push_back(ResolveImage(context, image));
    if (terminal.Box(Msg(46), box::YESNO | box::ICONQUESTION) != box::IDYES)
        return NotConfirmed(terminal);
    const std::vector<IoStatus> deleted = DeleteImageFiles(paths);
    int status = kExitDone;
    for (std::size_t i = 0; i < paths.size() && i < deleted.size(); ++i) {
        if (deleted[i].ok())
            continue;
        terminal.Box(paths[i] + ": " + deleted[i].message(), box::OK | box::ICONERROR);
        status = kExitFailed;
    }
    return status;
}

int EditCommand(CliContext& context, const std::string& image, const GivenTexts& given)
{
    Terminal& terminal = context.terminal;
    const std::string path = ResolveImage(context, image);
    ImageHeaderFile file;
    const IoStatus opened = file.Open(path);
    if (opened.error == ENOENT) {
        terminal.Box(path + ": " + Msg(47), box::OK | box::ICONERROR);
        return kExitFailed;
    }
    if (!opened.ok()) {
        terminal.Box(path + ": " + opened.message(), box::OK | box::ICONERROR);
        return kExitFailed;
    }
    // The window only edits what its scan listed; a path can name anything.
    if (!IsImageHeader(file.header().data(), file.header().size())) {
        terminal.Box(Msg(101, path), box::OK | box::ICONERROR);
        return kExitFailed;
    }
    ImageTexts texts = ReadHeader(file.header()).texts;
    if (!ApplyGivenTexts(terminal, given, texts))
        return kExitUsage;
    RecordHistories(context.store, texts);

    IoStatus written = file.WriteTexts(texts);
    const IoStatus closed = file.Close();
    if (written.ok())
        written = closed;
    if (!written.ok()) {
        terminal.Box(path + ": " + written.message(), box::OK | box::ICONERROR);
        return kExitFailed;
    }
    return kExitDone;
}
