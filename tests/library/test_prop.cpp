// The property dialog on its own: what OK does to the texts and the entry
// histories, the refused empty title, the completion, the byte limits and
// the language file.
#include "library/prop.h"

#include <memory>

#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QtTest>

#include "library/history.h"
#include "settings/messages.h"
#include "settings/regstore.h"
#include "base/textconv.h"
#include "support/profiles.h"
#include "support/scripted_boxes.h"

namespace {

constexpr unsigned kErrorBoxFlags = mb::OK | mb::ICONERROR | mb::TASKMODAL | mb::SETFOREGROUND;

QString U(const char* utf8) { return QString::fromUtf8(utf8); }

// Types text into a box the way a keyboard or an input method would.
void Type(QWidget* box, const QString& text)
{
    for (QChar c : text) {
        const int key = c.isLetter() && c.unicode() < 128 ? Qt::Key_A + (c.toUpper().unicode() - 'A') : Qt::Key_unknown;
        QTest::sendKeyEvent(QTest::Click, box, Qt::Key(key), QString(c), Qt::NoModifier);
    }
}

// The history as stored, one list per field.
HistoryList Stored(RegStore& store, int field) { return LoadHistory(store, field); }

} // namespace

class TestProp : public QObject {
    Q_OBJECT

    std::unique_ptr<StoreProfile> profile_;

    std::unique_ptr<TProperty_Form> Open(ScriptedBoxes& boxes, const ImageTexts& texts = {},
                                         const MessageCatalogue& messages = BuiltInMessages())
    {
        return OpenPropertyDialog(profile_->store, boxes, texts, messages);
    }

private slots:
    void init() { profile_ = std::make_unique<StoreProfile>(); }

    void cleanup() { profile_.reset(); }

    void firstShowSizesAndFocuses()
    {
        ScriptedBoxes boxes;
        auto form = Open(boxes);
        QCOMPARE(form->size(), QSize(353, 184));
        QCOMPARE(form->windowTitle(), U("プロパティ"));
        QCOMPARE(QApplication::focusWidget(), form->Edit1);
        QVERIFY(form->OK_Btn->isDefault());
        QCOMPARE(form->Label4->buddy(), form->Edit4);
        QVERIFY(form->Edit1->completer() == nullptr);
        QVERIFY(!form->Edit4->lineEdit()->testAttribute(Qt::WA_InputMethodEnabled));
        QVERIFY(form->Edit1->lineEdit()->testAttribute(Qt::WA_InputMethodEnabled));
    }

    void okTrimsAndRecordsHistories()
    {
        // Earlier entries; "E5" is fifth in the copyright history.
        SaveHistory(profile_->store, kCopyright, {"E1", "E2", "E3", "E4", "E5", "E6"});
        HistoryList full;
        for (int i = 0; i < 32; ++i)
            full.push_back("A" + std::to_string(i));
        SaveHistory(profile_->store, kAuthor, full);
        SaveHistory(profile_->store, kYear, {"1992"});

        ScriptedBoxes boxes;
        auto form = Open(boxes);
        QCOMPARE(form->Edit2->count(), 6);
        form->Edit1->setEditText(QStringLiteral("  Foo  "));
        form->Edit2->setEditText(QStringLiteral("E5"));
        form->Edit3->setEditText(QStringLiteral("New"));
        form->Edit4->setEditText(QStringLiteral("   "));
        QTest::mouseClick(form->OK_Btn, Qt::LeftButton);

        QCOMPARE(form->result(), int(QDialog::Accepted));
        QVERIFY(!form->isVisible());
        const ImageTexts texts = form->Texts();
        QCOMPARE(texts[kTitle], std::string("Foo"));
        QCOMPARE(form->Edit1->currentText(), QStringLiteral("Foo"));
        QCOMPARE(Stored(profile_->store, kTitle), HistoryList({"Foo"}));
        QCOMPARE(Stored(profile_->store, kCopyright), HistoryList({"E5", "E1", "E2", "E3", "E4", "E6"}));
        const HistoryList authors = Stored(profile_->store, kAuthor);
        QCOMPARE(authors.size(), std::size_t{32});
        QCOMPARE(authors.front(), std::string("New"));
        QCOMPARE(authors.back(), std::string("A30"));
        // An empty field leaves its history alone.
        QCOMPARE(Stored(profile_->store, kYear), HistoryList({"1992"}));
        QVERIFY(TrimBlanks(texts[kYear]).empty());
        // The stored form is one line: CR LF escaped.
        QCOMPARE(profile_->store.RegReadString(0, kHistoryKey, "Item2", ""),
                 std::string("E5\\r\\nE1\\r\\nE2\\r\\nE3\\r\\nE4\\r\\nE6\\r\\n"));
    }

