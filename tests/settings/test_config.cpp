#include "settings/config.h"

#include <filesystem>
#include <functional>
#include <map>
#include <memory>
#include <optional>

#include <QApplication>
#include <QComboBox>
#include <QAbstractItemView>
#include <QDir>
#include <QLabel>
#include <QMimeData>
#include <QPushButton>
#include <QTimer>
#include <QUrl>
#include <QtTest>

#include "settings/eliedit.h"
#include "settings/fonts.h"
#include "settings/messages.h"
#include "settings/regstore.h"
#include "support/messages.h"
#include "support/scripted_boxes.h"
#include "support/tempdir.h"
#include "support/when_open.h"

namespace fs = std::filesystem;

namespace {

const QString kWarning = QStringLiteral("注意");
const QString kConfirm = QStringLiteral("確認");
constexpr unsigned kFront = mb::TASKMODAL | mb::SETFOREGROUND;

std::vector<DriveEntry> TwoDrives()
{
    // A detected, C written into the Devices key by hand.
    return {{'A', "/dev/sdc", DriveKind::Removable, "A: /dev/sdc  Floppy drive  1.4 MB", "usb:pci0000:00/usb1/1-1#7"},
            {'C', "/srv/disk.img", DriveKind::Virtual, "C: /srv/disk.img  1.2 MB", "/srv/disk.img", true}};
}

QString Msg(int n)
{
    return QString::fromStdString(BuiltInMessages().Text(n));
}

// The working directory, restored on every way out.
class InFolder {
public:
    explicit InFolder(const std::string& path) : saved_(QDir::currentPath()) { QDir::setCurrent(QString::fromStdString(path)); }
    ~InFolder() { QDir::setCurrent(saved_); }

private:
    QString saved_;
};

// A dialog built as the command builds it, with a scripted box answerer and a
// folder browser that records its calls.
struct Fixture {
    explicit Fixture(std::string drive = "A", std::string folder = "./Images/",
                     std::vector<DriveEntry> drives = TwoDrives(), const MessageCatalogue& messages = BuiltInMessages())
        : sourceDrive(std::move(drive)), imageFolder(std::move(folder))
    {
        form =
            std::make_unique<TConfig_Form>(nullptr, messages, sourceDrive, imageFolder, std::move(drives), boxes.func(),
                                           [this](QWidget* owner, const QString& title, QString& path) {
                                               ++browses;
                                               browseOwner = owner;
                                               browseTitle = title;
                                               browseStart = path;
                                               if (!browseAnswer)
                                                   return false;
                                               path = *browseAnswer;
                                               return true;
                                           });
    }

    void show()
    {
        form->show();
        QVERIFY(QTest::qWaitForWindowExposed(form.get()));
    }

    void pressOk() { form->OK_Btn->click(); }

