// Creation, re-reading and verified restoration through the main window over
// a real block device with real faults: a loop device over a file of the
// tests' own file system, whose chosen sectors fail with EIO and whose writes
// to chosen sectors vanish. ddrescuelog reads the map as any ddrescue user
// would. Root only; exits 77 with the reason elsewhere.
#include <cstdio>
#include <filesystem>

#include <QApplication>
#include <QComboBox>
#include <QPushButton>
#include <QtTest>

#include "app/mainform.h"
#include "library/imagefile.h"
#include "library/prop.h"
#include "media/fatmedia.h"
#include "media/faultmedium.h"
#include "media/memory_drive.h"
#include "media/virtual_drive.h"
#include "settings/messages.h"
#include "support/profiles.h"
#include "support/when_open.h"

namespace {

namespace fs = std::filesystem;

constexpr unsigned kStyle = mb::TASKMODAL | mb::SETFOREGROUND;
constexpr std::uint32_t kSectors = 2880; // a 1.44 MB disk: 18-sector track requests

QString Msg(int n, std::string_view arg = {})
{
    return QString::fromStdString(BuiltInMessages().Text(MessageId(n), arg));
}

ExpectedBox Box(int n, std::string_view arg, int caption, unsigned flags, int answer = mb::IDOK)
{
    return ExpectedBox{Msg(n, arg), answer, Msg(caption), flags | kStyle, {}};
}

std::string Output(const std::string& command)
{
    std::string out;
    if (RunCommandOutput(command, out) != 0)
        out = "failed: " + out;
    return out;
}

// A window over drive A: a loop device on a fault medium of the tests' own.
struct Rig : WindowProfile {
    std::vector<std::uint8_t> content;
    FaultMedium medium;
    LoopDevice loop;
    std::unique_ptr<TMain_Form> form;

    explicit Rig(std::vector<std::uint8_t> bytes)
        : content(bytes), medium(dir, bytes), loop(medium.path().empty() ? dir.file("none") : medium.path())
    {
        configured();
    }
    ~Rig() { form.reset(); }

    bool ready() const { return !medium.path().empty() && !loop.path().empty(); }
    QString why() const { return QString::fromStdString(medium.error() + loop.error()); }

    TMain_Form& open()
    {
        MainFormServices services = WindowProfile::services();
        const std::string device = loop.path();
        services.drives = [device] { return DrivesOver({{'A', device}}); };
        form = ShowMainForm(std::move(services));
        return *form;
    }

    void selectOnly(int row)
    {
        form->Controls().LV1->clearSelection();
        form->Controls().LV1->SelectRow(row);
        form->UpdateSelectionCommands();
    }
};

bool SameSector(const std::vector<std::uint8_t>& a, std::size_t atA, const std::vector<std::uint8_t>& b,
                std::size_t atB)
{
    return std::equal(a.begin() + atA, a.begin() + atA + 512, b.begin() + atB);
}

} // namespace

