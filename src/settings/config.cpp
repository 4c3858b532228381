#include "settings/config.h"

#include <filesystem>
#include <memory>
#include <system_error>

#include <QCloseEvent>
#include <QComboBox>
#include <QDir>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFile>
#include <QFileDialog>
#include <QFrame>
#include <QKeyEvent>
#include <QLabel>
#include <QMimeData>
#include <QPushButton>
#include <QScreen>
#include <QStyle>
#include <QSysInfo>
#include <QUrl>

#include "settings/caption.h"
#include "settings/eliedit.h"
#include "settings/fonts.h"
#include "settings/messages.h"
#include "settings/messagestring.h"
#include "settings/regstore.h"

namespace {

constexpr unsigned kBoxFlags = mb::TASKMODAL | mb::SETFOREGROUND;
constexpr int kPathRole = Qt::UserRole;

std::filesystem::path FsPath(const QString& text)
{
    return std::filesystem::path(QFile::encodeName(text).toStdString());
}

bool IsExistingFolder(const QString& text)
{
    if (text.isEmpty())
        return false;
    std::error_code ec;
    return std::filesystem::is_directory(FsPath(text), ec);
}

QStyle::StandardPixmap DriveIcon(DriveKind kind)
{
    switch (kind) {
    case DriveKind::Floppy: return QStyle::SP_DriveFDIcon;
    case DriveKind::Virtual: return QStyle::SP_FileIcon;
    case DriveKind::Removable:
    case DriveKind::Other: break;
    }
    return QStyle::SP_DriveHDIcon;
}

// The first local file among dropped URLs, or nothing.
QString FirstDroppedPath(const QMimeData* data)
{
    if (data == nullptr || !data->hasUrls())
        return {};
    for (const QUrl& url : data->urls())
        if (url.isLocalFile())
            return url.toLocalFile();
    return {};
}

} // namespace

// ---------------------------------------------------------------------------

bool BrowseForFolder(QWidget* owner, const QString& title, QString& path)
{
    // A start folder that does not exist selects nothing: the chooser opens
    // where it would by itself.
    const QString start = IsExistingFolder(path) ? QDir(path).absolutePath() : QString();
    const QString chosen = QFileDialog::getExistingDirectory(owner, title, start, QFileDialog::ShowDirsOnly);
    if (chosen.isEmpty())
        return false;
    path = chosen;
    return true;
}

QString DriveRootPath(char letter)
{
    return QString(QChar(letter)) + QStringLiteral(":/");
}

bool IsDriveRootPath(const QString& path)
{
    return path.contains(QLatin1Char(':')) && path.size() == 3;
}

QString FolderForField(const QString& folder)
{
    if (folder.endsWith(QLatin1Char('/')) && folder != QStringLiteral("/"))
        return folder.left(folder.size() - 1);
    return folder;
}

std::string FolderForStore(const QString& text)
{
    QString folder = text;
    if (!folder.endsWith(QLatin1Char('/')))
        folder += QLatin1Char('/');
    return folder.toStdString();
}

FolderCreation CreateFolderWithParents(const QString& text)
{
    if (text.isEmpty())
        return FolderCreation::EmptyName;
    std::error_code ec;
    std::filesystem::create_directories(FsPath(text), ec);
    // Judge by the outcome: an existing file of that name, or a parent that
    // is a file, leaves no folder behind whatever the call said.
    return IsExistingFolder(text) ? FolderCreation::Created : FolderCreation::Failed;
}

// ---------------------------------------------------------------------------

