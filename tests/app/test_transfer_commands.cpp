// Image creation (F5) and restoration (F6) run end to end through the main
// window: boxes and their order, busy state, eject points, what is left in
// the image folder, and the media written.
#include <cerrno>
#include <csignal>
#include <cstring>
#include <filesystem>
#include <memory>

#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QAction>
#include <QApplication>
#include <QLabel>
#include <QComboBox>
#include <QElapsedTimer>
#include <QMenu>
#include <QProgressBar>
#include <QPushButton>
#include <QTimer>
#include <QtTest>

#include "app/formhost.h"
#include "app/mainform.h"
#include "library/imagefile.h"
#include "library/newname.h"
#include "library/prop.h"
#include "media/create.h"
#include "media/fake_host.h"
#include "media/fatmedia.h"
#include "media/memory_drive.h"
#include "media/virtual_drive.h"
#include "settings/messages.h"
#include "settings/regstore.h"
#include "support/profiles.h"
#include "support/tempdir.h"
#include "support/when_open.h"

namespace {

namespace fs = std::filesystem;

constexpr unsigned kStyle = mb::TASKMODAL | mb::SETFOREGROUND;

QString Msg(int n, std::string_view arg = {})
{
    return QString::fromStdString(BuiltInMessages().Text(MessageId(n), arg));
}

void AcceptWithTitle(const char* title)
{
    WhenModal<TProperty_Form>([title](TProperty_Form& d) {
        QCOMPARE(d.windowTitle(), Msg(39));
        QCOMPARE(d.Edit1->currentText(), QString());
        d.Edit1->setEditText(QString::fromUtf8(title));
        d.Edit4->setEditText(QStringLiteral("1992"));
        QTest::mouseClick(d.OK_Btn, Qt::LeftButton);
    });
}

int Count(const std::vector<std::string>& log, const std::string& entry)
{
    return static_cast<int>(std::count(log.begin(), log.end(), entry));
}

struct Profile : WindowProfile {
    MemoryDrive memory;
    std::function<std::unique_ptr<DriveAccess>()> drives = [this] { return std::make_unique<SharedDrive>(memory); };
    std::function<std::chrono::steady_clock::time_point()> clock; // empty: the steady clock
    std::unique_ptr<TMain_Form> form;

    Profile()
    {
        configured();
        store.RegWriteInteger(0, kSystemKey, "MultiSelect", 1);
    }

    TMain_Form& open()
    {
        MainFormServices services = WindowProfile::services();
        services.drives = drives;
        services.clock = clock;
        services.configCommand = [](TMain_Form&, bool) {
            QTest::qFail("no configuration expected", __FILE__, __LINE__);
        };
        form = ShowMainForm(std::move(services));
        return *form;
    }

    // An image of `sectors` sectors of 512 bytes, every byte `fill`.
    void image(const std::string& name, const char* title, std::uint8_t fill, std::uint32_t sectors = 64)
    {
        const HeaderBytes h = BuildHeader({title, "", "", "", "PC-98", ""}, 1, 512, sectors);
        std::string bytes(h.begin(), h.end());
        bytes += std::string(sectors * 512, static_cast<char>(fill));
        dir.write("Images/" + name, bytes);
    }

    void selectAll()
    {
        for (int i = 0; i < form->Controls().LV1->RowCount(); ++i)
            form->Controls().LV1->SelectRow(i);
        form->UpdateSelectionCommands();
    }

