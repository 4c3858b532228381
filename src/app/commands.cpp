// The commands of the main window whose work lives in other units. Each has
// its own function here and nothing else, so that each can grow on its own.
#include "app/mainform.h"

#include <cerrno>
#include <filesystem>

#include <QProgressBar>

#include "app/transferhost.h"
#include "library/imageedit.h"
#include "library/prop.h"
#include "library/sectormap.h"
#include "media/create.h"
#include "media/drive.h"
#include "media/drivetable.h"
#include "media/drivetext.h"
#include "media/restore.h"
#include "settings/about1.h"
#include "settings/config.h"
#include "settings/messages.h"

namespace {

QString Msg(int n, std::string_view arg = {})
{
    return QString::fromStdString(MessageText(n, arg));
}

constexpr unsigned kBoxStyle = mb::TASKMODAL | mb::SETFOREGROUND;

// The caption of the no-medium question: the product name.
const QString kProductName = QStringLiteral("Tessarine");

char DriveLetter(const std::string& drive)
{
    return drive.empty() ? 'A' : drive.front();
}

// The one box for a drive that is not ready for another reason than a
// missing medium: which drive, which device, and the system's own text.
void ShowDriveFailure(TMain_Form& form, const std::string& drive, const DriveStatus& status)
{
    form.ShowMessage(QString::fromStdString(DriveFailureText(drive, status)), Msg(5), mb::OK | mb::ICONERROR | kBoxStyle);
}

// The no-medium question, repeated on Retry while the drive has no medium;
// any other answer is told once. false: the user gave up or cannot go on.
bool WaitForMedium(TMain_Form& form, DriveAccess& drives, const std::string& drive)
{
    for (;;) {
        const DriveStatus status = drives.DriveReady(DriveLetter(drive));
        if (status.ready())
            return true;
        if (status.state != DriveState::NoMedium) {
            ShowDriveFailure(form, drive, status);
            return false;
        }
        if (form.ShowMessage(Msg(34, drive), kProductName, mb::RETRYCANCEL | mb::ICONQUESTION | kBoxStyle) !=
            mb::IDRETRY)
            return false;
    }
}

// The end of a transfer command, on every way out: status empty, messages
// pumped, the cancel flag cleared, the busy state left.
struct TransferEnd {
    TMain_Form& form;
    ~TransferEnd()
    {
        form.SetStatusText(QString());
        TMain_Form::PumpMessages();
        form.CancelRequested = false;
        form.PB1->setValue(0);
        form.EnableCommands(true);
    }
};

// Removes the file of a creation that did not complete; a file that stays
// behind is reported, so nobody takes it for an image.
void DeleteUnfinishedImage(TMain_Form& form, const std::string& path)
{
    std::error_code ec;
    std::filesystem::remove(path, ec);
    if (!ec)
        std::filesystem::remove(MapPathOf(path), ec);
    if (ec)
        form.ShowMessage(QString::fromStdString(path + ": " + ec.message()), Msg(5),
                         mb::OK | mb::ICONERROR | kBoxStyle);
}

} // namespace

// ---------------------------------------------------------------------------
// Image creation (F5)
// ---------------------------------------------------------------------------

void TMain_Form::IB_CreateImageExecute()
{
    const std::string drive = SourceDrive;
    const char letter = DriveLetter(drive);
    std::unique_ptr<DriveAccess> drives = services_.drives();
    if (!WaitForMedium(*this, *drives, drive))
        return;

    EnableCommands(false);
    const TransferEnd end{*this};
    CancelRequested = false;
    SetStatusText(Msg(35));
    PumpMessages();

    int error = 0;
    const std::string path = NewImageFileName(ImageFolder, error);
    if (path.empty()) {
        ShowMessage(QString::fromStdString(IoStatus::Fail(error).message()), Msg(5),
                    mb::OK | mb::ICONERROR | kBoxStyle);
        return;
    }

    FormTransferHost host(*this);
    TransferResult result;
    try {
        result = CreateFromDrive(*drives, letter, path, host);
    } catch (...) {
        // The settings store failed under the property dialog: the error is
        // shown by the caller, the empty file must not stay behind.
        std::error_code ec;
        std::filesystem::remove(path, ec);
        throw;
    }
    switch (result.outcome) {
    case kTransferCancelled:
        drives->Eject(letter);
        ShowMessage(Msg(36), Msg(3), mb::OK | mb::ICONWARNING | kBoxStyle);
        DeleteUnfinishedImage(*this, path);
        break;
    case kTransferFailed:
        drives->Eject(letter);
        // A failing image file is not the disk's fault: the system says what went wrong.
        ShowMessage(result.source == FailureSource::ImageFile ? QString::fromStdString(result.errorText()) : Msg(37),
                    Msg(5), mb::OK | mb::ICONERROR | kBoxStyle);
        DeleteUnfinishedImage(*this, path);
        break;
    case kTransferNotConfirmed:
        DeleteUnfinishedImage(*this, path);
        break;
    default:
        drives->Eject(letter);
        // An image with holes is kept, but never passes for a good one.
        if (result.unreadable != 0)
            ShowMessage(Msg(84, std::to_string(result.unreadable)), Msg(4), mb::OK | mb::ICONWARNING | kBoxStyle);
        else
            ShowMessage(Msg(38), Msg(3), mb::OK | mb::ICONINFORMATION | kBoxStyle);
        IB_ReloadExecute();
        break;
    }
}

