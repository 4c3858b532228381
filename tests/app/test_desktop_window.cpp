// The main window as a desktop user meets it, on the offscreen platform:
// the parts that need no window manager.
#include "app/mainform.h"

#include <QProgressBar>
#include <QStatusBar>
#include <QtTest>

#include "support/profiles.h"

class TestDesktopWindow : public QObject {
    Q_OBJECT
private slots:
    void progressBarSitsWhollyInPanelZero()
    {
        WindowProfile p;
        p.configured();
        TMain_Form form(p.services());
        form.show();
        QVERIFY(QTest::qWaitForWindowExposed(&form));
        for (const QSize size : {QSize(480, 320), QSize(900, 500)}) {
            form.resize(size);
            QCoreApplication::processEvents();
            QCOMPARE(form.Controls().SB1->height(), 19);
            const QRect bar(form.Controls().PB1->mapTo(form.Controls().SB1, QPoint(0, 0)), form.Controls().PB1->size());
            QCOMPARE(bar, QRect(0, 2, 159, 17));
            // Nothing in between cuts it off.
            QCOMPARE(form.Controls().PB1->visibleRegion().boundingRect(), form.Controls().PB1->rect());
        }
    }

    void listHasTheFocusAgainAfterTheBusyState()
    {
        WindowProfile p;
        p.configured();
        TMain_Form form(p.services());
        form.show();
        form.activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(&form));
        QCOMPARE(QApplication::focusWidget(), form.Controls().LV1);
        form.IB_ReloadExecute();
        QCOMPARE(QApplication::focusWidget(), form.Controls().LV1);
    }
};

QTEST_MAIN(TestDesktopWindow)
#include "test_desktop_window.moc"