    // The window is back as before the command.
    void expectIdle()
    {
        QVERIFY(!form->IsBusy());
        QCOMPARE(form->StatusText(), QString());
        QVERIFY(!form->State().CancelRequested);
        QVERIFY(form->Controls().PB1->value() <= 0); // 0, or never moved
    }
};

bool Filled(const std::vector<std::uint8_t>& bytes, std::uint8_t fill)
{
    return std::all_of(bytes.begin(), bytes.end(), [fill](std::uint8_t b) { return b == fill; });
}

MemoryMedium BlankMedium(std::uint64_t sectors)
{
    MemoryMedium m = MemoryDrive::PatternMedium(sectors);
    std::fill(m.bytes.begin(), m.bytes.end(), 0);
    return m;
}

ExpectedBox Box(const QString& text, const QString& caption, unsigned flags, int answer,
                std::function<void(const RecordedBox&)> whileOpen = {})
{
    return ExpectedBox{text, answer, caption, flags | kStyle, std::move(whileOpen)};
}

// A drive whose ready test waits for the device broker as the Linux layer
// does while polkit asks the user: Begin, a few steps, End, then the answer.
class BrokerWaitingDrive : public SharedDrive {
public:
    BrokerWaitingDrive(DriveAccess& drive, BrokerWait& wait, std::function<void()> duringWait)
        : SharedDrive(drive), wait_(wait), duringWait_(std::move(duringWait))
    {
    }
    DriveStatus DriveReady(char letter) override
    {
        wait_.Begin("/dev/memA");
        for (int step = 0; step < 5; ++step) {
            QTest::qSleep(20);
            wait_.Tick();
        }
        duringWait_();
        wait_.End();
        return SharedDrive::DriveReady(letter);
    }

private:
    BrokerWait& wait_;
    std::function<void()> duringWait_;
};

// Counts the paint events a widget gets.
struct PaintCounter : QObject {
    int paints = 0;
    bool eventFilter(QObject*, QEvent* event) override
    {
        paints += event->type() == QEvent::Paint;
        return false;
    }
};


} // namespace

class TestTransferCommands : public QObject {
    Q_OBJECT
private slots:
    void createWaitsForAMediumCopiesItWholeAndListsTheImage()
    {
        Profile p;
        p.memory.media['A'] = MemoryDrive::PatternMedium(2880, 512, 1, 2847);
        p.memory.readyScript = {DriveState::NoMedium, DriveState::NoMedium};
        TMain_Form& form = p.open();

        bool closeRefused = false, busyDuring = false;
        QString statusDuring;
        int maximumDuring = 0;
        p.memory.onSector = [&](std::uint64_t i) {
            if (i != 1008) // the first sector of a track request
                return;
            closeRefused = !form.close();
            busyDuring = form.IsBusy();
            statusDuring = form.StatusText();
            maximumDuring = form.Controls().PB1->maximum();
        };
        const QString noMedium = Msg(34, "A");
        p.boxes.expect(Box(noMedium, "Tessarine", mb::RETRYCANCEL | mb::ICONQUESTION, mb::IDRETRY));
        p.boxes.expect(Box(noMedium, "Tessarine", mb::RETRYCANCEL | mb::ICONQUESTION, mb::IDRETRY));
        p.boxes.expect(Box(Msg(38), Msg(3), mb::OK | mb::ICONINFORMATION, mb::IDOK, [&](const RecordedBox&) {
            QCOMPARE(p.memory.log.back(), std::string("eject A"));
        }));
        AcceptWithTitle("GAME DISK 1");
        form.Controls().IB_CreateImage->trigger();
        QVERIFY(p.boxes.verifyDone());

        QVERIFY(closeRefused);
        QVERIFY(busyDuring);
        QVERIFY(form.isVisible());
        QCOMPARE(statusDuring, Msg(35));
        QCOMPARE(maximumDuring, 2880);
        p.expectIdle();

        // The file's name and size are the commands' and the naming tests'.
        const auto files = p.files();
        QCOMPARE(files.size(), std::size_t{1});
        QCOMPARE(form.Controls().LV1->RowCount(), 1);
        QCOMPARE(form.Controls().LV1->Text(0, 0), QStringLiteral("GAME DISK 1"));
        QCOMPARE(form.Controls().LV1->Text(0, kFileNameColumn), QString::fromStdString(files[0]));
    }

    // A drive answer other than "no medium" reaches the user as one error
    // box with its caption and icon, and the window is idle again; which
    // answer gives which text, and restoration meeting it at the second
    // medium, are the commands' test.
    void aDriveAnswerIsToldInOneErrorBox()
    {
        const QString text = Msg(69, "A") + "\n" + Msg(73, "/dev/memA") + "\n" +
                             QString::fromStdString(IoStatus{EPERM}.message()) + "\n" +
                             Msg(82, "Not authorized to perform operation") + "\n" + Msg(74);
        Profile p;
        p.memory.media['A'] = BlankMedium(64);
        p.memory.readyScript = {DriveState::AccessRefused};
        p.memory.readyError = EPERM;
        p.memory.readyDetail = DriveDetail::BrokerRefused;
        p.memory.readyDetailText = "Not authorized to perform operation";
        TMain_Form& form = p.open();
        p.boxes.expect(Box(text, Msg(5), mb::OK | mb::ICONERROR, mb::IDOK));
        form.Controls().IB_CreateImage->trigger();
        QVERIFY(p.boxes.verifyDone());
        QVERIFY(p.files().empty());
        p.expectIdle();
    }

