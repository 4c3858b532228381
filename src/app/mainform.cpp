#include "app/mainform.h"

#include <algorithm>
#include <exception>
#include <filesystem>

#include <QAction>
#include <QCloseEvent>
#include <QCoreApplication>
#include <QDesktopServices>
#include <QFile>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QMouseEvent>
#include <QPainter>
#include <QProgressBar>
#include <QStatusBar>
#include <QStyle>
#include <QToolBar>
#include <QToolButton>
#include <QUrl>
#include <QWindow>

#include "app/formhost.h"
#include "base/cp932.h"
#include "command/commands.h"
#include "library/sectormap.h"
#include "settings/fonts.h"
#include "settings/messages.h"
#include "settings/messagestring.h"
#include "settings/regstore.h"
#include "base/textconv.h"

namespace {

constexpr int kDefaultColumnWidth = 66;
constexpr int kStatusBarHeight = 19;
constexpr int kPanel0Width = 160;
constexpr int kToolButtonWidth = 55;

const char* const kColumnCaptions[kColumnCount] = {"タイトル", "著作権", "作成者", "年", "対象機種", "対象OS", "ファイル名"};

std::string UpperAscii(std::string text)
{
    // ASCII only: the locale Qt sets must not touch other bytes.
    std::transform(text.begin(), text.end(), text.begin(), AsciiUpper);
    return text;
}

// Pictures of IL1, drawn at x in a 48 by 16 strip.
void DrawFloppy(QPainter& p, int x)
{
    p.setPen(QColor(0, 0, 64));
    p.setBrush(QColor(40, 60, 150));
    p.drawRect(x + 1, 1, 13, 13);
    p.setBrush(QColor(200, 200, 210)); // metal shutter
    p.drawRect(x + 4, 1, 7, 4);
    p.fillRect(x + 8, 2, 2, 3, QColor(40, 60, 150));
    p.setBrush(Qt::white); // label
    p.drawRect(x + 3, 8, 9, 6);
    p.setPen(QColor(120, 120, 120));
    p.drawLine(x + 5, 10, x + 10, 10);
    p.drawLine(x + 5, 12, x + 10, 12);
}

void DrawArrow(QPainter& p, int x)
{
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(0, 140, 0));
    p.drawRect(x + 2, 6, 7, 4);
    const QPoint head[3] = {QPoint(x + 9, 2), QPoint(x + 14, 8), QPoint(x + 9, 13)};
    p.drawPolygon(head, 3);
}

void DrawPage(QPainter& p, int x)
{
    const QPoint outline[5] = {QPoint(x + 3, 1), QPoint(x + 10, 1), QPoint(x + 13, 4), QPoint(x + 13, 14),
                               QPoint(x + 3, 14)};
    p.setPen(QColor(60, 60, 60));
    p.setBrush(Qt::white);
    p.drawPolygon(outline, 5);
    p.drawLine(x + 10, 1, x + 10, 4);
    p.drawLine(x + 10, 4, x + 13, 4);
    p.setPen(QColor(90, 90, 200));
    for (int y = 6; y <= 12; y += 2)
        p.drawLine(x + 5, y, x + 11, y);
}

QPixmap DrawStrip(void (*first)(QPainter&, int), void (*last)(QPainter&, int))
{
    QPixmap strip(48, 16);
    strip.fill(Qt::transparent);
    QPainter p(&strip);
    first(p, 0);
    DrawArrow(p, 16);
    last(p, 32);
    return strip;
}

} // namespace

QPixmap DrawCreatePicture()
{
    return DrawStrip(DrawFloppy, DrawPage);
}

QPixmap DrawRestorePicture()
{
    return DrawStrip(DrawPage, DrawFloppy);
}

TLibraryList::TLibraryList(QWidget* parent) : QTreeView(parent), model_(new TLibraryModel(this))
{
    setModel(model_);
    connect(selectionModel(), &QItemSelectionModel::selectionChanged, this, [this] {
        if (pressed_)
            changedSincePress_ = true;
    });
}

