#pragma once
// The main window: library list, menus, tool bar, status bar, the nine
// commands and the busy state that guards them.
#include <array>
#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include <QMainWindow>
#include <QPixmap>
#include <QTreeView>

#include "app/librarymodel.h"

#include "library/scan.h"
#include "media/drivetable.h"
#include "settings/messages.h"
#include "settings/msgbox.h"

class DriveAccess;
class RegStore;
class TMain_Form;
class QAction;
class QDragEnterEvent;
class QDropEvent;
class QLabel;
class QMenu;
class QProgressBar;
class QStatusBar;
class QToolBar;

// What the main window works with, handed in by the program entry (or a test).
struct MainFormServices {
    RegStore& store;
    // Every text the window and its commands show, with the language font.
    const MessageCatalogue& messages;
    MessageBoxFunc messageBox;
    // A fresh drive access for one transfer.
    std::function<std::unique_ptr<DriveAccess>()> drives;
    // The drives the configuration dialog offers, in letter order.
    std::function<std::vector<DriveEntry>()> driveTable;
    // The running executable; the help file is named after it.
    std::string exePath;
    // Opens the help file with the desktop's handler; empty: QDesktopServices.
    std::function<void(const std::string& path)> openHelp = {};
    // Runs the configuration command (firstRun: the start-up form); empty:
    // the program's own dialog.
    std::function<void(TMain_Form& form, bool firstRun)> configCommand = {};
    // The clock the transfers' speed and time left go by; empty: the steady clock.
    std::function<std::chrono::steady_clock::time_point()> clock = {};
};

// The report-style list over the library's rows: tells the window about
// mouse presses after the press has updated the selection, and about
// double-clicks. Rows are numbered as shown, top row 0.
class TLibraryList : public QTreeView {
public:
    explicit TLibraryList(QWidget* parent = nullptr);
    std::function<void()> onMouseDown;
    std::function<void()> onDoubleClick;

    TLibraryModel* Rows() const { return model_; }
    int RowCount() const { return model_->rowCount(); }
    QString Text(int row, int column) const { return model_->Text(row, column); }

    // Selected rows in list order, whatever order they were selected in.
    std::vector<int> SelectedRowNumbers() const;
    int SelectedCount() const;
    bool IsRowSelected(int row) const;
    // Adds a row to the selection (or takes it out).
    void SelectRow(int row, bool select = true);
    QRect RowRect(int row) const;

    // Stable sort by compare; selection and current row stay on their rows.
    void SortRows(const RowCompare& compare);

protected:
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    // One flag per shown row.
    std::vector<char> SelectionMarks() const;

    TLibraryModel* model_;
    // Between a press and its release: whether the selection changed since
    // the press was reported.
    bool pressed_ = false;
    bool changedSincePress_ = false;
};

// The main window's controls, named as its menus, list and bars are named.
// The window alone changes them; tests and tools look through Controls().
struct TMainControls {
    QToolBar* ToolBar1 = nullptr;
    std::array<QPixmap, 2> IL1;
    TLibraryList* LV1 = nullptr;
    QStatusBar* SB1 = nullptr;
    QProgressBar* PB1 = nullptr;
    QLabel* StatusPanel1 = nullptr;
    QMenu* FileMenu = nullptr;
    QMenu* ViewMenu = nullptr;
    QMenu* HelpMenu = nullptr;
    QMenu* PM1 = nullptr;

    // The commands, in the order of the command list AL1.
    QAction* IB_CreateImage = nullptr;
    QAction* IB_RestoreImage = nullptr;
    QAction* IB_Exit = nullptr;
    QAction* IB_Config = nullptr;
    QAction* IB_About = nullptr;
    QAction* IB_Help = nullptr;
    QAction* IB_Reload = nullptr;
    QAction* IB_DeleteImage = nullptr;
    QAction* IB_Property = nullptr;
    std::array<QAction*, 9> AL1{};
    // Export and import of emulator disk formats (app/exchange.cpp); not in
    // AL1, they check the busy state themselves.
    QAction* IB_ExportImage = nullptr;
    QAction* IB_ImportImage = nullptr;
    // The information dialog of one image (context menu).
    QAction* IB_Info = nullptr;
    // Re-reads the unreadable sectors of the one selected image that has a
    // map (File and context menus); not in AL1 either.
    QAction* IB_RereadImage = nullptr;
};