TConfig_Form::TConfig_Form(QWidget* owner, const MessageCatalogue& messages, std::string& sourceDrive,
                           const std::string& imageFolder, std::vector<DriveEntry> drives, MessageBoxFunc messageBox,
                           FolderBrowserFunc browseForFolder)
    : QDialog(owner), messages_(messages), sourceDrive_(sourceDrive), imageFolder_(imageFolder),
      drives_(std::move(drives)), messageBox_(std::move(messageBox)),
      browseForFolder_(browseForFolder ? std::move(browseForFolder) : FolderBrowserFunc(BrowseForFolder))
{
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint
                   | Qt::WindowCloseButtonHint);
    setWindowTitle(QStringLiteral("環境設定"));
    setFont(BuiltInFont());

    // Created in tab order; the frame first so that it lies beneath the rest.
    Bevel1 = new QFrame(this);
    Bevel1->setFrameStyle(QFrame::Box | QFrame::Sunken);
    Bevel1->setGeometry(4, 4, 269, 101);

    Label1 = new QLabel(QStringLiteral("イメージ生成ドライブ(&D):"), this);
    Label1->move(12, 12);
    Label2 = new QLabel(QStringLiteral("イメージファイル格納フォルダ(&F):"), this);
    Label2->move(12, 60);

    SCV1 = new QComboBox(this);
    SCV1->setGeometry(40, 28, 225, 22);
    SCV1->setMaxVisibleItems(8);
    // Styles that drop a combo box down as a menu ignore the row limit; the list popup keeps it.
    SCV1->setStyleSheet(QStringLiteral("QComboBox { combobox-popup: 0; }"));
    Label1->setBuddy(SCV1);

    EE1 = new TEllipsisEdit(this);
    EE1->setGeometry(40, 76, 225, 20);
    EE1->setFixedHeight(20);
    Label2->setBuddy(EE1);

    OK_Btn = new QPushButton(QStringLiteral("OK"), this);
    OK_Btn->setGeometry(116, 112, 75, 20);
    OK_Btn->setDefault(true);
    connect(OK_Btn, &QPushButton::clicked, this, &QDialog::accept);

    Cancel_Btn = new QPushButton(QStringLiteral("Cancel"), this);
    Cancel_Btn->setGeometry(198, 112, 75, 20);
    Cancel_Btn->setAutoDefault(false);
    connect(Cancel_Btn, &QPushButton::clicked, this, &QDialog::reject);

    setTabOrder(SCV1, EE1);
    setTabOrder(EE1, OK_Btn);
    setTabOrder(OK_Btn, Cancel_Btn);

    EE1->OnEllipsisClick = [this](TCustomEllipsisEdit*) { EE1EllipsisClick(); };
    FormCreate();
}

TConfig_Form::~TConfig_Form()
{
    // The drop and key hook lives exactly as long as the dialog.
    EE1->removeEventFilter(this);
}

void TConfig_Form::FormCreate()
{
    FillDriveBox();
    // Only the folder field takes dropped files.
    EE1->setAcceptDrops(true);
    EE1->installEventFilter(this);
}

void TConfig_Form::FillDriveBox()
{
    // The computer itself first, as the desktop's drive list shows it; OK
    // rejects it because it is not a drive root.
    SCV1->addItem(style()->standardIcon(QStyle::SP_ComputerIcon), QSysInfo::machineHostName(), QString());
    for (const DriveEntry& drive : drives_)
        SCV1->addItem(style()->standardIcon(DriveIcon(drive.kind)), QString::fromStdString(drive.display),
                      DriveRootPath(drive.letter));
}

void TConfig_Form::SetFirstRun()
{
    firstRun_ = true;
    setWindowTitle(Message(messages_, MessageId::FirstRunTitle));
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint);
    Cancel_Btn->setEnabled(false);
}

QString TConfig_Form::SelectedPath() const
{
    return SCV1->currentData(kPathRole).toString();
}

int TConfig_Form::ShowBox(MessageId message, MessageId caption, unsigned flags)
{
    return messageBox_(this, Message(messages_, message), Message(messages_, caption), flags | kBoxFlags);
}

void TConfig_Form::showEvent(QShowEvent* event)
{
    if (showArmed_)
        FormShow();
    if (windowTitle().isEmpty())
        KeepEmptyCaption(*this);
    QDialog::showEvent(event);
}

void TConfig_Form::FormShow()
{
    showArmed_ = false;

    setFixedSize(Cancel_Btn->x() + Cancel_Btn->width() + 4, Cancel_Btn->y() + Cancel_Btn->height() + 4);
    SCV1->setEditable(false);

    if (messages_.LanguageLoaded()) {
        if (!firstRun_)
            setWindowTitle(Message(messages_, MessageId::ConfigTitle));
        Label1->setText(Message(messages_, MessageId::DriveLabel));
        Label2->setText(Message(messages_, MessageId::FolderLabel));
        OK_Btn->setText(Message(messages_, MessageId::OkButton));
        Cancel_Btn->setText(Message(messages_, MessageId::CancelButton));
        setFont(MakeFont(messages_.Font()));
    }
    Label1->adjustSize();
    Label2->adjustSize();

    const QString wanted = QString::fromStdString(sourceDrive_) + QStringLiteral(":/");
    int index = -1;
    for (int i = 0; i < SCV1->count(); ++i)
        if (SCV1->itemData(i, kPathRole).toString().compare(wanted, Qt::CaseInsensitive) == 0) {
            index = i;
            break;
        }
    if (index >= 0) {
        SCV1->setCurrentIndex(index);
    } else {
        ShowBox(MessageId::DriveMissing, MessageId::CaptionWarning, mb::OK | mb::ICONWARNING);
        for (int i = 0; i < SCV1->count(); ++i) {
            SCV1->setCurrentIndex(i);
            if (IsDriveRootPath(SelectedPath()))
                break;
        }
        // The transfers take the first character of the source drive, so it
        // keeps its old letter when the box holds no drive at all.
        const QString path = SelectedPath();
        if (!path.isEmpty())
            sourceDrive_ = std::string(1, path.at(0).toUpper().toLatin1());
    }

    EE1->setText(FolderForField(QString::fromStdString(imageFolder_)));

    if (const QScreen* s = screen())
        move(s->availableGeometry().center() - rect().center());
    SCV1->setFocus(Qt::OtherFocusReason);
}