std::vector<char> TLibraryList::SelectionMarks() const
{
    // Marking is linear in the rows whatever the shape of the selection;
    // asking per row would cost rows times ranges.
    std::vector<char> marks(static_cast<std::size_t>(RowCount()), 0);
    for (const QItemSelectionRange& range : selectionModel()->selection()) {
        const int bottom = std::min(range.bottom(), RowCount() - 1);
        for (int r = std::max(range.top(), 0); r <= bottom; ++r)
            marks[static_cast<std::size_t>(r)] = 1;
    }
    return marks;
}

std::vector<int> TLibraryList::SelectedRowNumbers() const
{
    const std::vector<char> marks = SelectionMarks();
    std::vector<int> rows;
    for (std::size_t r = 0; r < marks.size(); ++r)
        if (marks[r])
            rows.push_back(static_cast<int>(r));
    return rows;
}

int TLibraryList::SelectedCount() const
{
    const std::vector<char> marks = SelectionMarks();
    return static_cast<int>(std::count(marks.begin(), marks.end(), 1));
}

bool TLibraryList::IsRowSelected(int row) const
{
    return selectionModel()->isRowSelected(row, {});
}

void TLibraryList::SelectRow(int row, bool select)
{
    selectionModel()->select(model_->index(row, 0), (select ? QItemSelectionModel::Select : QItemSelectionModel::Deselect) |
                                                        QItemSelectionModel::Rows);
}

QRect TLibraryList::RowRect(int row) const
{
    return visualRect(model_->index(row, 0));
}

void TLibraryList::SortRows(const RowCompare& compare)
{
    const int count = RowCount();
    if (count < 2)
        return;
    // The selection goes by scan position while the rows move: the
    // selection model would otherwise keep every selected cell as its own
    // persistent index through the move.
    std::vector<char> selected(static_cast<std::size_t>(count), 0);
    const std::vector<char> marks = SelectionMarks();
    for (int r = 0; r < count; ++r)
        selected[model_->SourceRow(r)] = marks[static_cast<std::size_t>(r)];
    const QSignalBlocker quiet(selectionModel());
    selectionModel()->clearSelection();

    model_->Sort(compare); // the current index follows its row

    QItemSelection selection;
    const int lastColumn = kColumnCount - 1;
    for (int r = 0; r < count;) {
        if (!selected[model_->SourceRow(r)]) {
            ++r;
            continue;
        }
        const int top = r;
        while (r < count && selected[model_->SourceRow(r)])
            ++r;
        selection.append(QItemSelectionRange(model_->index(top, 0), model_->index(r - 1, lastColumn)));
    }
    if (!selection.isEmpty())
        selectionModel()->select(selection, QItemSelectionModel::Select);
}

void TLibraryList::mousePressEvent(QMouseEvent* event)
{
    QTreeView::mousePressEvent(event);
    // A plain press below the rows clears the selection in every selection
    // mode, as the double-click rule of the list expects.
    const bool extending = event->modifiers() & (Qt::ControlModifier | Qt::ShiftModifier);
    if (!extending && !indexAt(event->position().toPoint()).isValid())
        clearSelection();
    if (onMouseDown)
        onMouseDown();
    pressed_ = true;
    changedSincePress_ = false;
}

void TLibraryList::mouseReleaseEvent(QMouseEvent* event)
{
    // A plain click on one of several selected rows keeps them all until the
    // release (they might be dragged); the press saw the old selection.
    QTreeView::mouseReleaseEvent(event);
    const bool changed = pressed_ && changedSincePress_;
    pressed_ = false;
    if (changed && onMouseDown)
        onMouseDown();
}

