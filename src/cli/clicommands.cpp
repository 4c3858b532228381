#include "cli/clicommands.h"

#include <cerrno>
#include <filesystem>
#include <system_error>

#include "cli/console.h"
#include "cli/output.h"
#include "cli/terminal.h"
#include "base/cp932.h"
#include "library/history.h"
#include "library/imageedit.h"
#include "library/scan.h"
#include "command/commands.h"
#include "settings/messages.h"
#include "settings/regstore.h"
#include "base/textconv.h"

namespace {

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

// The exit status of a command's outcome.
int ExitStatus(const Terminal& terminal, CommandOutcome outcome)
{
    switch (outcome) {
    case CommandOutcome::Done: return kExitDone;
    case CommandOutcome::Cancelled: return kExitCancelled;
    case CommandOutcome::Declined: return NotConfirmed(terminal);
    // Waiting for a disk nobody inserts is a failure, unless Ctrl-C ended it.
    case CommandOutcome::NoMedium: return terminal.interrupted() ? kExitCancelled : kExitFailed;
    default: return kExitFailed;
    }
}

// The code page 932 bytes of a text given for a field, trimmed as the
// property dialog trims; empty with error set when it cannot be stored.
std::optional<std::string> FieldBytes(const MessageCatalogue& messages, const std::string& utf8, int field,
                                      std::string& error)
{
    const std::optional<std::string> bytes = Utf8ToCp932(utf8);
    if (!bytes) {
        error = ColumnCaption(messages, field) + ": " + IoStatus::Fail(EILSEQ).message();
        return std::nullopt;
    }
    std::string trimmed(TrimBlanks(*bytes));
    // The dialog cannot take more than the field holds; neither does this.
    if (trimmed.size() > FieldWidth(field)) {
        error = messages.Text(MessageId::TooLong, ColumnCaption(messages, field));
        return std::nullopt;
    }
    return trimmed;
}

// The header of an image file for the commands that take a path; false
// with the box shown when the file is missing, unreadable or no image.
bool ReadImageHeader(Terminal& terminal, const std::string& path, HeaderBytes& header)
{
    const IoStatus read = ReadHeaderFile(path, header);
    if (read.error == ENOENT) {
        terminal.Box(path + ": " + terminal.Messages().Text(MessageId::ImageMissing), box::OK | box::ICONERROR);
        return false;
    }
    if (read.ok() && !IsImageHeader(header.data(), header.size())) {
        terminal.Box(terminal.Messages().Text(MessageId::NotAnImage, path), box::OK | box::ICONERROR);
        return false;
    }
    if (!read.ok() && read.error == ENODATA) {
        terminal.Box(terminal.Messages().Text(MessageId::NotAnImage, path), box::OK | box::ICONERROR);
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
    int column = 0, direction = +1;
    ScanSortPasses(column, direction, [&] {
        SortRowOrder(rows, order, [&](const LibraryRow& a, const LibraryRow& b) {
            return CompareRows(a, b, column, direction);
        });
    });
    std::vector<LibraryRow> shown;
    shown.reserve(rows.size());
    for (const std::uint32_t i : order)
        shown.push_back(rows[i]);
    return shown;
}

} // namespace

bool ApplyGivenTexts(Terminal& terminal, const GivenTexts& given, ImageTexts& texts)
{
    for (int f = 0; f < kFieldCount; ++f) {
        const auto& text = given[static_cast<std::size_t>(f)];
        if (!text)
            continue;
        std::string error;
        const std::optional<std::string> bytes = FieldBytes(terminal.Messages(), *text, f, error);
        if (!bytes) {
            terminal.Box(error, box::OK | box::ICONERROR);
            return false;
        }
        texts[static_cast<std::size_t>(f)] = *bytes;
    }
    if (TrimBlanks(texts[kTitle]).empty()) {
        terminal.Box(terminal.Messages().Text(MessageId::TitleRequired), box::OK | box::ICONERROR);
        return false;
    }
    return true;
}

void RecordHistories(RegStore& store, const ImageTexts& texts)
{
    // Merged into the histories as stored now, as the dialog's OK does.
    std::array<std::string, kFieldCount> entries;
    for (int f = 0; f < kFieldCount; ++f) {
        const std::string shown = Cp932ToUtf8(texts[static_cast<std::size_t>(f)]);
        // Bytes code page 932 does not read could not be typed back.
        if (shown.find("\xEF\xBF\xBD") == std::string::npos)
            entries[static_cast<std::size_t>(f)] = shown;
    }
    MergeHistories(store, entries);
}

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
    default:
        WriteText(Stream::Out, LibraryTable(context.terminal.Messages(), rows));
        break;
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
    WriteText(Stream::Out, json ? InfoJson(info) : InfoText(context.terminal.Messages(), info));
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
    WriteText(Stream::Out, json ? DrivesJson(context.terminal.Messages(), reports)
                                : DrivesText(context.terminal.Messages(), reports));
    return kExitDone;
}