    // Two dialogs open at once, as in two instances (each with its own
    // store over the one file): OK merges into what is stored by then.
    void twoDialogsOnDifferentFieldsKeepBothEntries()
    {
        HistoryList full;
        for (int i = 0; i < 32; ++i)
            full.push_back("C" + std::to_string(i));
        SaveHistory(profile_->store, kCopyright, full);
        SaveHistory(profile_->store, kTitle, {"Old"});
        RegStore second(MakeFileBackend(profile_->dir.file("Tessarine.reg")));

        ScriptedBoxes boxes;
        auto one = Open(boxes);
        auto two = OpenPropertyDialog(second, boxes);
        one->Edit1->setEditText(QStringLiteral("Game"));
        one->Edit2->setEditText(QStringLiteral("Maker"));
        two->Edit1->setEditText(QStringLiteral("Tool"));
        two->Edit3->setEditText(QStringLiteral("Someone"));
        two->Edit2->setEditText(QStringLiteral("C5"));
        QTest::mouseClick(one->OK_Btn, Qt::LeftButton);
        QTest::mouseClick(two->OK_Btn, Qt::LeftButton);
        QCOMPARE(one->result(), int(QDialog::Accepted));
        QCOMPARE(two->result(), int(QDialog::Accepted));

        QCOMPARE(Stored(profile_->store, kTitle), HistoryList({"Tool", "Game", "Old"}));
        QCOMPARE(Stored(profile_->store, kAuthor), HistoryList({"Someone"}));
        const HistoryList copyrights = Stored(profile_->store, kCopyright);
        QCOMPARE(copyrights.size(), std::size_t{32});
        QCOMPARE(copyrights[0], std::string("C5"));
        QCOMPARE(copyrights[1], std::string("Maker"));
        QCOMPARE(copyrights[2], std::string("C0"));
        QCOMPARE(copyrights.back(), std::string("C30"));
    }

    void emptyTitleIsRefused()
    {
        SaveHistory(profile_->store, kAuthor, {"Someone"});
        ScriptedBoxes boxes;
        auto form = Open(boxes);
        form->Edit1->setEditText(QStringLiteral(" \t "));
        form->Edit3->setEditText(QStringLiteral("Other"));
        form->Edit3->setFocus();
        boxes.expect(U("タイトルは必須入力項目です"), U("確認"), kErrorBoxFlags);
        QTest::mouseClick(form->OK_Btn, Qt::LeftButton);
        QVERIFY(boxes.verifyDone());
        QCOMPARE(boxes.shown().back().owner.data(), form.get());
        QVERIFY(form->isVisible());
        QCOMPARE(QApplication::focusWidget(), form->Edit1);
        QCOMPARE(Stored(profile_->store, kAuthor), HistoryList({"Someone"}));
        QVERIFY(Stored(profile_->store, kTitle).empty());

        // Then Cancel: the histories stay as they were.
        form->Edit1->setEditText(QStringLiteral("Valid"));
        QTest::keyClick(form.get(), Qt::Key_Escape);
        QCOMPARE(form->result(), int(QDialog::Rejected));
        QCOMPARE(Stored(profile_->store, kAuthor), HistoryList({"Someone"}));
        QVERIFY(Stored(profile_->store, kTitle).empty());
    }

    void enterPressesOk()
    {
        ScriptedBoxes boxes;
        auto form = Open(boxes);
        Type(form->Edit1, QStringLiteral("x"));
        QTest::keyClick(form->Edit1, Qt::Key_Return);
        QCOMPARE(form->result(), int(QDialog::Accepted));
        QCOMPARE(Stored(profile_->store, kTitle), HistoryList({"x"}));
    }

    void completionKeepsTypedCaseAndStopsAfterBackspace()
    {
        SaveHistory(profile_->store, kTitle, {"Xyz", "Abcdef", "abz"});
        ScriptedBoxes boxes;
        auto form = Open(boxes);
        QLineEdit* line = form->Edit1->lineEdit();

        Type(form->Edit1, QStringLiteral("a"));
        QCOMPARE(line->text(), QStringLiteral("abcdef"));
        Type(form->Edit1, QStringLiteral("b"));
        QCOMPARE(line->text(), QStringLiteral("abcdef"));
        QCOMPARE(line->selectedText(), QStringLiteral("cdef"));
        QCOMPARE(line->cursorPosition(), 2);

        QTest::keyClick(form->Edit1, Qt::Key_Backspace);
        QCOMPARE(line->text(), QStringLiteral("ab"));
        QVERIFY(!line->hasSelectedText());
        QCOMPARE(form->LastKey(), std::uint16_t{8});

        // Typing on completes again; a text no entry begins with stays as typed.
        Type(form->Edit1, QStringLiteral("z"));
        QCOMPARE(line->text(), QStringLiteral("abz"));
        Type(form->Edit1, QStringLiteral("q"));
        QCOMPARE(line->text(), QStringLiteral("abzq"));
    }

    void completionOfJapaneseEntries()
    {
        SaveHistory(profile_->store, kTargetMachine, {"カメラ"});
        ScriptedBoxes boxes;
        auto form = Open(boxes);
        form->Edit5->setFocus();
        Type(form->Edit5, U("カ"));
        QCOMPARE(form->Edit5->lineEdit()->text(), U("カメラ"));
        QCOMPARE(form->Edit5->lineEdit()->selectedText(), U("メラ"));
    }

