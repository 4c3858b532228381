// The windows under a real X server with openbox (tests/support/
// with_window_manager.sh): where the window manager puts them, what its close
// command does, and where the keyboard focus goes.
#include "app/mainform.h"

#include <QAbstractItemView>
#include <QComboBox>
#include <QLabel>
#include <QMessageBox>
#include <QProcess>
#include <QProgressBar>
#include <QPushButton>
#include <QStatusBar>
#include <QToolBar>
#include <QToolTip>
#include <QtTest>

#include "settings/about1.h"
#include "settings/config.h"
#include "settings/eliedit.h"
#include "settings/messages.h"
#include "settings/messagestring.h"
#include "settings/msgbox.h"
#include "support/profiles.h"
#include "support/when_open.h"

namespace {

// Output of an X tool; a tool that fails fails the test.
QString Run(const QString& tool, const QStringList& args)
{
    QProcess process;
    process.start(tool, args);
    if (!process.waitForFinished(5000) || process.exitCode() != 0)
        QTest::qFail(qPrintable(tool + QStringLiteral(" failed")), __FILE__, __LINE__);
    return QString::fromUtf8(process.readAllStandardOutput());
}

// Top-left corner of the window's frame as the X server has it: the client
// area's position less the frame extents the window manager announces.
QPoint FrameTopLeft(QWidget& window)
{
    const QString id = QString::number(window.winId());
    QPoint client;
    for (const QString& line : Run(QStringLiteral("xwininfo"), {QStringLiteral("-id"), id}).split('\n')) {
        if (line.contains(QLatin1String("Absolute upper-left X:")))
            client.setX(line.section(':', 1).trimmed().toInt());
        if (line.contains(QLatin1String("Absolute upper-left Y:")))
            client.setY(line.section(':', 1).trimmed().toInt());
    }
    // "_NET_FRAME_EXTENTS(CARDINAL) = left, right, top, bottom"
    const QStringList extents =
        Run(QStringLiteral("xprop"), {QStringLiteral("-id"), id, QStringLiteral("_NET_FRAME_EXTENTS")})
            .section('=', 1)
            .split(',');
    if (extents.size() != 4)
        return QPoint(-1000, -1000); // not framed yet
    return client - QPoint(extents[0].trimmed().toInt(), extents[2].trimmed().toInt());
}

// Shows window and has the window manager make it the active one.
bool ShowActive(QWidget& window)
{
    window.show();
    if (!QTest::qWaitForWindowExposed(&window))
        return false;
    Run(QStringLiteral("xdotool"), {QStringLiteral("windowactivate"), QStringLiteral("--sync"),
                                    QString::number(window.winId())});
    return QTest::qWaitFor([&window] { return window.isActiveWindow(); });
}

// The window manager's close command (openbox binds it to Alt+F4), given to
// the active window.
struct CloseEventSeen : QObject {
    int count = 0;
    bool eventFilter(QObject*, QEvent* event) override
    {
        if (event->type() == QEvent::Close)
            ++count;
        return false;
    }
};

void CloseByWindowManager(QWidget& window)
{
    Run(QStringLiteral("xdotool"), {QStringLiteral("windowactivate"), QStringLiteral("--sync"),
                                    QString::number(window.winId())});
    Run(QStringLiteral("xdotool"), {QStringLiteral("key"), QStringLiteral("alt+F4")});
    QTest::qWait(300);
}

// The window's title as X holds it (_NET_WM_NAME, which window managers
// show); "(none)" when the property is missing.
QString XCaption(QWidget& window)
{
    const QString line = Run(QStringLiteral("xprop"), {QStringLiteral("-id"), QString::number(window.winId()),
                                                       QStringLiteral("_NET_WM_NAME")})
                             .trimmed();
    // "_NET_WM_NAME(UTF8_STRING) = "text"", nothing after "=" when empty
    if (!line.startsWith(QLatin1String("_NET_WM_NAME(UTF8_STRING) =")))
        return QStringLiteral("(none)");
    QString value = line.section('=', 1).trimmed();
    if (value.startsWith('"') && value.endsWith('"'))
        value = value.mid(1, value.size() - 2);
    return value;
}

QString ShownCaption(QWidget& window)
{
    window.show();
    if (!QTest::qWaitForWindowExposed(&window))
        return QStringLiteral("(not shown)");
    const QString caption = XCaption(window);
    window.hide();
    return caption;
}

} // namespace