void TLibraryList::keyPressEvent(QKeyEvent* event)
{
    // Qt selects only when a key moves the current row, so Home on a fresh
    // list (row 0 current, nothing selected) or any key in a one-row list
    // selected nothing. Such a key selects the current row as a move would.
    pressed_ = false; // keys never update the commands
    const QPersistentModelIndex before = currentIndex();
    QTreeView::keyPressEvent(event);
    static constexpr int kMoveKeys[] = {Qt::Key_Up,   Qt::Key_Down,   Qt::Key_Home,
                                        Qt::Key_End,  Qt::Key_PageUp, Qt::Key_PageDown};
    const QModelIndex current = currentIndex();
    if (std::find(std::begin(kMoveKeys), std::end(kMoveKeys), event->key()) == std::end(kMoveKeys) ||
        !current.isValid() || current != before || selectionModel()->isRowSelected(current.row(), {}))
        return;
    selectionModel()->select(current, selectionCommand(current, event) | QItemSelectionModel::Rows);
}

void TLibraryList::mouseDoubleClickEvent(QMouseEvent* event)
{
    // The second press of a double-click is a press too.
    QTreeView::mouseDoubleClickEvent(event);
    if (onMouseDown)
        onMouseDown();
    if (onDoubleClick)
        onDoubleClick();
}

TMain_Form::TMain_Form(MainFormServices services, QWidget* parent)
    : QMainWindow(parent), services_(std::move(services))
{
    setWindowTitle(QStringLiteral("Tessarine"));
    setFont(BuiltInFont());
    resize(480, 320);

    PB1 = new QProgressBar(this);
    PB1->setTextVisible(false);

    BuildActions();
    BuildMenus();
    BuildToolBar();
    BuildList();
    BuildStatusBar();

    // Key preview: the window sees every key before its controls.
    qApp->installEventFilter(this);

    FormCreate();
}

TMain_Form::~TMain_Form()
{
    qApp->removeEventFilter(this);
    Guarded([this] { FormDestroy(); });
    // The base destructor still hides and repaints the list after our members are gone.
    LV1->Rows()->rowData = nullptr;
}

void TMain_Form::BuildActions()
{
    auto make = [this](const char* caption, const char* hint, QKeySequence shortcut, void (TMain_Form::*handler)()) {
        auto* action = new QAction(QString::fromUtf8(caption), this);
        // Hints are tooltips only: a status tip would replace the status bar's panels, even mid-copy.
        action->setToolTip(QString::fromUtf8(hint));
        action->setShortcut(shortcut);
        connect(action, &QAction::triggered, this, [this, handler] { Guarded([this, handler] { (this->*handler)(); }); });
        // Shortcuts work wherever the focus is in the window.
        addAction(action);
        return action;
    };
    IB_CreateImage = make("イメージファイルの作成(&C)...", "指定されたメディアをイメージファイルに変換します",
                          QKeySequence(Qt::Key_F5), &TMain_Form::IB_CreateImageExecute);
    IB_RestoreImage = make("イメージファイルの復元(&R)", "イメージファイルから指定されたメディアに復元します",
                           QKeySequence(Qt::Key_F6), &TMain_Form::IB_RestoreImageExecute);
    IB_Exit = make("終了(&X)", "", {}, &TMain_Form::IB_ExitExecute);
    IB_Config = make("設定(&C)", "", {}, &TMain_Form::IB_ConfigExecute);
    IB_About = make("バージョン情報(&A)...", "", {}, &TMain_Form::IB_AboutExecute);
    IB_Help = make("トピックの検索(&H)...", "", {}, &TMain_Form::IB_HelpExecute);
    IB_Reload = make("最新の情報に更新(&R)", "", {}, &TMain_Form::IB_ReloadExecute);
    IB_DeleteImage = make("イメージファイルの削除(&D)", "", QKeySequence(Qt::Key_Delete),
                          &TMain_Form::IB_DeleteImageExecute);
    IB_Property = make("プロパティ(&P)...", "", {}, &TMain_Form::IB_PropertyExecute);
    AL1 = {IB_CreateImage, IB_RestoreImage, IB_Exit,   IB_Config,  IB_About,
           IB_Help,        IB_Reload,       IB_DeleteImage, IB_Property};

    IB_RestoreImage->setEnabled(false);
    IB_DeleteImage->setEnabled(false);
    IB_Property->setEnabled(false);

    IB_ExportImage = make("エクスポート…", "エクスポート…", {}, &TMain_Form::IB_ExportImageExecute);
    IB_ImportImage = make("インポート…", "インポート…", {}, &TMain_Form::IB_ImportImageExecute);
    IB_ExportImage->setEnabled(false);
    IB_Info = make("情報(&I)...", "", {}, &TMain_Form::IB_InfoExecute);
    IB_Info->setEnabled(false);
    IB_RereadImage = make("読み取れないセクタを再読み込み", "", {}, &TMain_Form::IB_RereadImageExecute);
    IB_RereadImage->setEnabled(false);
    setAcceptDrops(true);
}