// ---------------------------------------------------------------------------
// Image restoration (F6)
// ---------------------------------------------------------------------------

void TMain_Form::IB_RestoreImageExecute()
{
    if (ShowMessage(Msg(40), Msg(3), mb::YESNO | mb::ICONQUESTION | kBoxStyle) != mb::IDYES)
        return;

    EnableCommands(false);
    const TransferEnd end{*this};
    CancelRequested = false;
    const std::string drive = SourceDrive;
    const char letter = DriveLetter(drive);
    std::unique_ptr<DriveAccess> drives = services_.drives();
    FormTransferHost host(*this);

    // In list order; the list is disabled, so the selection stays as it was.
    int processed = 0;
    for (int i : LV1->SelectedRowNumbers()) {
        ++processed;

        // The scan already trimmed the title's bytes.
        SetStatusText(Msg(41, LV1->Text(i, 0).toStdString()));
        PumpMessages();

        if (!WaitForMedium(*this, *drives, drive))
            return;
        const TransferResult result = RestoreToDrive(*drives, letter, ImagePathOf(RowOf(i)), host);
        drives->Eject(letter);

        if (result.outcome == kTransferCancelled) {
            ShowMessage(Msg(36), Msg(3), mb::OK | mb::ICONWARNING | kBoxStyle);
            return;
        }
        if (result.outcome == kTransferFailed) {
            ShowMessage(Msg(42), Msg(3), mb::OK | mb::ICONERROR | kBoxStyle);
            return;
        }
        const int selected = LV1->SelectedCount();
        if (selected == 1 || selected == processed) {
            ShowMessage(Msg(43), Msg(3), mb::OK | mb::ICONINFORMATION | kBoxStyle);
        } else if (ShowMessage(Msg(44) + QStringLiteral("\r\n") + Msg(45), Msg(3),
                               mb::OKCANCEL | mb::ICONINFORMATION | kBoxStyle) != mb::IDOK) {
            return;
        }
    }
}

// ---------------------------------------------------------------------------
// Image deletion (Del)
// ---------------------------------------------------------------------------

void TMain_Form::IB_DeleteImageExecute()
{
    const std::vector<LibraryRow> rows = SelectedRows();
    if (rows.empty())
        return;
    if (ShowMessage(Msg(46), Msg(3),
                    mb::YESNO | mb::ICONQUESTION | kBoxStyle) != mb::IDYES)
        return;
    std::vector<std::string> paths;
    paths.reserve(rows.size());
    for (const LibraryRow& row : rows)
        paths.push_back(ImagePathOf(row));
    // Deletion is final and silent: a file that could not go (write-protected,
    // already gone) simply shows, or not, in the list the rescan builds.
    DeleteImageFiles(paths);
    IB_ReloadExecute();
}

// ---------------------------------------------------------------------------
// Property editor
// ---------------------------------------------------------------------------

void TMain_Form::IB_PropertyExecute()
{
    const std::vector<LibraryRow> rows = SelectedRows();
    if (rows.size() != 1)
        return;
    constexpr unsigned kErrorBox = mb::OK | mb::ICONERROR | kBoxStyle;

    ImageHeaderFile file;
    const IoStatus opened = file.Open(ImagePathOf(rows.front()));
    if (opened.error == ENOENT) {
        ShowMessage(Msg(47), Msg(3), kErrorBox);
        IB_ReloadExecute();
        return;
    }
    if (!opened.ok()) {
        // Read-only, not a file, or too short for a header: nothing is written.
        ShowMessage(QString::fromStdString(opened.message()), Msg(5), kErrorBox);
        return;
    }

    TProperty_Form dialog(Store(), services_.messageBox, this);
    dialog.SetTexts(ReadHeader(file.header()).texts);
    if (dialog.exec() != QDialog::Accepted)
        return; // the file closes unchanged, the list stays as it is

    IoStatus written = file.WriteTexts(dialog.Texts());
    const IoStatus closed = file.Close();
    if (written.ok())
        written = closed;
    if (!written.ok())
        ShowMessage(QString::fromStdString(written.message()), Msg(5), kErrorBox);
    IB_ReloadExecute();
}

// ---------------------------------------------------------------------------
// Configuration dialog (firstRun: the start-up form)
// ---------------------------------------------------------------------------

void TMain_Form::RunConfigCommand(bool firstRun)
{
    if (services_.configCommand) {
        services_.configCommand(*this, firstRun);
        return;
    }
    ConfigCommandServices config{
        services_.store,
        services_.messageBox,
        services_.driveTable,
        {},
        [this] { IB_ReloadExecute(); },
    };
    ExecuteConfigCommand(this, config, SourceDrive, ImageFolder, firstRun);
}

// ---------------------------------------------------------------------------
// About box
// ---------------------------------------------------------------------------

void TMain_Form::IB_AboutExecute()
{
    ShowAboutBox(this);
}