    // The property dialog's Cancel ends the creation: no eject, no box, no
    // file. Cancel at the no-medium question and a folder with no room for
    // a new name end it too, which is the commands' test.
    void propertyDialogLeftWithoutOkLeavesNoFile()
    {
        Profile p;
        p.memory.media['A'] = MemoryDrive::PatternMedium(64);
        TMain_Form& form = p.open();
        WhenModal<TProperty_Form>([](TProperty_Form& d) { QTest::mouseClick(d.Cancel_Btn, Qt::LeftButton); });
        form.Controls().IB_CreateImage->trigger();
        QVERIFY(p.boxes.verifyDone());
        QVERIFY(p.files().empty());
        QCOMPARE(Count(p.memory.log, "eject A"), 0);
        QCOMPARE(Count(p.memory.log, "alloc A"), 0);
        p.expectIdle();
    }

    // Esc in the window reaches a running copy: the warning box comes after
    // the eject, and the half-made file is gone from folder and list. A
    // failed read ending the same way is the commands' test.
    void escDuringTheCopyEjectsReportsAndDeletesTheFile()
    {
        Profile p;
        p.memory.media['A'] = MemoryDrive::PatternMedium(2880);
        TMain_Form& form = p.open();
        p.memory.onSector = [&form](std::uint64_t i) {
            if (i == 504)
                QTest::keyClick(&form, Qt::Key_Escape);
        };
        p.boxes.expect(Box(Msg(36), Msg(3), mb::OK | mb::ICONWARNING, mb::IDOK, [&](const RecordedBox&) {
            QCOMPARE(p.memory.log.back(), std::string("eject A"));
        }));
        AcceptWithTitle("DISK");
        form.Controls().IB_CreateImage->trigger();
        QVERIFY(p.boxes.verifyDone());
        QVERIFY(p.files().empty());
        QCOMPARE(form.Controls().LV1->RowCount(), 0);
        p.expectIdle();
    }

    // Going on past unreadable sectors keeps the image and its map and says
    // how many there are, never the plain success box.
    void aCopyWithKeptUnreadableSectorsIsKeptListedAndToldApart()
    {
        Profile p;
        p.memory.media['A'] = MemoryDrive::PatternMedium(2880);
        p.memory.badSectors = {7, 8, 1000};
        TMain_Form& form = p.open();
        p.boxes.expect(Box(Msg(83, "7"), Msg(4), mb::YESNO | mb::ICONWARNING, mb::IDYES));
        p.boxes.expect(Box(Msg(84, "3"), Msg(4), mb::OK | mb::ICONWARNING, mb::IDOK,
                           [&](const RecordedBox&) { QCOMPARE(p.memory.log.back(), std::string("eject A")); }));
        AcceptWithTitle("WEAK DISK");
        form.Controls().IB_CreateImage->trigger();
        QVERIFY(p.boxes.verifyDone());
        const auto files = p.files();
        QCOMPARE(files.size(), std::size_t{2});
        QCOMPARE(files[1], files[0] + ".map");
        QCOMPARE(form.Controls().LV1->RowCount(), 1);
        p.expectIdle();

        // Re-reading is offered for the one selected image with a map, in
        // the File and context menus; with the disk readable now it fills
        // the holes and the map goes.
        QVERIFY(!form.Controls().IB_RereadImage->isEnabled());
        form.Controls().LV1->SelectRow(0);
        form.UpdateSelectionCommands();
        QVERIFY(form.Controls().IB_RereadImage->isEnabled());
        QVERIFY(form.Controls().FileMenu->actions().contains(form.Controls().IB_RereadImage));
        QVERIFY(form.Controls().PM1->actions().contains(form.Controls().IB_RereadImage));
        QCOMPARE(form.Controls().IB_RereadImage->text(), Msg(91));
        p.memory.badSectors = {8};
        p.boxes.expect(Box(Msg(111, "2 / 1"), Msg(4), mb::OK | mb::ICONWARNING, mb::IDOK, [&](const RecordedBox&) {
            QCOMPARE(p.memory.log.back(), std::string("eject A"));
        }));
        form.Controls().IB_RereadImage->trigger();
        QVERIFY(p.boxes.verifyDone());
        QVERIFY(form.ConditionOfRow(0).hasMap);
        p.memory.badSectors.clear();
        form.Controls().LV1->SelectRow(0);
        form.UpdateSelectionCommands();
        p.boxes.expect(Box(Msg(112), Msg(3), mb::OK | mb::ICONINFORMATION, mb::IDOK));
        form.Controls().IB_RereadImage->trigger();
        QVERIFY(p.boxes.verifyDone());
        p.expectIdle();
        QCOMPARE(p.files().size(), std::size_t{1});
        QVERIFY(form.ConditionOfRow(0).sound()); // what the holes are filled with is the commands' test
        form.Controls().LV1->SelectRow(0);
        form.UpdateSelectionCommands();
        QVERIFY(!form.Controls().IB_RereadImage->isEnabled());

        // Deleting the image takes its map along.
        form.Controls().LV1->SelectRow(0);
        form.UpdateSelectionCommands();
        p.boxes.expect(Box(Msg(46), Msg(3), mb::YESNO | mb::ICONQUESTION, mb::IDYES));
        form.Controls().IB_DeleteImage->trigger();
        QVERIFY(p.boxes.verifyDone());
        QVERIFY(p.files().empty());
    }

