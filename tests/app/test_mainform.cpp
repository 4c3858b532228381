#include "app/formhost.h"
#include "app/mainform.h"

#include <filesystem>
#include <fstream>
#include <memory>
#include <optional>

#include <QAction>
#include <QHeaderView>
#include <QLabel>
#include <QMenu>
#include <QProgressBar>
#include <QScrollBar>
#include <QStatusBar>
#include <QtTest>

#include "base/cp932.h"
#include "library/imagefile.h"
#include "settings/messages.h"
#include "settings/regbackend.h"
#include "settings/regstore.h"
#include "support/profiles.h"
#include "support/tempdir.h"

namespace {

std::string Sjis(const char* utf8)
{
    std::optional<std::string> bytes = Utf8ToCp932(utf8);
    if (!bytes)
        throw std::runtime_error("no code page 932 form");
    return *bytes;
}

// A profile whose help and configuration commands are watched; configured
// unless the test is about a first start.
struct Profile : WindowProfile {
    std::vector<bool> configRuns; // firstRun flag of each run
    std::function<void(TMain_Form&, bool)> onConfig;
    std::vector<std::string> helpOpened;

    explicit Profile(bool configure = true)
    {
        if (configure)
            configured();
    }

    // title, copyright, author, year, machine, OS as UTF-8.
    void image(const std::string& name, const std::array<const char*, 6>& texts) const
    {
        ImageTexts sjis;
        for (int f = 0; f < kFieldCount; ++f)
            sjis[f] = Sjis(texts[f]);
        const HeaderBytes header = BuildHeader(sjis, 1, 512, 0);
        std::string bytes(header.begin(), header.end());
        bytes += std::string(512, '\xE5');
        dir.write("Images/" + name, bytes);
    }

    // Two rows, titled "A" (a.img) and "B" (b.img).
    void twoImages() const
    {
        image("a.img", {"A", "", "", "", "", ""});
        image("b.img", {"B", "", "", "", "", ""});
    }

    MainFormServices watched()
    {
        MainFormServices watched = services();
        watched.openHelp = [this](const std::string& path) { helpOpened.push_back(path); };
        watched.configCommand = [this](TMain_Form& form, bool firstRun) {
            configRuns.push_back(firstRun);
            if (onConfig)
                onConfig(form, firstRun);
        };
        return watched;
    }
    std::unique_ptr<TMain_Form> makeForm() { return std::make_unique<TMain_Form>(watched()); }
    std::unique_ptr<TMain_Form> shownForm() { return ShowMainForm(watched()); }

    int readInt(const char* name) { return store.RegReadInteger(0, kSystemKey, name, -12345); }
};

void ShowAndWait(TMain_Form& form)
{
    form.show();
    QVERIFY(QTest::qWaitForWindowExposed(&form));
}

void ClickRow(TMain_Form& form, int row, Qt::KeyboardModifiers modifiers = {}, Qt::MouseButton button = Qt::LeftButton)
{
    const QRect rect = form.Controls().LV1->RowRect(row);
    QTest::mouseClick(form.Controls().LV1->viewport(), button, modifiers, rect.center());
}

struct CommandStates {
    bool restore, del, property;
};

CommandStates SelectionStates(const TMain_Form& form)
{
    return {form.Controls().IB_RestoreImage->isEnabled(), form.Controls().IB_DeleteImage->isEnabled(), form.Controls().IB_Property->isEnabled()};
}

bool operator==(const CommandStates& a, const CommandStates& b)
{
    return a.restore == b.restore && a.del == b.del && a.property == b.property;
}

} // namespace

namespace QTest {
template <>
char* toString(const CommandStates& s)
{
    return qstrdup(QStringLiteral("restore %1 delete %2 property %3")
                       .arg(s.restore)
                       .arg(s.del)
                       .arg(s.property)
                       .toUtf8()
                       .constData());
}
} // namespace QTest

