#include "app/mainform.h"

#include <QtTest>

class TestMainForm : public QObject {
    Q_OBJECT
private slots:
    void titleIsProductName()
    {
        TMain_Form form;
        QCOMPARE(form.windowTitle(), QStringLiteral("Tessarine"));
    }
};

QTEST_MAIN(TestMainForm)
#include "test_mainform.moc"
