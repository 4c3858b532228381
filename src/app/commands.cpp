// The commands of the main window whose work lives in other units. Each has
// its own function here and nothing else, so that each can grow on its own.
#include "app/mainform.h"

#include <cerrno>

#include "library/imageedit.h"
#include "library/prop.h"
#include "media/drivetable.h"
#include "settings/about1.h"
#include "settings/config.h"
#include "settings/messages.h"

// ---------------------------------------------------------------------------
// Image creation (F5)
// ---------------------------------------------------------------------------

void TMain_Form::IB_CreateImageExecute()
{
}

// ---------------------------------------------------------------------------
// Image restoration (F6)
// ---------------------------------------------------------------------------

void TMain_Form::IB_RestoreImageExecute()
{
}

// ---------------------------------------------------------------------------
// Image deletion (Del)
// ---------------------------------------------------------------------------

void TMain_Form::IB_DeleteImageExecute()
{
    const std::vector<LibraryRow> rows = SelectedRows();
    if (rows.empty())
        return;
    if (ShowMessage(QString::fromStdString(MessageText(46)), QString::fromStdString(MessageText(3)),
                    mb::YESNO | mb::ICONQUESTION | mb::TASKMODAL | mb::SETFOREGROUND) != mb::IDYES)
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
    constexpr unsigned kErrorBox = mb::OK | mb::ICONERROR | mb::TASKMODAL | mb::SETFOREGROUND;

    ImageHeaderFile file;
    const IoStatus opened = file.Open(ImagePathOf(rows.front()));
    if (opened.error == ENOENT) {
        ShowMessage(QString::fromStdString(MessageText(47)), QString::fromStdString(MessageText(3)), kErrorBox);
        IB_ReloadExecute();
        return;
    }
    if (!opened.ok()) {
        // Read-only, not a file, or too short for a header: nothing is written.
        ShowMessage(QString::fromStdString(opened.message()), QString::fromStdString(MessageText(5)), kErrorBox);
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
        ShowMessage(QString::fromStdString(written.message()), QString::fromStdString(MessageText(5)), kErrorBox);
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