class TestMainForm : public QObject {
    Q_OBJECT
private slots:
    void firstStartRunsConfigurationBeforeShowingAndUsesDefaults()
    {
        Profile p(false); // a first start
        p.image("one.img", {"甲", "", "", "", "PC-98", ""});
        bool visibleDuringConfig = true;
        p.onConfig = [&](TMain_Form& form, bool) {
            visibleDuringConfig = form.isVisible();
            // What an accepted dialog does: store, set, rescan.
            p.store.RegWriteString(0, kSystemKey, "Drive", "B");
            p.store.RegWriteString(0, kSystemKey, "Dir", p.folder);
            form.SetSourceDrive("B");
            form.SetImageFolder(p.folder);
            form.IB_ReloadExecute();
            // The first show scans again after the dialog.
            p.image("two.img", {"乙", "", "", "", "PC-98", ""});
        };
        auto form = p.makeForm();
        QCOMPARE(form->State().SortDirection, 0);
        ShowAndWait(*form);

        QCOMPARE(p.configRuns, std::vector<bool>{true});
        QVERIFY(!visibleDuringConfig);
        QCOMPARE(form->State().SourceDrive, std::string("B"));
        QCOMPARE(ColumnTexts(*form, 0), (QStringList{"乙", "甲"}));
        QCOMPARE(form->pos(), QPoint(0, 0));
        QCOMPARE(form->size(), QSize(480, 320));
        for (int c = 0; c < kFileNameColumn; ++c)
            QCOMPARE(form->Controls().LV1->columnWidth(c), 66);
        QCOMPARE(form->windowTitle(), QStringLiteral("Tessarine"));

        // Showing again runs nothing.
        form->hide();
        form->show();
        QCOMPARE(p.configRuns.size(), std::size_t{1});
    }

    void hoveringACommandKeepsTheStatusBarPanels()
    {
        Profile p;
        auto form = p.shownForm();
        for (QAction* action : form->actions()) {
            QVERIFY(!action->toolTip().isEmpty());
            action->showStatusText(form.get()); // what hovering a tool button or menu item does
            QCOMPARE(form->Controls().SB1->currentMessage(), QString());
        }
    }

    // The wait for udisks2 names a long device path: the status panel cuts
    // it off instead of widening the window for good.
    void aLongStatusTextLeavesTheWindowItsSize()
    {
        Profile p;
        auto form = p.shownForm();
        const QSize before = form->size();
        form->SetStatusText(QString(200, QLatin1Char('x')));
        QTest::qWait(20);
        QCOMPARE(form->size(), before);
        form->SetStatusText({});
    }

    void firstRunLeftWithoutAcceptingKeepsBuiltInSettings()
    {
        Profile p(false); // a first start
        p.store.RegWriteString(0, kSystemKey, "Drive", ""); // empty counts as absent
        auto form = p.shownForm();
        QCOMPARE(p.configRuns, std::vector<bool>{true});
        QCOMPARE(form->State().SourceDrive, std::string("A"));
        QCOMPARE(form->State().ImageFolder, std::string("./Images/"));
        QCOMPARE(p.store.RegReadString(0, kSystemKey, "Drive", "-"), std::string());
        QCOMPARE(form->State().HelpFile, p.dir.file("tessarine.hlp"));

        // The menu form of the command is the normal one.
        form->Controls().IB_Config->trigger();
        QCOMPARE(p.configRuns, (std::vector<bool>{true, false}));
    }

    void storedSettingsAndLayoutAreAppliedAndWrittenBack()
    {
        Profile p;
        p.store.RegWriteString(0, kSystemKey, "Drive", "q");
        // Without a trailing separator the folder is taken as stored and still scans.
        std::string folder = p.folder.substr(0, p.folder.size() - 1);
        p.store.RegWriteString(0, kSystemKey, "Dir", folder);
        p.image("a.img", {"題", "", "", "", "", ""});
        p.store.RegWriteInteger(0, kSystemKey, "Top", 30);
        p.store.RegWriteString(0, kSystemKey, "Left", "40"); // a number stored as text
        p.store.RegWriteInteger(0, kSystemKey, "Height", 250);
        p.store.RegWriteInteger(0, kSystemKey, "Width", 600);
        for (int c = 1; c <= 6; ++c)
            p.store.RegWriteInteger(0, kSystemKey, "Column" + std::to_string(c), 50 + c);

        auto form = p.shownForm();
        QVERIFY(p.configRuns.empty());
        QCOMPARE(form->State().SourceDrive, std::string("Q"));
        QCOMPARE(form->State().ImageFolder, folder);
        QCOMPARE(ColumnTexts(*form, 0), QStringList{"題"});
        QCOMPARE(form->pos(), QPoint(40, 30));
        QCOMPARE(form->size(), QSize(600, 250));
        for (int c = 0; c < kFileNameColumn; ++c)
            QCOMPARE(form->Controls().LV1->columnWidth(c), 51 + c);

        form->move(5, 7);
        form->resize(640, 300);
        form->Controls().LV1->setColumnWidth(2, 99);
        form->Controls().LV1->setColumnWidth(kFileNameColumn, 123);
        form.reset();

        QCOMPARE(p.readInt("Top"), 7);
        QCOMPARE(p.readInt("Left"), 5);
        QCOMPARE(p.readInt("Height"), 300);
        QCOMPARE(p.readInt("Width"), 640);
        QCOMPARE(p.readInt("Column1"), 51);
        QCOMPARE(p.readInt("Column3"), 99);
        QCOMPARE(p.readInt("Column6"), 56);
        QCOMPARE(p.readInt("Column7"), -12345);
        // Destruction writes the layout only.
        QCOMPARE(p.store.RegReadString(0, kSystemKey, "Drive", ""), std::string("q"));
    }