    void anImageFileThatCannotBeWrittenIsReportedInTheSystemsWords()
    {
        Profile p;
        p.memory.media['A'] = MemoryDrive::PatternMedium(2880);
        TMain_Form& form = p.open();
        p.boxes.expect(Box(QString::fromUtf8(std::strerror(EFBIG)), Msg(5), mb::OK | mb::ICONERROR, mb::IDOK,
                           [&](const RecordedBox&) { QCOMPARE(p.memory.log.back(), std::string("eject A")); }));
        AcceptWithTitle("DISK");

        struct rlimit old {};
        QCOMPARE(getrlimit(RLIMIT_FSIZE, &old), 0);
        auto* previous = std::signal(SIGXFSZ, SIG_IGN);
        struct rlimit small = old;
        small.rlim_cur = 200000;
        QCOMPARE(setrlimit(RLIMIT_FSIZE, &small), 0);
        form.Controls().IB_CreateImage->trigger();
        setrlimit(RLIMIT_FSIZE, &old);
        std::signal(SIGXFSZ, previous);

        QVERIFY(p.boxes.verifyDone());
        QVERIFY(p.files().empty());
        p.expectIdle();
    }

    void restoresTheSelectedImagesInListOrderAskingForEachNextMedium()
    {
        Profile p;
        p.memory.media['A'] = BlankMedium(64);
        p.image("c.img", "DISK 3", 0x30);
        p.image("a.img", "DISK 1", 0x10);
        p.image("b.img", "DISK 2", 0x20);
        TMain_Form& form = p.open();
        p.selectAll();

        const QString next = Msg(44) + QStringLiteral("\r\n") + Msg(45);
        auto expectRun = [&](const char* first, const char* second, const char* third, std::uint8_t a,
                             std::uint8_t b, std::uint8_t c) {
            auto written = [&](const char* title, std::uint8_t fill) {
                return [&p, &form, title, fill](const RecordedBox&) {
                    // The last step of each medium is its read-back.
                    QCOMPARE(form.StatusText(), Msg(89, title));
                    QVERIFY(Filled(p.memory.media['A'].bytes, fill));
                    QCOMPARE(p.memory.log.back(), std::string("eject A"));
                };
            };
            p.boxes.expect(Box(Msg(40), Msg(3), mb::YESNO | mb::ICONQUESTION, mb::IDYES));
            p.boxes.expect(Box(next, Msg(3), mb::OKCANCEL | mb::ICONINFORMATION, mb::IDOK, written(first, a)));
            p.boxes.expect(Box(next, Msg(3), mb::OKCANCEL | mb::ICONINFORMATION, mb::IDOK, written(second, b)));
            p.boxes.expect(Box(Msg(43), Msg(3), mb::OK | mb::ICONINFORMATION, mb::IDOK, written(third, c)));
            form.Controls().IB_RestoreImage->trigger();
            QVERIFY(p.boxes.verifyDone());
            p.expectIdle();
        };
        expectRun("DISK 1", "DISK 2", "DISK 3", 0x10, 0x20, 0x30);
        QCOMPARE(Count(p.memory.log, "eject A"), 3);

        // Sorted the other way round, the same selection goes the other way.
        form.LV1ColumnClick(0);
        QCOMPARE(form.Controls().LV1->Text(0, 0), QStringLiteral("DISK 3"));
        expectRun("DISK 3", "DISK 2", "DISK 1", 0x30, 0x20, 0x10);
    }