class TestWindowManager : public QObject {
    Q_OBJECT
private slots:
    void initTestCase()
    {
        if (QGuiApplication::platformName() != QLatin1String("xcb"))
            QSKIP("needs an X server with a window manager: run through with_window_manager.sh");
    }

    void firstStartPlacesTheWindowAsLaterStartsDo_data()
    {
        QTest::addColumn<bool>("stored");
        QTest::addColumn<QPoint>("place");
        QTest::newRow("default") << false << QPoint(0, 0);
        QTest::newRow("stored") << true << QPoint(200, 100);
    }

    void firstStartPlacesTheWindowAsLaterStartsDo()
    {
        QFETCH(bool, stored);
        QFETCH(QPoint, place);
        WindowProfile p;
        if (stored) { // a first run left without OK stores the layout
            p.store.RegWriteInteger(0, kSystemKey, "Top", place.y());
            p.store.RegWriteInteger(0, kSystemKey, "Left", place.x());
        }
        MainFormServices services = p.services();
        services.configCommand = {}; // the real first-run dialog
        services.driveTable = [] { return std::vector<DriveEntry>{{'A', "/dev/fd0", DriveKind::Floppy, "A:"}}; };
        TMain_Form form(std::move(services));
        bool sawDialog = false;
        WhenOpen<TConfig_Form>([&](TConfig_Form& config) {
            sawDialog = true;
            config.EE1->setText(QString::fromStdString(p.folder));
            config.OK_Btn->click();
        });
        form.show();
        QVERIFY(QTest::qWaitForWindowExposed(&form));
        QVERIFY(sawDialog);
        QTRY_COMPARE(FrameTopLeft(form), place);
        QCOMPARE(form.size(), QSize(480, 320)); // the default size, as later starts have it
    }

    void closeCommandLeavesTheFirstRunDialogOpen()
    {
        std::string drive = "A";
        ScriptedBoxes boxes;
        for (bool firstRun : {false, true}) {
            TConfig_Form form(nullptr, BuiltInMessages(), drive, "/tmp/", {{'A', "/dev/fd0", DriveKind::Floppy, "A:"}},
                              boxes.func(), {});
            if (firstRun)
                form.SetFirstRun();
            form.show();
            QVERIFY(QTest::qWaitForWindowExposed(&form));
            // Waits for the close request itself, not a fixed time, since a loaded machine may take longer.
            CloseEventSeen seen;
            form.installEventFilter(&seen);
            // The window manager may not have given the dialog the focus yet when the key arrives.
            for (int attempt = 0; attempt < 5 && seen.count == 0; ++attempt) {
                CloseByWindowManager(form);
                (void)QTest::qWaitFor([&] { return seen.count > 0; }, 2000); // the loop checks
            }
            QVERIFY(seen.count > 0);
            QTest::qWait(50);
            // From the menu the close command works, so the check can tell.
            QCOMPARE(form.isVisible(), firstRun);
        }
    }

    void keysReachTheListAfterTheBusyState()
    {
        WindowProfile p;
        p.configured();
        TMain_Form form(p.services());
        QVERIFY(ShowActive(form));
        form.IB_ReloadExecute();
        QCOMPARE(QApplication::focusWidget(), form.Controls().LV1);
    }

    // The pointer resting on a tool button during a copy shows the hint as a
    // tooltip; the progress bar and the status text stay.
    void hoveringAToolButtonKeepsTheBusyStatusBar()
    {
        WindowProfile p;
        p.configured();
        TMain_Form form(p.services());
        QVERIFY(ShowActive(form));
        form.EnableCommands(false); // as a creation does
        form.SetStatusText(Message(p.messages, MessageId::CreatingStatus));
        form.Controls().PB1->setRange(0, 100);
        form.Controls().PB1->setValue(40);
        QWidget* button = form.Controls().ToolBar1->widgetForAction(form.Controls().IB_CreateImage);
        QVERIFY(button != nullptr);
        const QPoint at = button->mapToGlobal(button->rect().center());
        for (int dx : {0, 1}) // a move inside the button, as a user's hand makes
            Run(QStringLiteral("xdotool"), {QStringLiteral("mousemove"), QString::number(at.x() + dx),
                                            QString::number(at.y())});
        QTRY_VERIFY_WITH_TIMEOUT(QToolTip::isVisible(), 5000);
        QCOMPARE(QToolTip::text(), QStringLiteral("指定されたメディアをイメージファイルに変換します"));
        QCOMPARE(form.Controls().SB1->currentMessage(), QString());
        QVERIFY(form.Controls().PB1->isVisible());
        QVERIFY(form.Controls().StatusPanel1->isVisible());
        QCOMPARE(form.StatusText(), Message(p.messages, MessageId::CreatingStatus));
        form.EnableCommands(true);
        form.SetStatusText(QString());
    }