int CreateCommand(CliContext& context, const GivenTexts& given)
{
    Terminal& terminal = context.terminal;
    ImageTexts texts;
    if (!ApplyGivenTexts(terminal, given, texts))
        return kExitUsage;

    TerminalCommandHost host(terminal);
    host.askImageTexts = [&](ImageTexts& out) {
        RecordHistories(context.store, texts);
        out = texts;
        return true;
    };
    const CommandResult result = CreateImageCommand(host, context.drives, context.SourceDrive(), context.ImageFolder());
    if (result.outcome == CommandOutcome::Done)
        WriteText(Stream::Out, result.path + "\n");
    return ExitStatus(terminal, result.outcome);
}

int RestoreCommand(CliContext& context, const std::vector<std::string>& images)
{
    Terminal& terminal = context.terminal;
    // Every image is checked before the first question.
    std::vector<ImageEntry> entries;
    for (const std::string& image : images) {
        ImageEntry entry{{}, ResolveImage(context, image)};
        HeaderBytes header{};
        if (!ReadImageHeader(terminal, entry.path, header))
            return kExitFailed;
        entry.row = RowFromHeader(header, entry.path).value_or(LibraryRow{});
        entries.push_back(std::move(entry));
    }

    TerminalCommandHost host(terminal, std::move(entries));
    const CommandResult result =
        RestoreImagesCommand(host, context.drives, context.SourceDrive(), {context.ImageFolder(), DefaultStorePath()});
    // The terminal tells the system's reason below the window's text.
    if (result.outcome == CommandOutcome::Failed && result.transfer.outcome == kTransferFailed &&
        !result.transfer.status.ok())
        terminal.Box(result.transfer.errorText(), box::OK | box::ICONERROR);
    return ExitStatus(terminal, result.outcome);
}

int RereadCommand(CliContext& context, const std::string& image)
{
    Terminal& terminal = context.terminal;
    ImageEntry entry{{}, ResolveImage(context, image)};
    HeaderBytes header{};
    if (!ReadImageHeader(terminal, entry.path, header))
        return kExitFailed;
    entry.row = RowFromHeader(header, entry.path).value_or(LibraryRow{});
    TerminalCommandHost host(terminal, {entry});
    const CommandResult result = RereadImageCommand(host, context.drives, context.SourceDrive());
    // Sectors still unreadable are not a finished image.
    if (result.outcome == CommandOutcome::Done && result.transfer.unreadable != 0)
        return kExitFailed;
    return ExitStatus(terminal, result.outcome);
}

int DeleteCommand(CliContext& context, const std::vector<std::string>& images)
{
    Terminal& terminal = context.terminal;
    // The window deletes only what its scan listed: a path that names no
    // image (missing, or any other file) stops the run before the question.
    std::vector<ImageEntry> entries;
    for (const std::string& image : images) {
        ImageEntry entry{{}, ResolveImage(context, image)};
        HeaderBytes header{};
        if (!ReadImageHeader(terminal, entry.path, header))
            return kExitFailed;
        entries.push_back(std::move(entry));
    }
    TerminalCommandHost host(terminal, std::move(entries));
    // Files that stayed are named in the command's one box.
    return ExitStatus(terminal, DeleteImagesCommand(host).outcome);
}

int EditCommand(CliContext& context, const std::string& image, const GivenTexts& given)
{
    Terminal& terminal = context.terminal;
    const std::string path = ResolveImage(context, image);
    // The window only edits what its scan listed; a path can name anything.
    HeaderBytes header{};
    if (!ReadImageHeader(terminal, path, header))
        return kExitFailed;

    TerminalCommandHost host(terminal, {{{}, path}});
    bool invalid = false;
    host.askProperties = [&](ImageTexts& texts) {
        invalid = !ApplyGivenTexts(terminal, given, texts);
        if (invalid)
            return false;
        RecordHistories(context.store, texts);
        return true;
    };
    const CommandResult result = EditPropertiesCommand(host);
    return invalid ? kExitUsage : ExitStatus(terminal, result.outcome);
}