    void fileNameColumnTakesTheRemainingWidth()
    {
        Profile p;
        p.image("IMG0001.TMP", {"ドラゴン探索 ディスク1", "(C)1988", "星野", "1988", "PC-9801", "MS-DOS"});
        auto form = p.shownForm();
        QCOMPARE(form->size(), QSize(480, 320));
        QHeaderView* header = form->Controls().LV1->header();
        QScrollBar* bar = form->Controls().LV1->horizontalScrollBar();
        // The scroll bar's range follows the header with a delay.
        const auto fitsExactly = [&] {
            const int viewport = form->Controls().LV1->viewport()->width();
            QCOMPARE(header->length(), viewport);
            QCOMPARE(form->Controls().LV1->columnWidth(kFileNameColumn), viewport - 6 * 66);
            QTRY_COMPARE(bar->maximum(), 0);
        };
        fitsExactly();
        if (QTest::currentTestFailed())
            return;

        // Wider columns than the window: the list scrolls; narrowed again, it fits again.
        form->Controls().LV1->setColumnWidth(0, 400);
        QTRY_VERIFY(bar->maximum() > 0);
        form->Controls().LV1->setColumnWidth(0, 66);
        fitsExactly();
        if (QTest::currentTestFailed())
            return;

        // The file-name column follows the window both ways.
        form->resize(700, 320);
        QTRY_COMPARE(form->Controls().LV1->viewport()->width(), form->Controls().LV1->width() - 2 * form->Controls().LV1->frameWidth());
        QVERIFY(form->Controls().LV1->columnWidth(kFileNameColumn) > 200);
        form->resize(480, 320);
        QTRY_COMPARE(form->width(), 480);
        fitsExactly();
    }

    void multiSelectOnlyWhenExactlyOne_data()
    {
        QTest::addColumn<int>("stored");
        QTest::addColumn<bool>("multi");
        QTest::newRow("1") << 1 << true;
        QTest::newRow("2") << 2 << false;
        QTest::newRow("-1") << -1 << false;
        QTest::newRow("0") << 0 << false;
    }

    void multiSelectOnlyWhenExactlyOne()
    {
        QFETCH(int, stored);
        QFETCH(bool, multi);
        Profile p;
        p.store.RegWriteInteger(0, kSystemKey, "MultiSelect", stored);
        auto form = p.makeForm();
        form->FormShow();
        QCOMPARE(form->Controls().LV1->selectionMode() == QAbstractItemView::ExtendedSelection, multi);
    }

    void scanEntersAndLeavesTheBusyState()
    {
        Profile p;
        p.image("x.img", {"X", "", "", "", "", ""});
        auto form = p.makeForm();
        QVERIFY(form->Controls().IB_CreateImage->isEnabled());
        QCOMPARE(SelectionStates(*form), (CommandStates{false, false, false}));

        // Runs inside the scan's first message pump; what the busy state
        // disables is busyStateDisablesEverythingAndRefusesClose's test.
        bool sawBusy = false;
        QString statusDuring;
        QTimer::singleShot(0, form.get(), [&] {
            sawBusy = form->IsBusy();
            statusDuring = form->StatusText();
        });
        ShowAndWait(*form);
        QVERIFY(sawBusy);
        QCOMPARE(statusDuring, QStringLiteral("ファイルリスト取得中..."));

        QVERIFY(!form->IsBusy());
        QVERIFY(form->Controls().LV1->isEnabled());
        QCOMPARE(form->StatusText(), QString());
        QCOMPARE(form->State().SortColumn, 4);
        QCOMPARE(form->State().SortDirection, 1);
        QCOMPARE(SelectionStates(*form), (CommandStates{false, false, false}));
        for (QAction* a : {form->Controls().IB_CreateImage, form->Controls().IB_Exit, form->Controls().IB_Config, form->Controls().IB_About, form->Controls().IB_Help,
                           form->Controls().IB_Reload})
            QVERIFY(a->isEnabled());

        // A rescan drops the selection and its commands.
        ClickRow(*form, 0);
        QCOMPARE(SelectionStates(*form), (CommandStates{true, true, true}));
        form->Controls().IB_Reload->trigger();
        QVERIFY(form->Controls().LV1->SelectedCount() == 0);
        QCOMPARE(SelectionStates(*form), (CommandStates{false, false, false}));
    }