    ScriptedBoxes boxes;
    std::string sourceDrive;
    std::string imageFolder;
    std::unique_ptr<TConfig_Form> form;
    int browses = 0;
    QWidget* browseOwner = nullptr;
    QString browseTitle, browseStart;
    std::optional<QString> browseAnswer;
};

void DropUrls(QWidget* target, const QList<QUrl>& urls)
{
    QMimeData data;
    data.setUrls(urls);
    const QPoint at = target->rect().center();
    QDragEnterEvent enter(at, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(target, &enter);
    QVERIFY(enter.isAccepted());
    QDropEvent drop(QPointF(at), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(target, &drop);
    QVERIFY(drop.isAccepted());
}

// The catalogue of a language file giving entries 1 to 60 ("L<n>") and the
// font "IPAGothic" 11.
MessageCatalogue LoadLanguage(const TempDir& dir)
{
    std::string text = "\xEF\xBB\xBF[Font01]\nName=IPAGothic\nSize=11\n[Strings]\n";
    for (int n = 1; n <= 60; ++n)
        text += std::to_string(n) + "=L" + std::to_string(n) + "\n";
    dir.write("tessarine.rsl", text);
    return MessageCatalogue::Load(dir.file("tessarine"));
}

// The command as the main window runs it; what OK applies (set, store,
// rescan) is the command layer's, tested over a scripted host.
struct Command {
    explicit Command(std::string drive = "A", std::string folder = "./Images/")
        : sourceDrive(std::move(drive)), imageFolder(std::move(folder))
    {
    }

    void run(bool firstRun = false)
    {
        ConfigCommandServices services{
            BuiltInMessages(), boxes.func(), [] { return TwoDrives(); },
            [](QWidget*, const QString&, QString&) { return false; },
            [this](const std::string& drive, const std::string& folder, const std::map<char, std::string>& bound) {
                ++applied;
                bindings = bound;
                chosen = drive + " " + folder;
                dialogGone = true;
                for (QWidget* w : QApplication::topLevelWidgets())
                    dialogGone = dialogGone && !qobject_cast<TConfig_Form*>(w);
                if (failApply)
                    throw RegError("no store");
            }};
        ExecuteConfigCommand(nullptr, services, sourceDrive, imageFolder, firstRun);
    }

    ScriptedBoxes boxes;
    std::string sourceDrive;
    std::string imageFolder;
    int applied = 0;
    std::string chosen;
    std::map<char, std::string> bindings;
    bool dialogGone = false;
    bool failApply = false;
};

} // namespace

class TestConfigForm : public QObject {
    Q_OBJECT
private slots:
    void firstRunFormOffersOnlyOk()
    {
        Fixture f;
        f.form->SetFirstRun();
        f.show();
        TConfig_Form& form = *f.form;

        QCOMPARE(form.windowTitle(), QStringLiteral("初期設定"));
        QVERIFY(!(form.windowFlags() & Qt::WindowCloseButtonHint));
        QVERIFY(!(form.windowFlags() & Qt::WindowSystemMenuHint));
        QVERIFY(!form.Cancel_Btn->isEnabled());
        QCOMPARE(form.size(), QSize(277, 136));
        QCOMPARE(QApplication::focusWidget(), form.SCV1);

        // Esc does not leave the first-run form.
        QTest::keyClick(&form, Qt::Key_Escape);
        QVERIFY(form.isVisible());
    }

    void menuFormLayoutAndDriveBox()
    {
        Fixture f;
        f.show();
        TConfig_Form& form = *f.form;

        QCOMPARE(form.windowTitle(), QStringLiteral("環境設定"));
        QVERIFY(form.windowFlags() & Qt::WindowCloseButtonHint);
        QVERIFY(!(form.windowFlags() & (Qt::WindowMinimizeButtonHint | Qt::WindowMaximizeButtonHint)));
        QVERIFY(form.Cancel_Btn->isEnabled());
        QCOMPARE(form.size(), QSize(277, 136));

        // Tab order: drive box, folder field, OK, Cancel.
        QCOMPARE(QApplication::focusWidget(), form.SCV1);
        for (QWidget* next : {static_cast<QWidget*>(form.EE1), static_cast<QWidget*>(form.OK_Btn),
                              static_cast<QWidget*>(form.Cancel_Btn), static_cast<QWidget*>(form.SCV1)}) {
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
            QCOMPARE(QApplication::focusWidget(), next);
        }

        // The computer first, then the drives in letter order; only picks.
        QVERIFY(!form.SCV1->isEditable());
        QCOMPARE(form.SCV1->count(), 3);
        QCOMPARE(form.SCV1->itemText(0), QSysInfo::machineHostName());
        QCOMPARE(form.SCV1->itemData(0).toString(), QString());
        QCOMPARE(form.SCV1->itemText(1), QStringLiteral("A: /dev/sdc  Floppy drive  1.4 MB"));
        QCOMPARE(form.SCV1->itemData(1).toString(), QStringLiteral("A:/"));
        QCOMPARE(form.SCV1->itemData(2).toString(), QStringLiteral("C:/"));

        // The stored drive is selected; the folder's text is folderFieldText's test.
        QCOMPARE(form.SelectedPath(), QStringLiteral("A:/"));

        QTest::keyClick(&form, Qt::Key_Escape);
        QVERIFY(!form.isVisible());
        QCOMPARE(form.result(), int(QDialog::Rejected));
    }

    void driveBoxDropsDownEightRows()
    {
        std::vector<DriveEntry> drives;
        for (char letter = 'A'; letter <= 'P'; ++letter)
            drives.push_back(DriveEntry{letter, "/dev/sdx", DriveKind::Other, std::string(1, letter) + ": /dev/sdx"});
        Fixture f("A", "/tmp/", drives);
        f.show();
        QComboBox* box = f.form->SCV1;
        QVERIFY(box->count() > 8);
        box->showPopup();
        QAbstractItemView* view = box->view();
        QTRY_VERIFY(view->isVisible());
        const int rowHeight = view->sizeHintForRow(0);
        QVERIFY(rowHeight > 0);
        QVERIFY2(view->viewport()->height() <= 8 * rowHeight + 2, qPrintable(QString::number(view->viewport()->height())));
        QVERIFY(view->viewport()->height() >= 8 * rowHeight - 2);
        box->hidePopup();
    }

    void folderFieldText_data()
    {
        QTest::addColumn<QString>("stored");
        QTest::addColumn<QString>("shown");
        QTest::newRow("relative") << "./Images/" << "./Images";
        QTest::newRow("no separator") << "./Images" << "./Images";
        QTest::newRow("only one removed") << "/data//" << "/data/";
        QTest::newRow("root stays") << "/" << "/";
    }

    void folderFieldText()
    {
        QFETCH(QString, stored);
        QFETCH(QString, shown);
        Fixture f("A", stored.toStdString());
        f.show();
        QCOMPARE(f.form->EE1->text(), shown);
    }

    void missingDriveWarnsAndTakesFirstRoot()
    {
        Fixture f("Q");
        f.boxes.expect(QStringLiteral("ドライブが存在しません。最初のドライブを使用します。"), kWarning,
                       mb::OK | mb::ICONWARNING | kFront);
        f.show();
        QCOMPARE(f.form->SelectedPath(), QStringLiteral("A:/"));
        // Changed at once, whatever the user does next.
        QCOMPARE(f.sourceDrive, std::string("A"));
        f.form->reject();
        QCOMPARE(f.sourceDrive, std::string("A"));
        QCOMPARE(f.boxes.shown().front().ownerAtCall, f.form.get());
    }

    void noDriveAtAllKeepsTheLetter()
    {
        Fixture f("Q", "./Images/", {});
        f.boxes.expect(Msg(54), kWarning, mb::OK | mb::ICONWARNING | kFront);
        f.show();
        QCOMPARE(f.sourceDrive, std::string("Q"));
        QCOMPARE(f.form->SelectedPath(), QString());
    }

    void computerEntryIsRefused()
    {
        TempDir dir;
        Fixture f("A", dir.path());
        f.show();
        f.form->SCV1->setCurrentIndex(0);
        f.form->EE1->setFocus();
        f.boxes.expect(QStringLiteral("ローカルドライブを指定して下さい"), kConfirm, mb::OK | mb::ICONERROR | kFront);
        f.pressOk();
        QVERIFY(f.boxes.verifyDone());
        QVERIFY(f.form->isVisible());
        QCOMPARE(QApplication::focusWidget(), f.form->SCV1);

        // A drive root with an existing folder closes without a question.
        f.form->SCV1->setCurrentIndex(2);
        f.pressOk();
        QVERIFY(!f.form->isVisible());
        QCOMPARE(f.form->result(), int(QDialog::Accepted));
    }

    void nestedMissingFoldersCreatedOnYes()
    {
        TempDir dir;
        const std::string nested = dir.file("disks/floppies");
        Fixture f("A", nested);
        f.show();

        // No: nothing created, the dialog stays with the focus in the field.
        f.boxes.expect(QStringLiteral("フォルダが存在しません。新規作成しますか？"), kConfirm,
                       mb::YESNO | mb::ICONQUESTION | kFront, mb::IDNO);
        f.pressOk();
        QVERIFY(f.boxes.verifyDone());
        QVERIFY(f.form->isVisible());
        QVERIFY(!fs::exists(dir.file("disks")));
        QCOMPARE(QApplication::focusWidget(), f.form->EE1);

        f.boxes.expect(Msg(57), kConfirm, mb::YESNO | mb::ICONQUESTION | kFront, mb::IDYES);
        f.pressOk();
        QVERIFY(fs::is_directory(nested));
        QVERIFY(!f.form->isVisible());
        QCOMPARE(f.form->result(), int(QDialog::Accepted));
    }

    void relativeFolderIsCreatedInTheWorkingDirectory()
    {
        TempDir dir;
        InFolder cwd(dir.path());
        Fixture f("A", "Images/");
        f.show();
        f.boxes.expect(Msg(57), kConfirm, mb::YESNO | mb::ICONQUESTION | kFront, mb::IDYES);
        f.pressOk();
        QVERIFY(fs::is_directory(dir.file("Images")));
        QVERIFY(!f.form->isVisible());
    }

    void droppedFileThenCreationFails()
    {
        TempDir dir;
        dir.write("notes.txt", "x");
        dir.write("other.txt", "y");
        Fixture f("A", dir.path());
        f.show();

        DropUrls(f.form->EE1, {QUrl::fromLocalFile(QString::fromStdString(dir.file("notes.txt"))),
                               QUrl::fromLocalFile(QString::fromStdString(dir.file("other.txt")))});
        QCOMPARE(f.form->EE1->text(), QString::fromStdString(dir.file("notes.txt")));

        f.boxes.expect(Msg(57), kConfirm, mb::YESNO | mb::ICONQUESTION | kFront, mb::IDYES);
        f.boxes.expect(QStringLiteral("フォルダを作成できませんでした"), kConfirm, mb::OK | mb::ICONERROR | kFront);
        f.pressOk();
        QVERIFY(f.boxes.verifyDone());
        QVERIFY(f.form->isVisible());
        QVERIFY(fs::is_regular_file(dir.file("notes.txt")));
        QCOMPARE(QApplication::focusWidget(), f.form->EE1);

        // Below a file nothing can be created either.
        f.form->EE1->setText(QString::fromStdString(dir.file("notes.txt/sub")));
        f.boxes.expect(Msg(57), kConfirm, mb::YESNO | mb::ICONQUESTION | kFront, mb::IDYES);
        f.boxes.expect(Msg(58), kConfirm, mb::OK | mb::ICONERROR | kFront);
        f.pressOk();
        QVERIFY(f.form->isVisible());
    }

    void emptyFolderTextCannotBeCreated()
    {
        Fixture f;
        f.show();
        f.form->EE1->clear();
        f.boxes.expect(Msg(57), kConfirm, mb::YESNO | mb::ICONQUESTION | kFront, mb::IDYES);
        f.boxes.expect(QStringLiteral("ディレクトリを作成できません"), QStringLiteral("Tessarine"),
                       mb::OK | mb::ICONERROR | kFront);
        f.pressOk();
        QVERIFY(f.form->isVisible());
    }

    void altDownAndButtonOpenTheBrowser()
    {
        TempDir dir;
        Fixture f("A", dir.path() + "/");
        f.show();
        f.form->EE1->setFocus();

        // Cancelled: the field keeps its text.
        QTest::keyClick(f.form->EE1, Qt::Key_Down, Qt::AltModifier);
        QCOMPARE(f.browses, 1);
        QCOMPARE(f.browseOwner, f.form.get());
        QCOMPARE(f.browseTitle, QStringLiteral("イメージファイルの格納フォルダを指定して下さい"));
        QCOMPARE(f.browseStart, QString::fromStdString(dir.path()));
        QCOMPARE(f.form->EE1->text(), QString::fromStdString(dir.path()));

        // Other modifiers held as well still count; Down alone does not.
        f.browseAnswer = QStringLiteral("/chosen/folder");
        QTest::keyClick(f.form->EE1, Qt::Key_Down, Qt::AltModifier | Qt::ShiftModifier);
        QCOMPARE(f.browses, 2);
        QCOMPARE(f.form->EE1->text(), QStringLiteral("/chosen/folder"));
        QTest::keyClick(f.form->EE1, Qt::Key_Down);
        QCOMPARE(f.browses, 2);

        QTest::mouseClick(f.form->EE1->Button(), Qt::LeftButton);
        QCOMPARE(f.browses, 3);
        QCOMPARE(f.browseStart, QStringLiteral("/chosen/folder"));
    }

    void languageTextsAndFont()
    {
        TempDir dir;
        const MessageCatalogue texts = LoadLanguage(dir);
        QVERIFY(texts.LanguageLoaded());
        {
            Fixture f("A", "./Images/", TwoDrives(), texts);
            f.show();
            QCOMPARE(f.form->windowTitle(), QStringLiteral("L51"));
            QCOMPARE(f.form->Label1->text(), QStringLiteral("L52"));
            QCOMPARE(f.form->Label2->text(), QStringLiteral("L53"));
            QCOMPARE(f.form->OK_Btn->text(), QStringLiteral("L1"));
            QCOMPARE(f.form->Cancel_Btn->text(), QStringLiteral("L2"));
            QCOMPARE(f.form->font().families().value(0), QStringLiteral("IPAGothic"));
            QCOMPARE(f.form->font().pointSize(), 11);
            QCOMPARE(f.form->EE1->font().pointSize(), 11);
        }
        {
            Fixture f("A", "./Images/", TwoDrives(), texts);
            f.form->SetFirstRun();
            f.show();
            QCOMPARE(f.form->windowTitle(), QStringLiteral("L49"));
        }
    }

    void commandOkSetsStoresThenRescans()
    {
        TempDir dir;
        InFolder cwd(dir.path());
        fs::create_directory(dir.file("Images"));
        Command c;
        QPointer<TConfig_Form> seen;
        WhenOpen<TConfig_Form>(
            [](TConfig_Form& form) {
                // "./Images/" is shown without its separator ...
                QCOMPARE(form.EE1->text(), QStringLiteral("./Images"));
                form.SCV1->setCurrentIndex(2);
                form.OK_Btn->click();
            },
            &seen);
        c.run();
        // ... and applied with it again, once the dialog is gone.
        QCOMPARE(c.applied, 1);
        QCOMPARE(c.chosen, std::string("C ./Images/"));
        QVERIFY(c.dialogGone);
        QVERIFY(seen.isNull());
        // The detected drive is to be bound to its device; what was written by hand stays as written.
        QCOMPARE(c.bindings, (std::map<char, std::string>{{'A', "usb:pci0000:00/usb1/1-1#7"}}));
    }

    // A rejected dialog stores nothing; that Esc rejects it as Cancel does
    // is menuFormLayoutAndDriveBox's test.
    void commandCancelStoresNothing()
    {
        Command c;
        WhenOpen<TConfig_Form>([](TConfig_Form& form) {
            form.SCV1->setCurrentIndex(2);
            form.EE1->setText(QStringLiteral("/elsewhere"));
            form.Cancel_Btn->click();
            QVERIFY(!form.isVisible());
        });
        c.run();
        QCOMPARE(c.applied, 0);
        QCOMPARE(c.sourceDrive, std::string("A"));
        QCOMPARE(c.imageFolder, std::string("./Images/"));
    }

    void commandMissingDriveChangesSourceEvenOnCancel()
    {
        Command c("Q");
        c.boxes.expect(Msg(54), kWarning, mb::OK | mb::ICONWARNING | kFront);
        WhenOpen<TConfig_Form>([](TConfig_Form& form) { form.Cancel_Btn->click(); });
        c.run();
        QCOMPARE(c.sourceDrive, std::string("A"));
        QCOMPARE(c.applied, 0);
    }

    // The command opens the first-run form (what that form refuses is
    // firstRunFormOffersOnlyOk's test) and Enter reaches its OK.
    void commandFirstRunFormAcceptsOnlyOk()
    {
        TempDir dir;
        Command c("A", dir.path());
        WhenOpen<TConfig_Form>([](TConfig_Form& form) {
            QCOMPARE(form.windowTitle(), QStringLiteral("初期設定"));
            QTest::keyClick(form.SCV1, Qt::Key_Return);
        });
        c.run(true);
        QCOMPARE(c.applied, 1);
        QCOMPARE(c.chosen, "A " + dir.path() + "/");
    }

    void commandStoreFailureLeavesNoDialog()
    {
        TempDir dir;
        Command c("A", dir.path());
        c.failApply = true;
        QPointer<TConfig_Form> seen;
        WhenOpen<TConfig_Form>([](TConfig_Form& form) { form.OK_Btn->click(); }, &seen);
        bool raised = false;
        try {
            c.run();
        } catch (const RegError&) {
            raised = true;
        }
        QVERIFY(raised);
        QVERIFY(seen.isNull());
        QCOMPARE(c.applied, 1);
    }
};

QTEST_MAIN(TestConfigForm)
#include "test_config.moc"