bool TConfig_Form::FormCloseQuery()
{
    if (!IsDriveRootPath(SelectedPath())) {
        ShowBox(MessageId::NotADrive, MessageId::CaptionConfirm, mb::OK | mb::ICONERROR);
        SCV1->setFocus(Qt::OtherFocusReason);
        return false;
    }
    const QString folder = EE1->text();
    if (IsExistingFolder(folder))
        return true;
    if (ShowBox(MessageId::FolderMissingCreate, MessageId::CaptionConfirm, mb::YESNO | mb::ICONQUESTION) != mb::IDYES) {
        EE1->setFocus(Qt::OtherFocusReason);
        return false;
    }
    switch (CreateFolderWithParents(folder)) {
    case FolderCreation::Created:
        return true;
    case FolderCreation::EmptyName:
        // No folder name at all: the system's own complaint, as an error.
        messageBox_(this, QStringLiteral("ディレクトリを作成できません"), QStringLiteral("Tessarine"),
                    mb::OK | mb::ICONERROR | kBoxFlags);
        break;
    case FolderCreation::Failed:
        ShowBox(MessageId::FolderNotCreated, MessageId::CaptionConfirm, mb::OK | mb::ICONERROR);
        break;
    }
    EE1->setFocus(Qt::OtherFocusReason);
    return false;
}

void TConfig_Form::done(int result)
{
    if (result == QDialog::Accepted && !FormCloseQuery())
        return;
    QDialog::done(result);
}

void TConfig_Form::keyPressEvent(QKeyEvent* event)
{
    // Without an enabled Cancel button Esc leaves nothing: the first-run
    // form can only be left by OK.
    if (event->key() == Qt::Key_Escape && !Cancel_Btn->isEnabled()) {
        event->accept();
        return;
    }
    QDialog::keyPressEvent(event);
}

void TConfig_Form::closeEvent(QCloseEvent* event)
{
    // Window managers offer a close button although the first-run form asks
    // for none (a dialog without close, minimise or maximise hints gets every
    // function); it is refused like Esc.
    if (!Cancel_Btn->isEnabled()) {
        event->ignore();
        return;
    }
    QDialog::closeEvent(event);
}

void TConfig_Form::EE1EllipsisClick()
{
    QString path = EE1->text();
    if (browseForFolder_(this, Message(messages_, MessageId::BrowseInstruction), path))
        EE1->setText(path);
}

bool TConfig_Form::EE1KeyDown(const QKeyEvent& event)
{
    if (event.key() == Qt::Key_Down && (event.modifiers() & Qt::AltModifier)) {
        EE1->DoEllipsisClick();
        return true;
    }
    return false;
}

void TConfig_Form::EE1DropFiles(const QString& firstPath)
{
    EE1->setText(firstPath);
    raise();
    activateWindow();
}

bool TConfig_Form::eventFilter(QObject* watched, QEvent* event)
{
    if (watched != EE1)
        return QDialog::eventFilter(watched, event);
    switch (event->type()) {
    case QEvent::KeyPress:
        return EE1KeyDown(*static_cast<QKeyEvent*>(event));
    case QEvent::DragEnter:
    case QEvent::DragMove: {
        auto* drag = static_cast<QDragMoveEvent*>(event);
        if (FirstDroppedPath(drag->mimeData()).isEmpty())
            return false; // not files: the field's own handling
        drag->acceptProposedAction();
        return true;
    }
    case QEvent::Drop: {
        auto* drop = static_cast<QDropEvent*>(event);
        const QString path = FirstDroppedPath(drop->mimeData());
        if (path.isEmpty())
            return false;
        drop->acceptProposedAction();
        EE1DropFiles(path);
        return true;
    }
    default:
        return false;
    }
}

// ---------------------------------------------------------------------------

void ExecuteConfigCommand(QWidget* owner, const ConfigCommandServices& services, std::string& sourceDrive,
                          std::string& imageFolder, bool firstRun)
{
    const std::vector<DriveEntry> drives = services.driveTable ? services.driveTable() : std::vector<DriveEntry>{};
    // Destroyed on every way out, store failures included.
    auto form = std::make_unique<TConfig_Form>(owner, services.messages, sourceDrive, imageFolder, drives,
                                               services.messageBox, services.browseForFolder);
    if (firstRun)
        form->SetFirstRun();
    if (form->exec() != QDialog::Accepted)
        return;

    const std::string drive(1, form->SelectedPath().at(0).toUpper().toLatin1());
    const std::string folder = FolderForStore(form->EE1->text());
    form.reset();
    if (services.apply)
        services.apply(drive, folder, NewBindings(drives));
}