void TMain_Form::BuildMenus()
{
    FileMenu = menuBar()->addMenu(QStringLiteral("ファイル(&F)"));
    FileMenu->addAction(IB_CreateImage);
    FileMenu->addAction(IB_RestoreImage);
    FileMenu->addAction(IB_RereadImage);
    FileMenu->addSeparator();
    FileMenu->addAction(IB_DeleteImage);
    FileMenu->addSeparator();
    FileMenu->addAction(IB_ImportImage);
    FileMenu->addAction(IB_ExportImage);
    FileMenu->addSeparator();
    FileMenu->addAction(IB_Exit);

    ViewMenu = menuBar()->addMenu(QStringLiteral("表示(&V)"));
    ViewMenu->addAction(IB_Property);
    ViewMenu->addAction(IB_Reload);

    HelpMenu = menuBar()->addMenu(QStringLiteral("ヘルプ(&H)"));
    HelpMenu->addAction(IB_Help);
    HelpMenu->addAction(IB_Config);
    HelpMenu->addSeparator();
    HelpMenu->addAction(IB_About);

    PM1 = new QMenu(this);
    PM1->addAction(IB_RestoreImage);
    PM1->addAction(IB_RereadImage);
    PM1->addSeparator();
    PM1->addAction(IB_DeleteImage);
    PM1->addAction(IB_ExportImage);
    PM1->addSeparator();
    PM1->addAction(IB_Property);
    PM1->addAction(IB_Info);
    PM1->addAction(IB_Reload);

    // The View menu deliberately shows the state of the last update.
    connect(FileMenu, &QMenu::aboutToShow, this, &TMain_Form::PM1Popup);
    connect(PM1, &QMenu::aboutToShow, this, &TMain_Form::PM1Popup);
}

void TMain_Form::BuildToolBar()
{
    IL1 = {DrawCreatePicture(), DrawRestorePicture()};
    ToolBar1 = new QToolBar(this);
    ToolBar1->setObjectName(QStringLiteral("ToolBar1"));
    ToolBar1->setMovable(false);
    ToolBar1->setFloatable(false);
    ToolBar1->setIconSize(IL1[0].size());
    ToolBar1->setToolButtonStyle(Qt::ToolButtonIconOnly);
    ToolBar1->setContextMenuPolicy(Qt::PreventContextMenu);
    ToolBar1->toggleViewAction()->setVisible(false);
    addToolBar(Qt::TopToolBarArea, ToolBar1);

    // The pictures belong to the tool-bar buttons only; the menus show text.
    const std::array<QAction*, 2> commands{IB_CreateImage, IB_RestoreImage};
    for (std::size_t i = 0; i < commands.size(); ++i) {
        commands[i]->setIcon(QIcon(IL1[i]));
        commands[i]->setIconVisibleInMenu(false);
        ToolBar1->addAction(commands[i]);
        if (auto* button = qobject_cast<QToolButton*>(ToolBar1->widgetForAction(commands[i]))) {
            button->setAutoRaise(true);
            button->setFixedSize(kToolButtonWidth, 22);
        }
    }
    ToolBar1->setFixedHeight(24);
}