    // No medium at restoration: Retry asks again, Cancel ends it with
    // nothing written or ejected. Esc during a restoration is the commands'
    // test; that the window's Esc reaches a transfer is escDuringTheCopy's.
    void restorationWithoutAMediumEndsAtCancel()
    {
        Profile p;
        p.memory.media['A'] = BlankMedium(64);
        p.image("a.img", "DISK 1", 0x10);
        TMain_Form& form = p.open();
        p.memory.readyScript = {DriveState::NoMedium, DriveState::NoMedium, DriveState::NoMedium};
        p.selectAll();
        p.boxes.expect(Box(Msg(40), Msg(3), mb::YESNO | mb::ICONQUESTION, mb::IDYES));
        const QString noMedium = Msg(34, "A");
        p.boxes.expect(Box(noMedium, "Tessarine", mb::RETRYCANCEL | mb::ICONQUESTION, mb::IDRETRY));
        p.boxes.expect(Box(noMedium, "Tessarine", mb::RETRYCANCEL | mb::ICONQUESTION, mb::IDRETRY));
        p.boxes.expect(Box(noMedium, "Tessarine", mb::RETRYCANCEL | mb::ICONQUESTION, mb::IDCANCEL));
        form.Controls().IB_RestoreImage->trigger();
        QVERIFY(p.boxes.verifyDone());
        QCOMPARE(Count(p.memory.log, "eject A"), 0);
        QVERIFY(Filled(p.memory.media['A'].bytes, 0x00));
        p.expectIdle();
    }

    // A creation killed halfway leaves a short IMG….TMP: the list marks it,
    // and restoration refuses it, alone or as the third of a set, before
    // any medium is asked for or written.
    void aKilledCreationIsMarkedAndNeverRestored()
    {
        Profile p;
        int ready[2];
        QCOMPARE(::pipe(ready), 0);
        const pid_t child = ::fork();
        if (child == 0) {
            // The copy runs in a process of its own, killed at sector 1008.
            MemoryDrive memory;
            memory.media['A'] = MemoryDrive::PatternMedium(2880);
            memory.onSector = [&](std::uint64_t i) {
                if (i != 1008)
                    return;
                (void)::write(ready[1], "k", 1);
                for (;;)
                    ::pause();
            };
            int error = 0;
            const std::string path = NewImageFileName(p.folder, error);
            FakeHost host;
            host.texts = {"DISK 3", "", "", "", "PC-98", ""};
            CreateFromDrive(memory, 'A', path, host);
            ::_exit(1);
        }
        QVERIFY(child > 0);
        char byte = 0;
        QCOMPARE(::read(ready[0], &byte, 1), ssize_t{1});
        QCOMPARE(::kill(child, SIGKILL), 0);
        int status = 0;
        QCOMPARE(::waitpid(child, &status, 0), child);
        QVERIFY(WIFSIGNALED(status));
        ::close(ready[0]);
        ::close(ready[1]);

        const auto files = p.files();
        QCOMPARE(files.size(), std::size_t{1});
        const std::string killed = files[0];
        const std::uintmax_t size = fs::file_size(p.folder + killed);
        QVERIFY2(size > 256 && size < 256 + 1008 * 512, std::to_string(size).c_str());
        const std::string held = std::to_string((size - 256) / 512) + "/2880";

        p.memory.media['A'] = BlankMedium(2880);
        TMain_Form& form = p.open();
        QCOMPARE(form.Controls().LV1->RowCount(), 1);
        const QModelIndex cell = form.Controls().LV1->Rows()->index(0, 0);
        QVERIFY(!form.Controls().LV1->Rows()->data(cell, Qt::DecorationRole).isNull());
        QCOMPARE(form.Controls().LV1->Rows()->data(cell, Qt::ToolTipRole).toString(), Msg(85, held));

        p.selectAll();
        const QString refused =
            Msg(87, "\r\nDISK 3 (" + killed + "): " + BuiltInMessages().Text(MessageId::IncompleteImage, held));
        p.boxes.expect(Box(Msg(40), Msg(3), mb::YESNO | mb::ICONQUESTION, mb::IDYES));
        p.boxes.expect(Box(refused, Msg(5), mb::OK | mb::ICONERROR, mb::IDOK));
        form.Controls().IB_RestoreImage->trigger();
        QVERIFY(p.boxes.verifyDone());
        QVERIFY2(p.memory.log.empty(), "no medium asked for, none ejected");

        // The same short image third in a set: the first two are not written either.
        p.image("a.img", "DISK 1", 0x10, 2880);
        p.image("b.img", "DISK 2", 0x20, 2880);
        form.IB_ReloadExecute();
        QCOMPARE(form.Controls().LV1->Text(2, kFileNameColumn), QString::fromStdString(killed));
        p.selectAll();
        p.boxes.expect(Box(Msg(40), Msg(3), mb::YESNO | mb::ICONQUESTION, mb::IDYES));
        p.boxes.expect(Box(refused, Msg(5), mb::OK | mb::ICONERROR, mb::IDOK));
        form.Controls().IB_RestoreImage->trigger();
        QVERIFY(p.boxes.verifyDone());
        QVERIFY(p.memory.log.empty());
        QVERIFY(Filled(p.memory.media['A'].bytes, 0));
        QCOMPARE(p.files(), (std::vector<std::string>{killed, "a.img", "b.img"}));
        QCOMPARE(fs::file_size(p.folder + killed), size);
        p.expectIdle();
    }

