#pragma once
// The configuration dialog: the source drive and the image folder, the two
// settings everything else depends on. The dialog only edits; the command
// (ExecuteConfigCommand) sets, stores and rescans on OK.
#include <functional>
#include <map>
#include <string>
#include <vector>

#include <QDialog>
#include <QString>

#include "media/drivetable.h"
#include "settings/messages.h"
#include "settings/msgbox.h"

class QCloseEvent;
class QComboBox;
class QFrame;
class QKeyEvent;
class QLabel;
class QPushButton;
class RegStore;
class TEllipsisEdit;

// A folder chooser owned by owner with title as its instruction line, opened
// on path when that folder exists. true: path holds the chosen folder;
// false: cancelled, path unchanged.
using FolderBrowserFunc = std::function<bool(QWidget* owner, const QString& title, QString& path)>;

// The desktop's directory chooser.
bool BrowseForFolder(QWidget* owner, const QString& title, QString& path);

// "A:/": the file-system path of a drive's entry in the drive box.
QString DriveRootPath(char letter);
// A drive root: contains ":" and is exactly three characters ("A:/").
bool IsDriveRootPath(const QString& path);
// The folder as the field shows it: one trailing separator removed, except
// that the root folder stays "/".
QString FolderForField(const QString& folder);
// The folder as it is stored: a separator appended when missing.
std::string FolderForStore(const QString& text);

// Outcome of creating a folder with all missing parents.
enum class FolderCreation { Created, Failed, EmptyName };
// Relative texts are taken from the working directory. Creation succeeds
// exactly when afterwards a folder of that name exists.
FolderCreation CreateFolderWithParents(const QString& text);

class TConfig_Form : public QDialog {
    Q_OBJECT
public:
    // sourceDrive is the process-wide value: the first show changes it at
    // once when the stored letter has no drive. imageFolder is only read.
    TConfig_Form(QWidget* owner, const MessageCatalogue& messages, std::string& sourceDrive,
                 const std::string& imageFolder, std::vector<DriveEntry> drives, MessageBoxFunc messageBox,
                 FolderBrowserFunc browseForFolder);
    ~TConfig_Form() override;

    QFrame* Bevel1 = nullptr;
    QLabel* Label1 = nullptr;
    QLabel* Label2 = nullptr;
    QComboBox* SCV1 = nullptr;
    TEllipsisEdit* EE1 = nullptr;
    QPushButton* OK_Btn = nullptr;
    QPushButton* Cancel_Btn = nullptr;

    // The start-up form: caption message 49, no close box or system menu,
    // Cancel disabled. Call before showing.
    void SetFirstRun();
    bool FirstRun() const { return firstRun_; }

    // File-system path of the drive box's selected entry: "A:/" for a drive,
    // empty for the computer entry.
    QString SelectedPath() const;

    // Handlers.
    void FormShow();
    bool FormCloseQuery();
    void EE1EllipsisClick();
    // true when the key was taken (Alt+Down).
    bool EE1KeyDown(const QKeyEvent& event);
    // Files dropped on the folder field: the first path goes into it.
    void EE1DropFiles(const QString& firstPath);

    void done(int result) override;

protected:
    void showEvent(QShowEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void FormCreate();
    void FillDriveBox();
    int ShowBox(MessageId message, MessageId caption, unsigned flags);

    const MessageCatalogue& messages_;
    std::string& sourceDrive_;
    std::string imageFolder_;
    std::vector<DriveEntry> drives_;
    MessageBoxFunc messageBox_;
    FolderBrowserFunc browseForFolder_;
    bool firstRun_ = false;
    bool showArmed_ = true;
};

// What the configuration command works with.
struct ConfigCommandServices {
    // The texts of the dialog and its boxes.
    const MessageCatalogue& messages;
    MessageBoxFunc messageBox;
    // The drives the box offers, in letter order.
    std::function<std::vector<DriveEntry>()> driveTable;
    // Empty: BrowseForFolder.
    FolderBrowserFunc browseForFolder;
    // The dialog's OK with the chosen drive letter, the folder as stored and
    // the Devices entries that bind each offered drive not bound yet to its
    // device (ApplyConfigurationCommand: set, store, rescan).
    std::function<void(const std::string& drive, const std::string& folder,
                       const std::map<char, std::string>& bindings)>
        apply;
};

// The configuration command: the dialog modally; on OK the chosen drive and
// folder go to apply once the dialog is gone, so that a store failure
// propagates without it.
void ExecuteConfigCommand(QWidget* owner, const ConfigCommandServices& services, std::string& sourceDrive,
                          std::string& imageFolder, bool firstRun);