void TMain_Form::BuildList()
{
    LV1 = new TLibraryList(this);
    LV1->setObjectName(QStringLiteral("LV1"));
    QStringList captions;
    for (const char* caption : kColumnCaptions)
        captions << QString::fromUtf8(caption);
    LV1->Rows()->SetCaptions(captions);
    // An image that is not whole, or has unreadable sectors, never passes for a good one.
    LV1->Rows()->rowData = [this](std::uint32_t sourceRow, int column, int role) -> QVariant {
        if (sourceRow >= Conditions.size() || Conditions[sourceRow].sound())
            return {};
        if (role == Qt::DecorationRole && column == 0)
            return style()->standardIcon(QStyle::SP_MessageBoxWarning);
        if (role == Qt::ToolTipRole)
            return ConditionText(sourceRow);
        return {};
    };
    LV1->setRootIsDecorated(false);
    LV1->setItemsExpandable(false);
    LV1->setUniformRowHeights(true);
    LV1->setAllColumnsShowFocus(true);
    LV1->setSelectionBehavior(QAbstractItemView::SelectRows);
    LV1->setSelectionMode(QAbstractItemView::SingleSelection);
    LV1->setEditTriggers(QAbstractItemView::NoEditTriggers);
    LV1->setSortingEnabled(false);
    LV1->setContextMenuPolicy(Qt::CustomContextMenu);
    QHeaderView* header = LV1->header();
    header->setSectionsMovable(false);
    header->setSectionsClickable(true);
    for (int c = 0; c < kFileNameColumn; ++c)
        LV1->setColumnWidth(c, kDefaultColumnWidth);
    // The stretched last column never gets narrower than it was when the
    // stretch began (the default section width, wider than what 480 pixels
    // leave). Starting it at the smallest width lets it take exactly the
    // width the other six leave; only wider columns make the list scroll.
    LV1->setColumnWidth(kFileNameColumn, header->minimumSectionSize());
    header->setStretchLastSection(true);

    connect(header, &QHeaderView::sectionClicked, this, &TMain_Form::LV1ColumnClick);
    connect(LV1, &QWidget::customContextMenuRequested, this, [this](const QPoint& pos) {
        PM1->popup(LV1->viewport()->mapToGlobal(pos));
    });
    LV1->onMouseDown = [this] { LV1MouseDown(); };
    LV1->onDoubleClick = [this] { LV1DblClick(); };

    setCentralWidget(LV1);
    LV1->setFocus();
}

void TMain_Form::BuildStatusBar()
{
    SB1 = new QStatusBar(this);
    SB1->setFixedHeight(kStatusBarHeight);
    auto* panel0 = new QWidget(SB1);
    panel0->setObjectName(QStringLiteral("SB1Panel0"));
    panel0->setFixedWidth(kPanel0Width);
    SB1->addWidget(panel0);
    StatusPanel1 = new QLabel(SB1);
    // A long status text is cut at the panel's edge: it never widens the window.
    StatusPanel1->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
    StatusPanel1->setMinimumWidth(1);
    SB1->addWidget(StatusPanel1, 1);
    setStatusBar(SB1);
}

// --- life cycle -------------------------------------------------------------

void TMain_Form::FormCreate()
{
    HelpFile = ReplaceExtension(services_.exePath, ".hlp");
    SourceDrive = "A";
    ImageFolder = "./Images/";
    // The progress bar covers panel 0, placed on the status bar itself: inside
    // the panel the bar's layout margins would push it down and cut it off.
    PB1->setParent(SB1);
    PB1->setGeometry(0, 2, kPanel0Width - 1, kStatusBarHeight - 2);
    PB1->raise();
    PB1->show();
    CancelRequested = false;
}