    // Past three seconds the status text gets the percentage, the speed and
    // the time left after the command's own text; the clock is the test's,
    // 5 ms a sector, so the copy of 2880 sectors takes 14.4 s.
    void longTransfersShowWhereTheyAre()
    {
        Profile p;
        p.memory.media['A'] = MemoryDrive::PatternMedium(2880);
        const auto start = std::chrono::steady_clock::now();
        auto now = std::make_shared<std::chrono::steady_clock::time_point>(start);
        p.clock = [now] { return *now; };
        QString early, half;
        TMain_Form* shown = nullptr;
        p.memory.onSector = [&](std::uint64_t i) {
            *now = start + std::chrono::milliseconds(5 * i);
            if (i == 540) // 2.7 s
                early = shown->StatusText();
            if (i == 1440)
                half = shown->StatusText();
        };
        TMain_Form& form = p.open();
        shown = &form;
        // Beside the end box the command's own text stands again, not the last figures.
        p.boxes.expect(Box(Msg(38), Msg(3), mb::OK | mb::ICONINFORMATION, mb::IDOK,
                           [&](const RecordedBox&) { QCOMPARE(form.StatusText(), Msg(35)); }));
        AcceptWithTitle("LONG");
        form.Controls().IB_CreateImage->trigger();
        QVERIFY(p.boxes.verifyDone());
        QCOMPARE(early, Msg(35));
        const QRegularExpression figures("^" + QRegularExpression::escape(Msg(35)) + "  +(\\d+)%  (\\d+) kB/s  " +
                                         QRegularExpression::escape(Msg(106, "")) + "0:0(\\d)$");
        const QRegularExpressionMatch m = figures.match(half);
        QVERIFY2(m.hasMatch(), qPrintable(half));
        QVERIFY2(m.captured(1).toInt() >= 44 && m.captured(1).toInt() <= 50, qPrintable(half));
        QVERIFY2(m.captured(2).toInt() >= 100 && m.captured(2).toInt() <= 108, qPrintable(half)); // 102.4 kB/s
        QVERIFY2(m.captured(3).toInt() >= 7 && m.captured(3).toInt() <= 8, qPrintable(half));
        p.expectIdle();
    }

    // The bar works on positions scaled into its range: it reaches its end
    // on a medium of 2^40 sectors as on a floppy.
    void theProgressBarReachesItsEndOnAnySize()
    {
        Profile p;
        TMain_Form& form = p.open();
        FormCommandHost host(form);
        for (const std::uint64_t maximum : {std::uint64_t{2880}, std::uint64_t{1} << 31, std::uint64_t{1} << 40}) {
            host.SetProgressRange(maximum);
            QVERIFY(form.Controls().PB1->maximum() > 0);
            host.SetProgress(maximum / 2);
            QVERIFY(std::abs(form.Controls().PB1->value() - form.Controls().PB1->maximum() / 2) <= 1);
            host.SetProgress(maximum);
            QCOMPARE(form.Controls().PB1->value(), form.Controls().PB1->maximum());
        }
    }