    void missingFolderGivesEmptyListAndKeepsSortState()
    {
        Profile p;
        p.store.RegWriteString(0, kSystemKey, "Dir", p.dir.file("nowhere/"));
        auto form = p.shownForm();
        QCOMPARE(form->Controls().LV1->RowCount(), 0);
        QCOMPARE(form->State().SortColumn, 0);
        QCOMPARE(form->State().SortDirection, 1);
        QVERIFY(!form->IsBusy());
    }

    void mouseSelectionUpdatesCommands()
    {
        Profile p;
        p.store.RegWriteInteger(0, kSystemKey, "MultiSelect", 1);
        p.twoImages();
        auto form = p.shownForm();

        ClickRow(*form, 0);
        QCOMPARE(SelectionStates(*form), (CommandStates{true, true, true}));
        ClickRow(*form, 1, Qt::ControlModifier);
        QCOMPARE(form->Controls().LV1->SelectedCount(), 2);
        QCOMPARE(SelectionStates(*form), (CommandStates{true, true, false}));
        QCOMPARE(form->SelectedRows().size(), std::size_t{2});
        QCOMPARE(form->ImagePathOf(form->SelectedRows()[1]), p.folder + "b.img");

        // A plain click on one of the selected rows leaves it alone selected.
        ClickRow(*form, 1);
        QCOMPARE(form->Controls().LV1->SelectedRowNumbers(), std::vector<int>{1});
        QCOMPARE(SelectionStates(*form), (CommandStates{true, true, true}));
    }

    void keysSelectFromAFreshListAndInAOneRowList()
    {
        Profile p;
        p.twoImages();
        auto form = p.shownForm();
        form->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(form.get()));
        // As a scan leaves it: row 0 current (the focus put it there), nothing selected.
        QCOMPARE(form->Controls().LV1->currentIndex().row(), 0);
        QCOMPARE(form->Controls().LV1->SelectedCount(), 0);
        QTest::keyClick(form->Controls().LV1, Qt::Key_Home);
        QCOMPARE(form->Controls().LV1->SelectedRowNumbers(), std::vector<int>{0});
        QTest::keyClick(form->Controls().LV1, Qt::Key_End);
        QCOMPARE(form->Controls().LV1->SelectedRowNumbers(), std::vector<int>{1});