    // The drive box drops down 8 rows, also with the style and popup X gives it.
    void driveBoxDropsDownEightRows()
    {
        std::string drive = "A";
        std::vector<DriveEntry> drives;
        for (char letter = 'A'; letter <= 'P'; ++letter)
            drives.push_back({letter, "/dev/sdx", DriveKind::Other, std::string(1, letter) + ": /dev/sdx"});
        ScriptedBoxes boxes;
        TConfig_Form form(nullptr, BuiltInMessages(), drive, "/tmp/", drives, boxes.func(), {});
        form.show();
        QVERIFY(QTest::qWaitForWindowExposed(&form));
        QComboBox* box = form.SCV1;
        QCOMPARE(box->count(), 17);
        box->showPopup();
        QAbstractItemView* view = box->view();
        QVERIFY(QTest::qWaitForWindowExposed(view->window()));
        const int rowHeight = view->sizeHintForRow(0);
        QVERIFY(rowHeight > 0);
        // Rows whose top lies inside the shown part of the list.
        int rows = 0;
        for (int row = 0; row < box->count(); ++row) {
            const QRect r = view->visualRect(box->model()->index(row, 0));
            rows += r.isValid() && r.top() >= 0 && r.top() < view->viewport()->height();
        }
        QCOMPARE(rows, 8);
        box->hidePopup();
    }

    // A language file may give any caption entry as empty: the about box
    // (59), the configuration dialog (51, first run 49), the property dialog
    // (60, creation 39) and the message boxes (3, 4, 5). X then shows an
    // empty title, not the application's name.
    void emptyCaptionsStayEmpty()
    {
        exeDir_.write("tessarine.rsl", "[Strings]\n1=OK\n");
        MessageCatalogue texts = MessageCatalogue::Load(exeDir_.file("tessarine"));
        QVERIFY(texts.LanguageLoaded());
        StoreProfile p;
        ScriptedBoxes boxes;
        std::string drive = "A";
        const std::vector<DriveEntry> drives{{'A', "/dev/fd0", DriveKind::Floppy, "A:"}};

        TAbout_Form about(texts);
        QCOMPARE(ShownCaption(about), QString());
        TConfig_Form config(nullptr, texts, drive, "/tmp/", drives, boxes.func(), {});
        QCOMPARE(ShownCaption(config), QString());
        TConfig_Form firstRun(nullptr, texts, drive, "/tmp/", drives, boxes.func(), {});
        firstRun.SetFirstRun();
        QCOMPARE(ShownCaption(firstRun), QString());
        TProperty_Form property(p.store, texts, boxes.func());
        QCOMPARE(ShownCaption(property), QString());
        TProperty_Form creation(p.store, texts, boxes.func());
        creation.SetCaption(Message(texts, MessageId::CreateDialogTitle));
        QCOMPARE(ShownCaption(creation), QString());

        QString boxCaption = QStringLiteral("not looked at");
        WhenOpen<QMessageBox>([&](QMessageBox& box) {
            QVERIFY(QTest::qWaitForWindowExposed(&box));
            boxCaption = XCaption(box);
        });
        ShowMessageBox(nullptr, QStringLiteral("text"), Message(texts, MessageId::CaptionConfirm),
                       mb::OK | mb::ICONERROR);
        QCOMPARE(boxCaption, QString());

        // A caption the language file gives is shown as it is.
        exeDir_.write("tessarine.rsl", "[Strings]\n1=OK\n2=Cancel\n3=Check\n");
        texts = MessageCatalogue::Load(exeDir_.file("tessarine"));
        WhenOpen<QMessageBox>([&](QMessageBox& box) {
            QVERIFY(QTest::qWaitForWindowExposed(&box));
            boxCaption = XCaption(box);
        });
        ShowMessageBox(nullptr, QStringLiteral("text"), Message(texts, MessageId::CaptionConfirm),
                       mb::OK | mb::ICONERROR);
        QCOMPARE(boxCaption, QStringLiteral("Check"));
    }

private:
    TempDir exeDir_;
};

QTEST_MAIN(TestWindowManager)
#include "test_window_manager.moc"