// The process-wide settings the main window owns and its window state.
struct TMainState {
    std::string SourceDrive; // one upper-case letter, normally
    std::string ImageFolder; // may be relative to the working directory
    std::string HelpFile;

    std::int32_t SortColumn = 0;
    std::int32_t SortDirection = 0;
    bool CancelRequested = false;
    // What the last scan saw of each image's file, by scan position.
    std::vector<ImageCondition> Conditions;
};

class TMain_Form : public QMainWindow, private TMainControls, private TMainState {
    Q_OBJECT
public:
    explicit TMain_Form(MainFormServices services, QWidget* parent = nullptr);
    ~TMain_Form() override;

    const TMainControls& Controls() const { return *this; }
    const TMainState& State() const { return *this; }
    // The settings as the settings store or a caller gives them.
    void SetSourceDrive(std::string drive) { SourceDrive = std::move(drive); }
    void SetImageFolder(std::string folder) { ImageFolder = std::move(folder); }

    const ImageCondition& ConditionOfRow(int viewRow) const;
    // What is wrong with the image at a scan position, one line a fault.
    QString ConditionText(std::uint32_t sourceRow) const;

    // Life cycle.
    void FormCreate();
    void FormShow();
    void FormDestroy();
    bool FormCloseQuery() const;

    // Busy state: busy exactly while IB_CreateImage is disabled.
    void EnableCommands(bool enable);
    void UpdateSelectionCommands();
    bool IsBusy() const;

    // List behaviour.
    int LV1Compare(const LibraryRow& first, const LibraryRow& second) const;
    void LV1ColumnClick(int column);
    void LV1MouseDown();
    void PM1Popup();
    void LV1DblClick();
    static bool LV1Editing() { return false; }

    // Commands.
    void IB_CreateImageExecute();
    void IB_RestoreImageExecute();
    void IB_DeleteImageExecute();
    void IB_PropertyExecute();
    void IB_ConfigExecute();
    void IB_AboutExecute();
    void IB_HelpExecute();
    void IB_ReloadExecute();
    void IB_ExitExecute();
    void IB_ExportImageExecute();
    void IB_ImportImageExecute();
    void IB_InfoExecute();
    void IB_RereadImageExecute();
    // Each file becomes one new image per disk it holds, after the property dialog.
    void ImportFiles(const std::vector<std::string>& paths);

    // The configuration command; firstRun: its start-up form.
    void RunConfigCommand(bool firstRun);

    // Rows of the list (row: as shown): the stored bytes behind each row.
    const LibraryRow& RowOf(int row) const;
    std::vector<LibraryRow> AllRows() const;
    std::vector<LibraryRow> SelectedRows() const;
    // Image folder + separator + file name of a row.
    std::string ImagePathOf(const LibraryRow& row) const;

    // Status panel 1.
    void SetStatusText(const QString& text);
    QString StatusText() const;

    // Processes pending window messages once (transfer loops, the scan).
    static void PumpMessages();

    // A message box owned by this window.
    int ShowMessage(const QString& text, const QString& caption, unsigned flags);

    // Runs a command or first-show handler; an error escaping it is shown
    // in a box with its text and the handler is abandoned.
    void Guarded(const std::function<void()>& handler);
    void ShowError(const QString& text);
    // A settings store far larger than settings ever are is told once.
    void ReportOversizedStore();

    const MainFormServices& Services() const { return services_; }
    const MessageCatalogue& Messages() const { return services_.messages; }
    RegStore& Store() { return services_.store; }

    // Sorts the rows once by SortColumn / SortDirection (stable); keeps the selection.
    void SortList();

    void setVisible(bool visible) override;

protected:
    void closeEvent(QCloseEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;
    // Files dropped onto the window are imported.
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dropEvent(QDropEvent* event) override;

private:
    void BuildActions();
    void BuildMenus();
    void BuildToolBar();
    void BuildList();
    void BuildStatusBar();
    void ApplyLanguageTexts();
    bool FormKeyDown(QKeyEvent* event);

    // The window's own host of the commands works its controls and state.
    friend class FormCommandHost;

    MainFormServices services_;
    bool showArmed_ = true;
    bool destroyed_ = false;
};

// The two tool-bar pictures, 48 by 16: medium to file, file to medium.
QPixmap DrawCreatePicture();
QPixmap DrawRestorePicture();