void TMain_Form::setVisible(bool visible)
{
    if (visible && showArmed_)
        Guarded([this] { FormShow(); });
    QMainWindow::setVisible(visible);
}

void TMain_Form::FormShow()
{
    showArmed_ = false;
    RegStore& store = services_.store;

    if (store.RegReadString(0, kSystemKey, "Drive", "").empty())
        RunConfigCommand(true);

    // A stored empty text reads as empty, not as the default; the transfers
    // need a drive letter, so an empty value keeps the current one.
    const std::string drive = UpperAscii(store.RegReadString(0, kSystemKey, "Drive", SourceDrive));
    if (!drive.empty())
        SourceDrive = drive;
    ImageFolder = store.RegReadString(0, kSystemKey, "Dir", ImageFolder);

    const bool multiSelect = store.RegReadInteger(0, kSystemKey, "MultiSelect", 0) == 1;
    LV1->setSelectionMode(multiSelect ? QAbstractItemView::ExtendedSelection : QAbstractItemView::SingleSelection);

    for (int c = 0; c < kFileNameColumn; ++c) {
        const std::string name = "Column" + std::to_string(c + 1);
        LV1->setColumnWidth(c, store.RegReadInteger(0, kSystemKey, name, kDefaultColumnWidth));
    }

    const int top = store.RegReadInteger(0, kSystemKey, "Top", 0);
    move(x(), top);
    const int left = store.RegReadInteger(0, kSystemKey, "Left", 0);
    move(left, y());
    const int height = store.RegReadInteger(0, kSystemKey, "Height", 320);
    resize(width(), height);
    const int width = store.RegReadInteger(0, kSystemKey, "Width", 480);
    resize(width, this->height());
    // The first-run dialog, owned by this window, made its native window
    // already, and moving a native window places its client area; the
    // position is the frame's, as for a window made later.
    if (QWindow* native = windowHandle())
        native->setFramePosition(pos());

    SortColumn = 0;
    SortDirection = 1;
    IB_ReloadExecute();

    if (Messages().LanguageLoaded())
        ApplyLanguageTexts();
}

void TMain_Form::ReportOversizedStore()
{
    const std::string path = services_.store.TakeOversizedStore();
    if (!path.empty())
        ShowMessage(Message(Messages(), MessageId::StoreTooLarge, path), Message(Messages(), MessageId::CaptionWarning),
                    mb::OK | mb::ICONWARNING | mb::TASKMODAL | mb::SETFOREGROUND);
}

void TMain_Form::ApplyLanguageTexts()
{
    const MessageCatalogue& messages = Messages();
    FileMenu->setTitle(Message(messages, MessageId::FileMenu));
    ViewMenu->setTitle(Message(messages, MessageId::ViewMenu));
    HelpMenu->setTitle(Message(messages, MessageId::HelpMenu));
    const std::array<QAction*, 9> inEntryOrder{IB_CreateImage, IB_RestoreImage, IB_Exit,        IB_Config, IB_About,
                                               IB_Help,        IB_Reload,       IB_DeleteImage, IB_Property};
    // Caption and hint of each, in pairs from the first.
    MessageId entry = MessageId::CreateImageCaption;
    for (QAction* action : inEntryOrder) {
        action->setText(Message(messages, entry));
        action->setToolTip(Message(messages, entry + 1));
        entry = entry + 2;
    }
    for (auto [action, id] :
         {std::pair{IB_ExportImage, MessageId::ExportMenu}, std::pair{IB_ImportImage, MessageId::ImportMenu},
          std::pair{IB_Info, MessageId::InfoMenu}, std::pair{IB_RereadImage, MessageId::RereadUnreadable}}) {
        action->setText(Message(messages, id));
        action->setToolTip(Message(messages, id));
    }
    QStringList captions;
    for (int c = 0; c < kColumnCount; ++c)
        captions << Message(messages, MessageId::ColumnTitle + c);
    LV1->Rows()->SetCaptions(captions);

    setFont(MakeFont(messages.Font()));
    LV1->setFont(MakeFont(messages.Font()));
}