        std::filesystem::remove(p.folder + "b.img");
        for (Qt::Key key : {Qt::Key_Down, Qt::Key_Up, Qt::Key_End, Qt::Key_PageUp, Qt::Key_PageDown, Qt::Key_Home}) {
            form->IB_ReloadExecute();
            QCOMPARE(form->Controls().LV1->RowCount(), 1);
            QCOMPARE(form->Controls().LV1->currentIndex().row(), 0);
            QCOMPARE(form->Controls().LV1->SelectedCount(), 0);
            QTest::keyClick(form->Controls().LV1, key);
            QVERIFY2(form->Controls().LV1->IsRowSelected(0), qPrintable(QKeySequence(key).toString()));
        }
    }

    void keyboardSelectionWaitsForMouseOrMenu()
    {
        Profile p;
        p.twoImages();
        auto form = p.shownForm();
        form->Controls().LV1->setFocus();

        QTest::keyClick(form->Controls().LV1, Qt::Key_Down);
        QCOMPARE(form->Controls().LV1->SelectedCount(), 1);
        QCOMPARE(SelectionStates(*form), (CommandStates{false, false, false}));
        emit form->Controls().ViewMenu->aboutToShow();
        QCOMPARE(SelectionStates(*form), (CommandStates{false, false, false}));
        emit form->Controls().FileMenu->aboutToShow();
        QCOMPARE(SelectionStates(*form), (CommandStates{true, true, true}));

        // Moving on with the keyboard keeps the last state; the context menu updates it.
        form->Controls().LV1->clearSelection();
        QCOMPARE(SelectionStates(*form), (CommandStates{true, true, true}));
        emit form->Controls().PM1->aboutToShow();
        QCOMPARE(SelectionStates(*form), (CommandStates{false, false, false}));

        // A press on empty space clears the selection and updates.
        QTest::keyClick(form->Controls().LV1, Qt::Key_Up);
        emit form->Controls().FileMenu->aboutToShow();
        QCOMPARE(SelectionStates(*form).restore, true);
        QTest::mouseClick(form->Controls().LV1->viewport(), Qt::LeftButton, {},
                          QPoint(5, form->Controls().LV1->viewport()->height() - 3));
        QCOMPARE(SelectionStates(*form), (CommandStates{false, false, false}));
    }

    void busyStateDisablesEverythingAndRefusesClose()
    {
        Profile p;
        p.image("a.img", {"A", "", "", "", "", ""});
        auto form = p.shownForm();
        ClickRow(*form, 0);

        form->EnableCommands(false);
        QVERIFY(form->IsBusy());
        QVERIFY(!form->Controls().LV1->isEnabled());
        for (QAction* a : form->Controls().AL1)
            QVERIFY(!a->isEnabled());
        // Nothing re-enables a command while busy.
        emit form->Controls().FileMenu->aboutToShow();
        QCOMPARE(SelectionStates(*form), (CommandStates{false, false, false}));

        QVERIFY(!form->close());
        QVERIFY(form->isVisible());
        QVERIFY(p.boxes.shown().empty());

        form->EnableCommands(true);
        QCOMPARE(SelectionStates(*form), (CommandStates{true, true, true}));
        form->Controls().IB_Exit->trigger();
        QVERIFY(!form->isVisible());
    }

    void escapeSetsCancelRequestedAndIsConsumed()
    {
        Profile p;
        auto form = p.shownForm();
        QVERIFY(!form->State().CancelRequested);

        struct KeyLog : QObject {
            QList<int> keys;
            bool eventFilter(QObject*, QEvent* e) override
            {
                if (e->type() == QEvent::KeyPress)
                    keys << static_cast<QKeyEvent*>(e)->key();
                return false;
            }
        } log;
        form->Controls().LV1->installEventFilter(&log);

        QTest::keyClick(form->Controls().LV1, Qt::Key_Escape, Qt::ShiftModifier | Qt::ControlModifier);
        QVERIFY(form->State().CancelRequested);
        QTest::keyClick(form->Controls().LV1, Qt::Key_Down);
        QVERIFY(!log.keys.contains(Qt::Key_Escape));
        QVERIFY(log.keys.contains(Qt::Key_Down));

        // Keys of another window are not the main window's.
        FormCommandHost(*form).ClearCancel(); // as a transfer starts
        QWidget other;
        QTest::keyClick(&other, Qt::Key_Escape);
        QVERIFY(!form->State().CancelRequested);
    }

    void columnClicksSortStablyOnStoredBytes()
    {
        Profile p;
        // title, copyright, author, year, machine, OS
        p.image("1.img", {"beta", "", "sato", "98", "X1", ""});
        p.image("2.img", {"Beta", "", "ito", "1992", "X1", ""});
        p.image("3.img", {"alpha", "", "sato", "", "x1", ""});
        p.image("4.img", {"ゲーム", "", "ito", "98", "PC-98", ""});
        p.image("5.img", {"Bet", "", "", "1992", "X1", ""});
        auto form = p.shownForm();
        // Machine, then title; upper case first; a prefix first.
        QCOMPARE(ColumnTexts(*form, 0), (QStringList{"ゲーム", "Bet", "Beta", "beta", "alpha"}));

        QHeaderView* header = form->Controls().LV1->header();
        auto clickHeader = [&](int column) {
            QTest::mouseClick(header->viewport(), Qt::LeftButton, {},
                              QPoint(header->sectionViewportPosition(column) + 5, header->height() / 2));
        };
        ClickRow(*form, 2);
        clickHeader(0);
        QCOMPARE(form->State().SortColumn, 0);
        QCOMPARE(form->State().SortDirection, -1);
        // Code page 932 bytes of ゲーム (0x83...) sort after ASCII.
        QCOMPARE(ColumnTexts(*form, 0), (QStringList{"ゲーム", "beta", "alpha", "Beta", "Bet"}));
        clickHeader(0);
        QCOMPARE(ColumnTexts(*form, 0), (QStringList{"Bet", "Beta", "alpha", "beta", "ゲーム"}));
        // The selection follows its row.
        QCOMPARE(form->Controls().LV1->SelectedCount(), 1);
        QCOMPARE(form->Controls().LV1->Text(form->Controls().LV1->SelectedRowNumbers().front(), 0), QStringLiteral("Beta"));

        // Another column takes the other direction; that equal keys keep the
        // order before is the library's sort test.
        form->LV1ColumnClick(2);
        QCOMPARE(form->State().SortDirection, -1);
        QCOMPARE(ColumnTexts(*form, 2), (QStringList{"sato", "sato", "ito", "ito", ""}));
        form->LV1ColumnClick(3);
        QCOMPARE(form->State().SortDirection, 1);
        QCOMPARE(ColumnTexts(*form, 3), (QStringList{"", "1992", "1992", "98", "98"}));
    }

    void sortsKeepTheSelection()
    {
        Profile p;
        p.store.RegWriteInteger(0, kSystemKey, "MultiSelect", 1);
        const std::array<const char*, 8> titles = {"B", "A", "B", "A", "A", "C", "A", "B"};
        for (std::size_t i = 0; i < titles.size(); ++i)
            p.image("n" + std::to_string(i), {titles[i], "", "", "", i == 5 ? "L" : "M", ""});
        auto form = p.shownForm();
        // The scan's passes ran; that equal rows keep the folder's order is the library's sort test.
        QCOMPARE(ColumnTexts(*form, 0), (QStringList{"C", "A", "A", "A", "A", "B", "B", "B"}));

        const auto selectedNames = [&] {
            QStringList selected;
            for (int r : form->Controls().LV1->SelectedRowNumbers())
                selected << form->Controls().LV1->Text(r, kFileNameColumn);
            selected.sort();
            return selected;
        };
        // The four A rows and C.
        ClickRow(*form, 1);
        for (int r : {4, 3, 0, 2})
            ClickRow(*form, r, Qt::ControlModifier);
        const QStringList before = selectedNames();
        const QString current = form->Controls().LV1->Text(form->Controls().LV1->currentIndex().row(), kFileNameColumn);
        form->LV1ColumnClick(kFileNameColumn);
        QCOMPARE(ColumnTexts(*form, kFileNameColumn), (QStringList{"n7", "n6", "n5", "n4", "n3", "n2", "n1", "n0"}));
        QCOMPARE(selectedNames(), before);
        QCOMPARE(form->Controls().LV1->Text(form->Controls().LV1->currentIndex().row(), kFileNameColumn), current);
        // Selected rows that now sit together form one range: A A A A | B B B | C.
        form->LV1ColumnClick(0);
        QCOMPARE(selectedNames(), before);
        QCOMPARE(form->Controls().LV1->selectionModel()->selection().size(), 2);

        form->Controls().LV1->selectAll();
        form->LV1ColumnClick(4);
        QCOMPARE(form->Controls().LV1->SelectedCount(), 8);
        QCOMPARE(form->Controls().LV1->selectionModel()->selection().size(), 1);
    }

    void partialLanguageFileEmptiesMissingTexts()
    {
        TempDir exe;
        // The Strings section needs as many lines as its highest number.
        std::string rsl = "[Font01]\r\nName=IPAPGothic\r\nSize=12\r\n[Strings]\r\n";
        rsl += "6=Datei\r\n9=Abbild erstellen\r\n10=Erstellt ein Abbild\r\n27=Titel\r\n33=Datei-Name\r\n";
        for (int i = 0; i < 28; ++i)
            rsl += "filler\r\n";
        exe.write("tessarine.rsl", rsl);
        Profile p;
        p.messages = MessageCatalogue::Load(exe.file("tessarine"));
        QVERIFY(p.messages.LanguageLoaded());
        auto form = p.makeForm();
        QCOMPARE(form->Controls().FileMenu->title(), QStringLiteral("ファイル(&F)"));
        ShowAndWait(*form);

        QCOMPARE(form->Controls().FileMenu->title(), QStringLiteral("Datei"));
        QCOMPARE(form->Controls().ViewMenu->title(), QString());
        QCOMPARE(form->Controls().HelpMenu->title(), QString());
        QCOMPARE(form->Controls().IB_CreateImage->text(), QStringLiteral("Abbild erstellen"));
        QCOMPARE(form->Controls().IB_CreateImage->toolTip(), QStringLiteral("Erstellt ein Abbild"));
        QCOMPARE(form->Controls().IB_RestoreImage->text(), QString());
        QCOMPARE(form->Controls().IB_Property->text(), QString());
        const auto caption = [&](int c) { return form->Controls().LV1->model()->headerData(c, Qt::Horizontal).toString(); };
        QCOMPARE(caption(0), QStringLiteral("Titel"));
        QCOMPARE(caption(1), QString());
        QCOMPARE(caption(6), QStringLiteral("Datei-Name"));
        QCOMPARE(form->windowTitle(), QStringLiteral("Tessarine"));
        QCOMPARE(form->font().families().value(0), QStringLiteral("IPAPGothic"));
        QCOMPARE(form->Controls().LV1->font().pointSize(), 12);
    }

    void storeErrorIsShownAndAbandonsTheHandler()
    {
        Profile p;
        p.image("a.img", {"A", "", "", "", "", ""});
        IoStatus status;
        std::unique_ptr<RegKey> key = p.store.backend().CreateKey(RegRoot::CurrentUser, kSystemKey, status);
        QVERIFY(key);
        QVERIFY(key->SetValue("Top", RegKind::Binary, std::string("\x01\x02\x03\x04\x05", 5)).ok());
        key.reset();
        p.boxes.expect(QStringLiteral("'Top' の取得に失敗しました"), QStringLiteral("Tessarine"),
                       mb::OK | mb::ICONERROR | mb::TASKMODAL | mb::SETFOREGROUND);

        auto form = p.shownForm();
        QVERIFY(p.boxes.verifyDone());
        QCOMPARE(p.boxes.shown().front().ownerAtCall, form.get());
        // The rest of the first show was skipped; the program goes on.
        QCOMPARE(form->State().SortDirection, 0);
        QCOMPARE(form->Controls().LV1->RowCount(), 0);
        form->Controls().IB_Reload->trigger();
        QCOMPARE(form->Controls().LV1->RowCount(), 1);
    }

    void oversizedStoreIsToldOnceAndStillRead()
    {
        Profile p;
        p.twoImages();
        p.store.RegWriteInteger(0, kSystemKey, "Width", 555);
        // A junk key that someone else's script let grow past 4 MiB.
        std::string junk = "\n[HKEY_CURRENT_USER\\Software\\Junk]\n";
        for (int i = 0; junk.size() <= kOversizedStore; ++i)
            junk += "\"V" + std::to_string(i) + "\"=\"" + std::string(100, 'x') + "\"\n";
        std::ofstream(p.dir.file("Tessarine.reg"), std::ios::binary | std::ios::app) << junk;
        const QString text = QString::fromUtf8("設定ファイル ") + QString::fromStdString(p.dir.file("Tessarine.reg")) +
                             QString::fromUtf8(" は設定として考えられないほど大きくなっています（4 MiB超）。"
                                               "読み取れる範囲で読み込みます。");
        p.boxes.expect(text, QString::fromUtf8("注意"), mb::OK | mb::ICONWARNING | mb::TASKMODAL | mb::SETFOREGROUND);

        auto form = p.shownForm();
        QVERIFY(p.boxes.verifyDone());
        QCOMPARE(form->width(), 555);
        QCOMPARE(form->Controls().LV1->RowCount(), 2);
        form->Controls().IB_Reload->trigger(); // no second box
        QCOMPARE(p.boxes.shown().size(), std::size_t{1});
    }

    void helpOpensTheHelpFileOnlyWhenItExists()
    {
        Profile p;
        auto form = p.makeForm();
        form->Controls().IB_Help->trigger();
        QVERIFY(p.helpOpened.empty());
        p.dir.write("tessarine.hlp", "help");
        form->Controls().IB_Help->trigger();
        QCOMPARE(p.helpOpened, std::vector<std::string>{p.dir.file("tessarine.hlp")});
    }
};

QTEST_MAIN(TestMainForm)
#include "test_mainform.moc"