    // While polkit asks the user (for minutes, maybe) the window stays
    // painted, tells what it waits for, shows the wait cursor and starts
    // nothing else; afterwards the command goes on as usual.
    void aWaitForUdisksKeepsTheWindowAliveAndBusy()
    {
        Profile p;
        p.memory.media['A'] = MemoryDrive::PatternMedium(64);
        std::unique_ptr<FormBrokerWait> wait;
        bool busy = false, closeRefused = false, timerRan = false, waitCursor = false;
        QString status;
        PaintCounter counter;
        int paintsDuring = 0;
        p.drives = [&] {
            return std::make_unique<BrokerWaitingDrive>(p.memory, *wait, [&] {
                busy = p.form->IsBusy();
                closeRefused = !p.form->close();
                status = p.form->StatusText();
                paintsDuring = counter.paints;
                waitCursor =
                    QApplication::overrideCursor() && QApplication::overrideCursor()->shape() == Qt::WaitCursor;
            });
        };
        TMain_Form& form = p.open();
        wait = std::make_unique<FormBrokerWait>(form);
        form.Controls().StatusPanel1->installEventFilter(&counter);
        QTimer::singleShot(0, [&] { timerRan = true; });
        AcceptWithTitle("WAITED");
        p.boxes.expect(Box(Msg(38), Msg(3), mb::OK | mb::ICONINFORMATION, mb::IDOK,
                           [&](const RecordedBox&) { QVERIFY(!QApplication::overrideCursor()); }));
        form.Controls().IB_CreateImage->trigger();
        QVERIFY(p.boxes.verifyDone());

        QVERIFY(busy);
        QVERIFY(closeRefused);
        QCOMPARE(status, Msg(126, "/dev/memA"));
        QVERIFY(waitCursor);
        QVERIFY(timerRan);
        QVERIFY(paintsDuring > 0); // the text of the wait was painted
        QCOMPARE(p.files().size(), std::size_t{1});
        p.expectIdle();
        QVERIFY(form.isVisible());

        // In the middle of a transfer (busy already) the wait leaves the
        // busy state and the transfer's status text as they were.
        form.EnableCommands(false);
        form.SetStatusText(Msg(35));
        wait->Begin("/dev/memA");
        QCOMPARE(form.StatusText(), Msg(126, "/dev/memA"));
        wait->End();
        QVERIFY(form.IsBusy());
        QCOMPARE(form.StatusText(), Msg(35));
        QVERIFY(!QApplication::overrideCursor());
        form.SetStatusText({});
        form.EnableCommands(true);
    }

    // A FAT12 floppy full to its last cluster goes through both commands of
    // the window over media files, the restore question naming the file it
    // will write; the header, the 720 KB size and loop devices are the media
    // round trip's test.
    void aFloppySurvivesBothCommands()
    {
        if (std::string why = FatToolsMissing(); !why.empty())
            QSKIP(why.c_str());
        Profile p;
        std::string error;
        const auto content = MakeFullFatMedium(p.dir, "original.fd", kFloppy1440, &error);
        QVERIFY2(!content.empty(), error.c_str());
        p.dir.write("blank.fd", "");
        fs::resize_file(p.dir.file("blank.fd"), std::uint64_t{kFloppy1440.sectors} * 512);
        p.drives = [&p] { return DrivesOver({{'A', p.dir.file("original.fd")}, {'B', p.dir.file("blank.fd")}}); };
        TMain_Form& form = p.open();

        AcceptWithTitle("FULL DISK");
        p.boxes.expect(Box(Msg(38), Msg(3), mb::OK | mb::ICONINFORMATION, mb::IDOK));
        form.Controls().IB_CreateImage->trigger();
        QVERIFY(p.boxes.verifyDone());
        QCOMPARE(p.files().size(), std::size_t{1});

        form.SetSourceDrive("B");
        p.selectAll();
        const std::string target = p.dir.file("blank.fd") + "  1.4 MB";
        p.boxes.expect(Box(Msg(40) + QStringLiteral("\r\n") + QString::fromStdString(target), Msg(3),
                           mb::YESNO | mb::ICONQUESTION, mb::IDYES));
        p.boxes.expect(Box(Msg(43), Msg(3), mb::OK | mb::ICONINFORMATION, mb::IDOK));
        form.Controls().IB_RestoreImage->trigger();
        QVERIFY(p.boxes.verifyDone());
        QVERIFY2(FatMediumHolds(p.dir.file("blank.fd"), content, &error), error.c_str());
    }
};

QTEST_MAIN(TestTransferCommands)
#include "test_transfer_commands.moc"