void TMain_Form::FormDestroy()
{
    if (destroyed_)
        return;
    destroyed_ = true;
    RegStore& store = services_.store;
    // One replacement of the store for the whole layout.
    store.Transaction([&] {
        store.RegWriteInteger(0, kSystemKey, "Top", y());
        store.RegWriteInteger(0, kSystemKey, "Left", x());
        store.RegWriteInteger(0, kSystemKey, "Height", height());
        store.RegWriteInteger(0, kSystemKey, "Width", width());
        for (int c = 0; c < kFileNameColumn; ++c)
            store.RegWriteInteger(0, kSystemKey, "Column" + std::to_string(c + 1), LV1->columnWidth(c));
    });
}

bool TMain_Form::FormCloseQuery() const
{
    return !IsBusy();
}

void TMain_Form::closeEvent(QCloseEvent* event)
{
    if (FormCloseQuery())
        event->accept();
    else
        event->ignore();
}

// --- busy state -------------------------------------------------------------

bool TMain_Form::IsBusy() const
{
    return !IB_CreateImage->isEnabled();
}

void TMain_Form::EnableCommands(bool enable)
{
    for (QAction* action : AL1)
        action->setEnabled(enable);
    LV1->setEnabled(enable);
    if (!enable) {
        IB_RereadImage->setEnabled(false);
        return;
    }
    UpdateSelectionCommands();
    // Disabling the list dropped the keyboard focus; nothing else gives it back.
    if (isActiveWindow())
        LV1->setFocus();
}

void TMain_Form::UpdateSelectionCommands()
{
    if (IsBusy())
        return;
    const int count = LV1->SelectedCount();
    const bool selected = LV1->RowCount() > 0 && count > 0;
    IB_RestoreImage->setEnabled(selected);
    IB_DeleteImage->setEnabled(selected);
    IB_Property->setEnabled(selected && count == 1);
    IB_ExportImage->setEnabled(selected);
    IB_Info->setEnabled(selected && count == 1);
    bool mapped = false;
    if (selected && count == 1) {
        const std::uint32_t source = LV1->Rows()->SourceRow(LV1->SelectedRowNumbers().front());
        mapped = source < Conditions.size() && Conditions[source].hasMap;
    }
    IB_RereadImage->setEnabled(mapped);
}

// --- keys -------------------------------------------------------------------

bool TMain_Form::eventFilter(QObject* watched, QEvent* event)
{
    if (event->type() == QEvent::KeyPress && watched->isWidgetType()) {
        // Only keys meant for this window; a box or dialog keeps its own Esc.
        if (static_cast<QWidget*>(watched)->window() == this)
            return FormKeyDown(static_cast<QKeyEvent*>(event));
    }
    return QMainWindow::eventFilter(watched, event);
}

bool TMain_Form::FormKeyDown(QKeyEvent* event)
{
    if (event->key() != Qt::Key_Escape)
        return false;
    CancelRequested = true;
    return true;
}

// --- list -------------------------------------------------------------------

const ImageCondition& TMain_Form::ConditionOfRow(int viewRow) const
{
    return Conditions[LV1->Rows()->SourceRow(viewRow)];
}

