// The main window as a desktop user meets it, on the offscreen platform:
// the parts that need no window manager.
#include "app/mainform.h"

#include <QMenu>
#include <QProgressBar>
#include <QStatusBar>
#include <QtTest>

#include "library/imagefile.h"
#include "support/profiles.h"

class TestDesktopWindow : public QObject {
    Q_OBJECT
private slots:
    void progressBarSitsWhollyInPanelZero()
    {
        WindowProfile p;
        p.configured();
        const auto shown = ShowMainForm(p.services());
        TMain_Form& form = *shown;
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

    // Each window reads the catalogue it was given: one over a language file
    // and one over the built-in texts stand side by side, and so do the
    // boxes their commands ask.
    void twoCataloguesGiveTwoWindowsTheirOwnTexts()
    {
        WindowProfile language, builtIn;
        std::string rsl = "[Font01]\nName=DejaVu Sans\nSize=13\n[Strings]\n";
        for (int n = 1; n <= 60; ++n)
            rsl += std::to_string(n) + "=E" + std::to_string(n) + "\n";
        language.dir.write("tessarine.rsl", rsl);
        language.messages = MessageCatalogue::Load(language.dir.file("tessarine"));
        QVERIFY(language.messages.LanguageLoaded());

        std::vector<std::unique_ptr<TMain_Form>> forms;
        for (WindowProfile* p : {&language, &builtIn}) {
            p->configured();
            const HeaderBytes header = BuildHeader({"T", "", "", "", "", ""}, 2, 512, 1);
            p->dir.write("Images/one.img", std::string(header.begin(), header.end()) + std::string(512, '\0'));
            forms.push_back(ShowMainForm(p->services()));
        }
        TMain_Form& english = *forms[0];
        TMain_Form& japanese = *forms[1];
        QCOMPARE(english.Controls().FileMenu->title(), QStringLiteral("E6"));
        QCOMPARE(japanese.Controls().FileMenu->title(), QStringLiteral("ファイル(&F)"));
        QCOMPARE(english.Controls().LV1->model()->headerData(0, Qt::Horizontal).toString(), QStringLiteral("E27"));
        QCOMPARE(japanese.Controls().LV1->model()->headerData(0, Qt::Horizontal).toString(),
                 QStringLiteral("タイトル"));
        QCOMPARE(english.font().pointSize(), 13);
        QCOMPARE(japanese.font().pointSize(), 9);

        const unsigned question = mb::YESNO | mb::ICONQUESTION | mb::TASKMODAL | mb::SETFOREGROUND;
        language.boxes.expect(QStringLiteral("E46"), QStringLiteral("E3"), question, mb::IDNO);
        builtIn.boxes.expect(QStringLiteral("選択したイメージファイルを削除しますか？"), QStringLiteral("確認"),
                             question, mb::IDNO);
        for (TMain_Form* form : {&english, &japanese}) {
            form->Controls().LV1->SelectRow(0);
            form->UpdateSelectionCommands();
            form->IB_DeleteImageExecute();
        }
        QVERIFY(language.boxes.verifyDone());
        QVERIFY(builtIn.boxes.verifyDone());
    }
};

QTEST_MAIN(TestDesktopWindow)
#include "test_desktop_window.moc"
