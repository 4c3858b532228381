#include "settings/about1.h"

#include "settings/messages.h"
#include "support/messages.h"
#include "support/tempdir.h"

#include <QFrame>
#include <QLabel>
#include <QPushButton>
#include <QTimer>
#include <QtTest>

namespace {

const QString kBuiltInFace = QStringLiteral("ＭＳ Ｐゴシック");

// Bounds of a panel item in the window's coordinates.
QRect InWindow(const QWidget* w)
{
    return QRect(w->mapTo(w->window(), QPoint(0, 0)), w->size());
}

} // namespace

class TestAbout : public QObject {
    Q_OBJECT
private slots:
    void showsTheBuiltInTextsAndLayout()
    {
        TAbout_Form form(BuiltInMessages());
        form.show();
        QCOMPARE(form.windowTitle(), QStringLiteral("バージョン情報"));
        QCOMPARE(form.ProductName->text(), QStringLiteral("Tessarine"));
        QCOMPARE(form.lblVer->text(), QStringLiteral("version 2.02"));
        QCOMPARE(form.Copyright->text(), QStringLiteral("Copyright (C) 2026 The Tessarine developers"));
        QCOMPARE(form.lblURL->text(), QStringLiteral("https://tessarine.example.org/"));
        QCOMPARE(form.OKBtn->text(), QStringLiteral("OK"));
        QVERIFY(form.OKBtn->isDefault());
        QCOMPARE(form.size(), QSize(256, 126));
        QCOMPARE(form.font().families().value(0), kBuiltInFace);
        QCOMPARE(form.font().pointSize(), 9);
        QVERIFY(form.lblURL->font().underline());
        // The program's own icon, not the toolkit's generic one.
        QCOMPARE(form.ProgramIcon->pixmap().toImage().convertToFormat(QImage::Format_ARGB32),
                 QImage(QStringLiteral(":/icons/32.png")).convertToFormat(QImage::Format_ARGB32));

        // Every text stays inside the panel and clear of its neighbours,
        // whatever face the host substitutes.
        const QRect panel = form.Panel1->geometry().adjusted(2, 2, -2, -2);
        for (QLabel* label : {form.ProductName, form.lblVer, form.Copyright, form.lblURL}) {
            QVERIFY2(panel.contains(InWindow(label)), qPrintable(label->text()));
            QVERIFY2(label->height() >= label->fontMetrics().height(), qPrintable(label->text()));
        }
        QVERIFY(!InWindow(form.Copyright).intersects(InWindow(form.lblURL)));
        QVERIFY(!InWindow(form.Copyright).intersects(InWindow(form.lblVer)));
        QVERIFY(form.Copyright->fontMetrics().horizontalAdvance(form.Copyright->text()) <=
                form.Copyright->width() * (form.Copyright->wordWrap() ? 2 : 1));
    }

    void languageFileGivesCaptionsAndFontButNotTheLabelFonts()
    {
        // 59 is the last line, so K reaches it; its value is empty.
        std::string text = "[Font01]\nName=DejaVu Sans\nSize=14\n[Strings]\n1=Close\n";
        for (int n = 2; n <= 58; ++n)
            text += std::to_string(n) + "=x\n";
        dir.write("tessarine.rsl", text + "59=\n");
        const MessageCatalogue texts = MessageCatalogue::Load(dir.file("tessarine"));
        QVERIFY(texts.LanguageLoaded());

        TAbout_Form form(texts);
        const QFont productFont = form.ProductName->font();
        const QFont versionFont = form.lblVer->font();
        const QFont urlFont = form.lblURL->font();
        form.show();
        QCOMPARE(form.windowTitle(), QString());
        QCOMPARE(form.OKBtn->text(), QStringLiteral("Close"));
        QCOMPARE(form.lblVer->text(), QStringLiteral("version 2.02"));
        QCOMPARE(form.font().families().value(0), QStringLiteral("DejaVu Sans"));
        QCOMPARE(form.font().pointSize(), 14);
        QCOMPARE(form.Copyright->font().pointSize(), 14);
        QCOMPARE(form.ProductName->font(), productFont);
        QCOMPARE(form.lblVer->font(), versionFont);
        QCOMPARE(form.lblURL->font(), urlFont);
        QCOMPARE(form.lblVer->font().families().value(0), kBuiltInFace);
        QCOMPARE(form.lblVer->font().pointSize(), 9);
    }

    void escKeepsTheBoxOpenEnterAndCloseBoxClose()
    {
        TAbout_Form form(BuiltInMessages());
        form.show();
        QTest::keyClick(&form, Qt::Key_Escape);
        QVERIFY(form.isVisible());
        QTest::keyClick(form.OKBtn, Qt::Key_Escape);
        QVERIFY(form.isVisible());
        QTest::keyClick(&form, Qt::Key_Return);
        QVERIFY(!form.isVisible());
        QCOMPARE(form.result(), int(QDialog::Accepted));

        TAbout_Form other(BuiltInMessages());
        other.show();
        QVERIFY(other.close());
        QVERIFY(!other.isVisible());
    }

    void aClickOnTheAddressOpensIt()
    {
        QList<QUrl> opened;
        TAbout_Form form(BuiltInMessages(), nullptr, [&](const QUrl& url) { opened << url; });
        form.show();
        QTest::mouseClick(form.Copyright, Qt::LeftButton);
        QTest::mouseClick(form.lblURL, Qt::RightButton);
        QVERIFY(opened.isEmpty());
        QTest::mouseClick(form.lblURL, Qt::LeftButton);
        QCOMPARE(opened, QList<QUrl>{QUrl(QStringLiteral("https://tessarine.example.org/"))});
        QVERIFY(form.isVisible());
    }

    void theBoxIsMadeForOneUse()
    {
        QWidget owner;
        owner.show();
        bool sawBox = false;
        QTimer::singleShot(0, [&] {
            auto* box = qobject_cast<TAbout_Form*>(QApplication::activeModalWidget());
            sawBox = box != nullptr;
            if (box)
                QTest::keyClick(box, Qt::Key_Return);
        });
        ShowAboutBox(&owner, BuiltInMessages());
        QVERIFY(sawBox);
        QVERIFY(owner.findChildren<TAbout_Form*>().isEmpty());
    }

    void versionHasExactlyTwoDecimals()
    {
        QCOMPARE(FormatVersion(2.02), QStringLiteral("2.02"));
        QCOMPARE(FormatVersion(10), QStringLiteral("10.00"));
        QCOMPARE(FormatVersion(0.5), QStringLiteral(".50"));
        QCOMPARE(FormatVersion(2.999), QStringLiteral("3.00"));
    }

private:
    TempDir dir;
};

QTEST_MAIN(TestAbout)
#include "test_about.moc"