    void limitsCountCodePage932Bytes()
    {
        ScriptedBoxes boxes;
        auto form = Open(boxes);
        QLineEdit* title = form->Edit1->lineEdit();
        const QString fifteen = U("日本語の題名を十五文字で書いた");
        QCOMPARE(fifteen.size(), 15);
        Type(form->Edit1, fifteen);
        QCOMPARE(title->text(), fifteen);
        Type(form->Edit1, U("字"));
        QCOMPARE(title->text(), fifteen);
        // A single-byte character no longer fits either.
        Type(form->Edit1, QStringLiteral("a"));
        QCOMPARE(title->text(), fifteen);

        form->Edit4->setFocus();
        Type(form->Edit4, QStringLiteral("19921"));
        QCOMPARE(form->Edit4->currentText(), QStringLiteral("1992"));
        form->Edit4->setEditText(QString());
        Type(form->Edit4, U("平成元年"));
        QCOMPARE(form->Edit4->currentText(), U("平成"));
    }

    void charactersWithoutCodePage932FormAreRefused()
    {
        ScriptedBoxes boxes;
        auto form = Open(boxes);
        QLineEdit* line = form->Edit2->lineEdit();
        form->Edit2->setFocus();
        Type(form->Edit2, U("Caf"));
        Type(form->Edit2, U("é"));
        Type(form->Edit2, U("e"));
        QCOMPARE(line->text(), QStringLiteral("Cafe"));
        // Pasting goes through the same check.
        line->insert(U("한글"));
        QCOMPARE(line->text(), QStringLiteral("Cafe"));
        line->insert(U("珈琲"));
        QCOMPARE(line->text(), U("Cafe珈琲"));
    }

    void unchangedFieldsKeepTheirBytes()
    {
        // 87 90 reads as U+2252, which code page 932 writes back as 81 E0.
        const std::string odd = "\x87\x90" "A";
        // A damaged field (a lone lead byte) may go back as it came, but makes no entry.
        const std::string damaged = "B\x81";
        ScriptedBoxes boxes;
        auto form = Open(boxes, {"T", odd, damaged, "", "", ""});
        QCOMPARE(form->Edit2->currentText(), U("≒A"));
        QTest::mouseClick(form->OK_Btn, Qt::LeftButton);
        QCOMPARE(form->result(), int(QDialog::Accepted));
        QCOMPARE(form->FieldBytes(kCopyright), odd);
        QCOMPARE(form->FieldBytes(kAuthor), damaged);
        QCOMPARE(Stored(profile_->store, kCopyright), HistoryList({"≒A"}));
        QVERIFY(Stored(profile_->store, kAuthor).empty());

        // A text the user changed is encoded afresh; typed back as it was,
        // it is the same text and keeps its bytes.
        ScriptedBoxes again;
        auto second = Open(again, {"T", odd, "", "", "", ""});
        second->Edit2->setEditText(QString());
        second->Edit2->setFocus();
        Type(second->Edit2, U("≒B"));
        QCOMPARE(second->FieldBytes(kCopyright), std::string("\x81\xE0" "B"));
        second->Edit2->setEditText(QString());
        Type(second->Edit2, U("≒A"));
        QCOMPARE(second->FieldBytes(kCopyright), odd);
    }

    void languageFileReplacesTextsButNotTheOpenersCaption()
    {
        std::string rsl = "[Font01]\r\nName=IPAPGothic\r\nSize=11\r\n[Strings]\r\n";
        for (int n = 1; n <= 67; ++n)
            rsl += std::to_string(n) + "=M" + std::to_string(n) + "\r\n";
        profile_->dir.write("tessarine.rsl", rsl);
        const MessageCatalogue language = MessageCatalogue::Load(profile_->dir.file("tessarine"));
        QVERIFY(language.LanguageLoaded());

        ScriptedBoxes boxes;
        auto own = std::make_unique<TProperty_Form>(profile_->store, language, boxes.func());
        own->SetCaption(U("イメージファイルの作成"));
        own->show();
        QCOMPARE(own->windowTitle(), U("イメージファイルの作成"));
        QCOMPARE(own->Label1->text(), QStringLiteral("M61"));
        QCOMPARE(own->Label6->text(), QStringLiteral("M66"));
        QCOMPARE(own->OK_Btn->text(), QStringLiteral("M1"));
        QCOMPARE(own->Cancel_Btn->text(), QStringLiteral("M2"));
        QCOMPARE(own->font().pointSize(), 11);
        QCOMPARE(own->font().families().value(0), QStringLiteral("IPAPGothic"));

        auto plain = Open(boxes, {}, language);
        QCOMPARE(plain->windowTitle(), QStringLiteral("M60"));
    }
};

QTEST_MAIN(TestProp)
#include "test_prop.moc"