class TestRescueDevice : public QObject {
    Q_OBJECT
private slots:
    // Sectors 40 and 41 (one track request) and 1000 fail on the device:
    // the map lists exactly them, the image holds every other sector; once
    // the faults are lifted, re-reading fills the holes and the map goes.
    void unreadableSectorsAreMappedAndReadAgainLater()
    {
        Rig rig(MemoryDrive::PatternMedium(kSectors).bytes);
        QVERIFY2(rig.ready(), qPrintable(rig.why()));
        QVERIFY(rig.medium.SetFaults({40, 41, 1000}, {}));
        TMain_Form& form = rig.open();

        rig.boxes.expect(Box(83, "40", 4, mb::YESNO | mb::ICONWARNING, mb::IDYES));
        rig.boxes.expect(Box(84, "3", 4, mb::OK | mb::ICONWARNING));
        WhenModal<TProperty_Form>([](TProperty_Form& d) {
            d.Edit1->setEditText(QStringLiteral("WEAK DISK"));
            QTest::mouseClick(d.OK_Btn, Qt::LeftButton);
        });
        form.Controls().IB_CreateImage->trigger();
        QVERIFY(rig.boxes.verifyDone());
        auto files = rig.files();
        QCOMPARE(files.size(), std::size_t{2});
        const std::string image = rig.folder + files[0];
        const std::string map = rig.folder + files[1];
        QCOMPARE(map, image + ".map");

        // ddrescue's own tool reads the map: the bad sectors, and their bytes.
        QCOMPARE(Output("ddrescuelog -b512 -l- " + ShellQuote(map)), std::string("40\n41\n1000\n"));
        const std::string summary = Output("ddrescuelog -t " + ShellQuote(map));
        QVERIFY2(summary.find("bad-sector:     1536 B,  in      2 area(s)") != std::string::npos, summary.c_str());
        QVERIFY2(summary.find("extent:    1474 kB") != std::string::npos, summary.c_str());

        const std::vector<std::uint8_t> bytes = FileBytes(image);
        QCOMPARE(bytes.size(), std::size_t{256} + kSectors * 512);
        const std::vector<std::uint8_t> zero(512, 0);
        for (std::uint32_t k = 0; k < kSectors; ++k) {
            const bool bad = k == 40 || k == 41 || k == 1000;
            QVERIFY2(bad ? SameSector(bytes, 256 + k * 512, zero, 0)
                         : SameSector(bytes, 256 + k * 512, rig.content, k * 512),
                     qPrintable(QString::number(k)));
        }
        QVERIFY(form.ConditionOfRow(0).hasMap);

        // A second try with sector 1000 still bad.
        QVERIFY(rig.medium.SetFaults({1000}, {}));
        rig.selectOnly(0);
        QVERIFY(form.Controls().IB_RereadImage->isEnabled());
        rig.boxes.expect(Box(111, "2 / 1", 4, mb::OK | mb::ICONWARNING));
        form.Controls().IB_RereadImage->trigger();
        QVERIFY(rig.boxes.verifyDone());
        QCOMPARE(Output("ddrescuelog -b512 -l- " + ShellQuote(map)), std::string("1000\n"));

        QVERIFY(rig.medium.SetFaults({}, {}));
        rig.selectOnly(0);
        rig.boxes.expect(Box(112, {}, 3, mb::OK | mb::ICONINFORMATION));
        form.Controls().IB_RereadImage->trigger();
        QVERIFY(rig.boxes.verifyDone());
        QCOMPARE(rig.files(), std::vector<std::string>{files[0]});
        const std::vector<std::uint8_t> filled = FileBytes(image);
        QVERIFY(std::equal(filled.begin() + 256, filled.end(), rig.content.begin(), rig.content.end()));
        QVERIFY(form.ConditionOfRow(0).sound());
        QVERIFY(!form.IsBusy());
    }

    // A device that silently drops the write of sector 7 is caught by the
    // read-back, which must therefore come from the device, not the cache;
    // with the fault lifted the same restore reads back equal.
    void restorationReadsTheDeviceBack()
    {
        Rig rig(std::vector<std::uint8_t>(kSectors * 512, 0));
        QVERIFY2(rig.ready(), qPrintable(rig.why()));
        const std::vector<std::uint8_t> data = MemoryDrive::PatternMedium(kSectors).bytes;
        const HeaderBytes header = BuildHeader({"SET", "", "", "", "", ""}, 1, 512, kSectors);
        std::string file(header.begin(), header.end());
        file.append(data.begin(), data.end());
        rig.dir.write("Images/set.img", file);
        QVERIFY(rig.medium.SetFaults({}, {7}));
        TMain_Form& form = rig.open();
        rig.selectOnly(0);
        // The question names the device it would overwrite.
        const QString target = QString::fromStdString(DrivesOver({{'A', rig.loop.path()}})->DescribeTarget('A'));
        const ExpectedBox confirm{Msg(40) + "\r\n" + target, mb::IDYES, Msg(3), mb::YESNO | mb::ICONQUESTION | kStyle, {}};

        rig.boxes.expect(confirm);
        rig.boxes.expect(Box(90, "7 / 1", 5, mb::OK | mb::ICONERROR));
        form.Controls().IB_RestoreImage->trigger();
        QVERIFY(rig.boxes.verifyDone()); // no message 43 came
        std::vector<std::uint8_t> stored = rig.medium.Stored();
        QVERIFY(SameSector(stored, 7 * 512, std::vector<std::uint8_t>(512, 0), 0));
        QVERIFY(SameSector(stored, 8 * 512, data, 8 * 512));

        QVERIFY(rig.medium.SetFaults({}, {}));
        rig.selectOnly(0);
        rig.boxes.expect(confirm);
        rig.boxes.expect(Box(43, {}, 3, mb::OK | mb::ICONINFORMATION));
        form.Controls().IB_RestoreImage->trigger();
        QVERIFY(rig.boxes.verifyDone());
        QVERIFY(rig.medium.Stored() == data);
    }
};

int main(int argc, char** argv)
{
    if (const std::string why = FaultMediumUnavailable() + LoopDevicesUnavailable(); !why.empty()) {
        std::printf("SKIP: %s\n", why.c_str());
        return 77;
    }
    QApplication app(argc, argv);
    TestRescueDevice test;
    return QTest::qExec(&test, argc, argv);
}

#include "test_rescue_device.moc"
