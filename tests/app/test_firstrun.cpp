// The first start with an empty settings store, through the real
// configuration dialog.
#include "app/mainform.h"

#include <filesystem>

#include <QAbstractItemModel>
#include <QComboBox>
#include <QPushButton>
#include <QtTest>

#include "media/drive.h"
#include "settings/config.h"
#include "settings/eliedit.h"
#include "support/profiles.h"
#include "support/when_open.h"

class TestFirstRun : public QObject {
    Q_OBJECT
private slots:
    void emptyStoreRunsFirstRunDialogBeforeTheWindow()
    {
        WindowProfile p; // nothing stored
        const std::string folder = p.folder.substr(0, p.folder.size() - 1);
        MainFormServices services = p.services();
        services.driveTable = [] {
            return std::vector<DriveEntry>{{'A', "/dev/fd0", DriveKind::Floppy, "A: /dev/fd0"},
                                           {'B', "/dev/sdb", DriveKind::Removable, "B: /dev/sdb"}};
        };
        services.configCommand = {}; // the real dialog
        TMain_Form form(std::move(services));
        int scans = 0;
        connect(form.Controls().LV1->model(), &QAbstractItemModel::modelAboutToBeReset, this, [&] { ++scans; });

        bool windowVisible = true;
        int scansBeforeOk = -1;
        WhenOpen<TConfig_Form>([&](TConfig_Form& config) {
            windowVisible = form.isVisible();
            QCOMPARE(config.windowTitle(), QStringLiteral("初期設定")); // what it refuses is the form's test
            config.SCV1->setCurrentIndex(2);
            config.EE1->setText(QString::fromStdString(folder));
            scansBeforeOk = scans;
            config.OK_Btn->click();
        });
        form.show();
        QVERIFY(QTest::qWaitForWindowExposed(&form));

        QVERIFY(!windowVisible);
        QCOMPARE(scansBeforeOk, 0);
        // Once by the dialog, once by the first show.
        QCOMPARE(scans, 2);
        QCOMPARE(form.State().SourceDrive, std::string("B"));
        QCOMPARE(form.State().ImageFolder, folder + "/");
        QCOMPARE(p.store.RegReadString(0, kSystemKey, "Drive", ""), std::string("B"));
        QCOMPARE(p.store.RegReadString(0, kSystemKey, "Dir", ""), folder + "/");
    }
};

QTEST_MAIN(TestFirstRun)
#include "test_firstrun.moc"