QString TMain_Form::ConditionText(std::uint32_t sourceRow) const
{
    const ImageCondition& c = Conditions[sourceRow];
    QStringList lines;
    if (!c.complete())
        lines << Message(Messages(), MessageId::IncompleteImage,
                         std::to_string(c.sectorsHeld) + "/" + std::to_string(c.sectorCount));
    if (c.hasMap) {
        // Read when the tip is wanted: the scan stays at one look per file.
        const std::string path = ImagePath(ImageFolder, LV1->Rows()->RowAtSource(sourceRow)[kFileNameColumn]);
        HeaderBytes header{};
        SectorMap map;
        const bool read = ReadHeaderFile(path, header).ok() &&
                          ReadImageMap(path, ReadHeader(header).bytesPerSector, c.sectorCount, map).ok();
        lines << Message(Messages(), MessageId::UnreadableCount, read ? std::to_string(map.count()) : "?");
    }
    return lines.join(QLatin1Char('\n'));
}

const LibraryRow& TMain_Form::RowOf(int row) const
{
    return LV1->Rows()->Row(row);
}

std::vector<LibraryRow> TMain_Form::AllRows() const
{
    std::vector<LibraryRow> rows;
    for (int i = 0; i < LV1->RowCount(); ++i)
        rows.push_back(RowOf(i));
    return rows;
}

std::vector<LibraryRow> TMain_Form::SelectedRows() const
{
    // In list order, whatever order the rows were selected in.
    std::vector<LibraryRow> rows;
    for (int i : LV1->SelectedRowNumbers())
        rows.push_back(RowOf(i));
    return rows;
}

std::string TMain_Form::ImagePathOf(const LibraryRow& row) const
{
    return ImagePath(ImageFolder, row[kFileNameColumn]);
}

int TMain_Form::LV1Compare(const LibraryRow& first, const LibraryRow& second) const
{
    return CompareRows(first, second, SortColumn, SortDirection);
}

void TMain_Form::SortList()
{
    LV1->SortRows([this](const LibraryRow& first, const LibraryRow& second) { return LV1Compare(first, second); });
}

void TMain_Form::LV1ColumnClick(int column)
{
    SortColumn = column;
    SortDirection = -SortDirection;
    SortList();
}

void TMain_Form::LV1MouseDown()
{
    UpdateSelectionCommands();
}

void TMain_Form::PM1Popup()
{
    UpdateSelectionCommands();
}

void TMain_Form::LV1DblClick()
{
    if (LV1->selectionModel()->hasSelection() && IB_Property->isEnabled())
        Guarded([this] { IB_PropertyExecute(); });
}

// --- status bar and messages ------------------------------------------------

void TMain_Form::SetStatusText(const QString& text)
{
    StatusPanel1->setText(text);
}

QString TMain_Form::StatusText() const
{
    return StatusPanel1->text();
}

void TMain_Form::PumpMessages()
{
    QCoreApplication::processEvents();
}

int TMain_Form::ShowMessage(const QString& text, const QString& caption, unsigned flags)
{
    return services_.messageBox(this, text, caption, flags);
}

void TMain_Form::ShowError(const QString& text)
{
    ShowMessage(text, QStringLiteral("Tessarine"), mb::OK | mb::ICONERROR | mb::TASKMODAL | mb::SETFOREGROUND);
}

void TMain_Form::Guarded(const std::function<void()>& handler)
{
    try {
        handler();
    } catch (const std::exception& e) {
        ShowError(QString::fromUtf8(e.what()));
    }
}

// --- the commands of this window ----------------------------------------------

void TMain_Form::IB_ReloadExecute()
{
    // Every command ends here, so what it read from the store is told now.
    ReportOversizedStore();
    FormCommandHost host(*this);
    ScanCommand(host, ImageFolder);
}

void TMain_Form::IB_ExitExecute()
{
    close();
}

void TMain_Form::IB_HelpExecute()
{
    std::error_code ec;
    if (!std::filesystem::is_regular_file(HelpFile, ec))
        return;
    if (services_.openHelp)
        services_.openHelp(HelpFile);
    else
        QDesktopServices::openUrl(QUrl::fromLocalFile(QFile::decodeName(QByteArray::fromStdString(HelpFile))));
}

void TMain_Form::IB_ConfigExecute()
{
    RunConfigCommand(false);
}
