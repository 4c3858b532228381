// The real message box: the icon and buttons its flags ask for, and the
// toolkit's own button texts in the language of the program's texts.
#include <QMessageBox>
#include <QPushButton>
#include <QTranslator>
#include <QtTest>

#include "app/qttranslation.h"
#include "settings/msgbox.h"
#include "support/when_open.h"

namespace {

struct SeenBox {
    QMessageBox::Icon icon = QMessageBox::NoIcon;
    bool iconDrawn = false;
    QStringList buttons; // texts, in the box's order
};

// Shows a real box with flags and answers it with its last button.
SeenBox Show(unsigned flags)
{
    SeenBox seen;
    WhenOpen<QMessageBox>([&seen](QMessageBox& box) {
        seen.icon = box.icon();
        seen.iconDrawn = !box.iconPixmap().isNull();
        for (QAbstractButton* button : box.buttons())
            seen.buttons << button->text().remove(QLatin1Char('&'));
        seen.buttons.sort();
        box.buttons().last()->click();
    });
    ShowMessageBox(nullptr, QStringLiteral("本文"), QStringLiteral("確認"), flags | mb::TASKMODAL | mb::SETFOREGROUND);
    return seen;
}

} // namespace

class TestStandardTexts : public QObject {
    Q_OBJECT
private slots:
    void everyIconFlagShowsItsIcon()
    {
        const std::pair<unsigned, QMessageBox::Icon> icons[] = {
            {mb::ICONERROR, QMessageBox::Critical},
            {mb::ICONQUESTION, QMessageBox::Question},
            {mb::ICONWARNING, QMessageBox::Warning},
            {mb::ICONINFORMATION, QMessageBox::Information},
        };
        for (const auto& [flag, icon] : icons) {
            const SeenBox seen = Show(mb::RETRYCANCEL | flag);
            QCOMPARE(seen.icon, icon);
            QVERIFY2(seen.iconDrawn, "the style gave no picture for the icon");
        }
    }

    void buttonsFollowTheLanguageOfTheTexts()
    {
        {
            // The built-in table is Japanese, and so are the standard buttons.
            QTranslator qtTexts;
            QVERIFY(InstallQtTranslation(qtTexts, QtTranslationLocale(false, "")));
            QCOMPARE(Show(mb::RETRYCANCEL).buttons, (QStringList{QStringLiteral("キャンセル"), QStringLiteral("再試行")}));
            QCOMPARE(Show(mb::YESNO).buttons, (QStringList{QStringLiteral("いいえ(N)"), QStringLiteral("はい(Y)")}));
        }
        {
            // A language file without a locale: its texts replace the
            // Japanese ones, the buttons stay English.
            QTranslator qtTexts;
            QVERIFY(!InstallQtTranslation(qtTexts, QtTranslationLocale(true, "")));
            QCOMPARE(Show(mb::OKCANCEL).buttons, (QStringList{QStringLiteral("Cancel"), QStringLiteral("OK")}));
        }
        {
            QTranslator qtTexts;
            QVERIFY(InstallQtTranslation(qtTexts, QtTranslationLocale(true, "de")));
            QCOMPARE(Show(mb::YESNO).buttons, (QStringList{QStringLiteral("Ja"), QStringLiteral("Nein")}));
        }
        // A locale Qt has no translation for leaves English buttons.
        QTranslator qtTexts;
        QVERIFY(!InstallQtTranslation(qtTexts, QtTranslationLocale(true, "xx_YY")));
        QCOMPARE(Show(mb::YESNO).buttons, (QStringList{QStringLiteral("No"), QStringLiteral("Yes")}));
    }
};

QTEST_MAIN(TestStandardTexts)
#include "test_standard_texts.moc"
