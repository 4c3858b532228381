// The property and deletion commands of the main window, on real image files
// in a temporary image folder, with every message box answered by script.
#include <filesystem>
#include <functional>
#include <memory>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QAction>
#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>
#include <QTimer>
#include <QtTest>

#include "app/mainform.h"
#include "library/history.h"
#include "library/imagefile.h"
#include "library/prop.h"
#include "media/drivetable.h"
#include "settings/messages.h"
#include "settings/regstore.h"
#include "support/profiles.h"
#include "support/when_open.h"
#include "support/unprivileged.h"

namespace {

constexpr unsigned kErrorBox = mb::OK | mb::ICONERROR | mb::TASKMODAL | mb::SETFOREGROUND;
constexpr unsigned kQuestionBox = mb::YESNO | mb::ICONQUESTION | mb::TASKMODAL | mb::SETFOREGROUND;

QString U(const char* utf8) { return QString::fromUtf8(utf8); }

// An image folder with a stored profile pointing at it and a main window on top.
struct Library : WindowProfile {
    std::unique_ptr<TMain_Form> form;

    Library()
    {
        configured();
        store.RegWriteInteger(0, kSystemKey, "MultiSelect", 1);
    }

    // An image whose sectors are all distinct bytes, and whose bytes 244..255
    // hold the figures.
    std::string image(const std::string& name, const std::string& title, std::uint32_t sectors = 3) const
    {
        const HeaderBytes header = BuildHeader({title, "C", "A", "1992", "PC", "DOS"}, 2, 512, sectors);
        std::string bytes(header.begin(), header.end());
        for (std::uint32_t i = 0; i < sectors * 512; ++i)
            bytes += static_cast<char>(i * 7 + 1);
        dir.write("Images/" + name, bytes);
        return bytes;
    }

    std::string read(const std::string& name) const { return dir.read("Images/" + name); }
    std::string path(const std::string& name) const { return folder + name; }

    void open()
    {
        form = ShowMainForm(services());
    }

    QStringList titles() const { return ColumnTexts(*form, 0); }

    // Selects the rows with these titles, as mouse clicks would.
    void select(const QStringList& wanted)
    {
        form->Controls().LV1->clearSelection();
        for (int i = 0; i < form->Controls().LV1->RowCount(); ++i) {
            if (wanted.contains(form->Controls().LV1->Text(i, 0))) {
                const QRect rect = form->Controls().LV1->RowRect(i);
                QTest::mouseClick(form->Controls().LV1->viewport(), Qt::LeftButton, Qt::ControlModifier, rect.center());
            }
        }
        QCOMPARE(form->Controls().LV1->SelectedCount(), static_cast<int>(wanted.size()));
    }
};

// Rejects a property dialog that should not have opened, and tells it came.
struct UnwantedDialog {
    bool seen = false;
    UnwantedDialog()
    {
        QTimer::singleShot(0, [this] {
            if (auto* dialog = qobject_cast<TProperty_Form*>(QApplication::activeModalWidget())) {
                seen = true;
                dialog->reject();
            }
        });
    }
};

std::string Field(const std::string& bytes, std::size_t offset, std::size_t width)
{
    return bytes.substr(offset, width + 1);
}

} // namespace

class TestImageCommands : public QObject {
    Q_OBJECT
private slots:
    void propertyRewritesTheDescriptivePartOnly()
    {
        Library lib;
        const std::string before = lib.image("IMG1.TMP", "Old");
        lib.image("IMG2.TMP", "Other");
        lib.open();
        lib.select({"Old"});
        QVERIFY(lib.form->Controls().IB_Property->isEnabled());

        QString caption;
        WhenOpen<TProperty_Form>([&caption](TProperty_Form& d) {
            caption = d.windowTitle();
            QCOMPARE(d.Edit1->currentText(), QStringLiteral("Old"));
            QCOMPARE(d.Edit4->currentText(), QStringLiteral("1992"));
            d.Edit1->setEditText(QStringLiteral("  Foo  "));
            d.Edit3->setEditText(QString());
            QTest::mouseClick(d.OK_Btn, Qt::LeftButton);
        });
        lib.form->Controls().IB_Property->trigger();
        QCOMPARE(caption, U("プロパティ"));

        const std::string after = lib.read("IMG1.TMP");
        QCOMPARE(after.size(), before.size());
        QCOMPARE(Field(after, 5, 30), "Foo" + std::string(27, ' ') + std::string(1, '\0'));
        QCOMPARE(Field(after, 67, 30), std::string(30, ' ') + std::string(1, '\0'));
        QCOMPARE(Field(after, 98, 4), std::string("1992\0", 5));
        QVERIFY(after.substr(244) == before.substr(244));
        QCOMPARE(LoadHistory(lib.store, kTitle), HistoryList({"Foo"}));
        QVERIFY(LoadHistory(lib.store, kAuthor).empty());
        // Rescanned: the list shows the new title, nothing selected.
        QCOMPARE(lib.titles(), QStringList({"Foo", "Other"}));
        QVERIFY(lib.form->Controls().LV1->SelectedCount() == 0);
    }

    void cancelChangesNothing()
    {
        Library lib;
        const std::string before = lib.image("IMG1.TMP", "Old");
        lib.open();
        lib.select({"Old"});
        const std::string storeBefore = lib.dir.read("Tessarine.reg");
        bool opened = false;
        WhenOpen<TProperty_Form>([&opened](TProperty_Form& d) {
            opened = true;
            d.Edit1->setEditText(QStringLiteral("Changed"));
            QTest::mouseClick(d.Cancel_Btn, Qt::LeftButton);
        });
        lib.form->Controls().IB_Property->trigger();
        QVERIFY(opened);
        QVERIFY(lib.read("IMG1.TMP") == before);
        QVERIFY(lib.dir.read("Tessarine.reg") == storeBefore);
        // Not rescanned: the row is still there and still selected.
        QCOMPARE(lib.titles(), QStringList({"Old"}));
        QCOMPARE(lib.form->Controls().LV1->SelectedCount(), 1);
    }

    void readOnlyImageIsReportedAndNotWritten()
    {
        Library lib;
        const std::string before = lib.image("IMG1.TMP", "Old");
        lib.open();
        lib.select({"Old"});
        QCOMPARE(::chmod(lib.dir.path().c_str(), 0755), 0);
        QCOMPARE(::chmod(lib.folder.c_str(), 0755), 0);
        QCOMPARE(::chmod(lib.path("IMG1.TMP").c_str(), 0444), 0);
        {
            UnprivilegedFiles nobody;
            if (!nobody.effective())
                QSKIP("cannot drop root's file permissions here");
            lib.boxes.expect(QString::fromStdString(IoStatus::Fail(EACCES).message()), U("エラー"), kErrorBox);
            UnwantedDialog dialog;
            lib.form->Controls().IB_Property->trigger();
            QVERIFY(!dialog.seen);
        }
        QVERIFY(lib.boxes.verifyDone());
        QVERIFY(lib.read("IMG1.TMP") == before);
    }

    // Another program rewrites the header while the dialog is open: the
    // rewrite asks first; No keeps the other program's header, Yes writes
    // the texts and keeps its allocation figures.
    void headerChangedMeanwhileIsAskedAbout()
    {
        for (const int answer : {mb::IDNO, mb::IDYES}) {
            Library lib;
            lib.image("IMG1.TMP", "Old");
            lib.open();
            lib.select({"Old"});
            const HeaderBytes other = BuildHeader({"Old", "C", "Them", "1993", "PC", "DOS"}, 1, 512, 3);
            WhenOpen<TProperty_Form>([&](TProperty_Form& d) {
                const int fd = ::open(lib.path("IMG1.TMP").c_str(), O_WRONLY);
                QVERIFY(fd >= 0);
                QCOMPARE(::pwrite(fd, other.data(), other.size(), 0), static_cast<ssize_t>(other.size()));
                ::close(fd);
                d.Edit1->setEditText(QStringLiteral("Mine"));
                QTest::mouseClick(d.OK_Btn, Qt::LeftButton);
            });
            lib.boxes.expect(U("イメージファイル IMG1.TMP のヘッダは、開いた後に他のプログラムが変更しました。その変更を上書きしますか？"),
                             U("確認"), kQuestionBox, answer);
            lib.form->Controls().IB_Property->trigger();
            QVERIFY(lib.boxes.verifyDone());
            const std::string after = lib.read("IMG1.TMP");
            if (answer == mb::IDNO) {
                QVERIFY(after.substr(0, 256) == std::string(other.begin(), other.end()));
                QCOMPARE(lib.titles(), QStringList({"Old"}));
            } else {
                QCOMPARE(Field(after, 5, 30), "Mine" + std::string(26, ' ') + std::string(1, '\0'));
                QCOMPARE(Field(after, 67, 30), "A" + std::string(29, ' ') + std::string(1, '\0'));
                QVERIFY(after.substr(244, 12) == std::string(other.begin() + 244, other.end()));
                QCOMPARE(lib.titles(), QStringList({"Mine"}));
            }
            // The history records the entry either way: the dialog closed with OK.
            QCOMPARE(LoadHistory(lib.store, kTitle), HistoryList({"Mine"}));
        }
    }

    void vanishedImageIsReportedAndDropped()
    {
        Library lib;
        lib.image("IMG1.TMP", "Gone");
        lib.image("IMG2.TMP", "Kept");
        lib.open();
        lib.select({"Gone"});
        std::filesystem::remove(lib.path("IMG1.TMP"));
        lib.boxes.expect(U("イメージファイルが存在しません"), U("確認"), kErrorBox);
        lib.form->Controls().IB_Property->trigger();
        QVERIFY(lib.boxes.verifyDone());
        QCOMPARE(lib.boxes.shown().back().owner.data(), lib.form.get());
        QCOMPARE(lib.titles(), QStringList({"Kept"}));
    }

    void twoSelectedRowsDoNothing()
    {
        Library lib;
        lib.image("IMG1.TMP", "A");
        lib.image("IMG2.TMP", "B");
        lib.open();
        lib.select({"A", "B"});
        QVERIFY(!lib.form->Controls().IB_Property->isEnabled());
        UnwantedDialog dialog;
        lib.form->IB_PropertyExecute();
        QTest::qWait(20);
        QVERIFY(!dialog.seen);
    }

    void languageFileCaption()
    {
        Library lib;
        std::string rsl = "[Strings]\r\n";
        for (int n = 1; n <= 67; ++n)
            rsl += std::to_string(n) + "=M" + std::to_string(n) + "\r\n";
        lib.dir.write("tessarine.rsl", rsl);
        lib.messages = MessageCatalogue::Load(lib.dir.file("tessarine"));
        lib.image("IMG1.TMP", "T");
        lib.open();
        lib.select({"T"});
        QString caption;
        WhenOpen<TProperty_Form>([&caption](TProperty_Form& d) { caption = d.windowTitle(); });
        lib.form->Controls().IB_Property->trigger();
        QCOMPARE(caption, QStringLiteral("M60"));
    }

    // The question reaches the user with its caption and icon; No leaves
    // files, list and selection alone, Yes deletes the selected files and
    // rescans. Files gone before the command and files that stay are the
    // commands' test.
    void deleteAsksThenRemovesTheSelectedFiles()
    {
        Library lib;
        lib.image("IMG1.TMP", "A");
        lib.image("IMG2.TMP", "B");
        lib.image("IMG3.TMP", "C");
        lib.open();
        lib.select({"A", "C"});
        // A file that appears now would show only after a rescan.
        lib.image("IMG4.TMP", "D");
        const QString question = U("選択したイメージファイルを削除しますか？");
        lib.boxes.expect(question, U("確認"), kQuestionBox, mb::IDNO);
        lib.form->Controls().IB_DeleteImage->trigger();
        QVERIFY(lib.boxes.verifyDone());
        QCOMPARE(lib.titles(), QStringList({"A", "B", "C"}));
        QCOMPARE(lib.form->Controls().LV1->SelectedCount(), 2);

        lib.boxes.expect(question, U("確認"), kQuestionBox, mb::IDYES);
        lib.form->Controls().IB_DeleteImage->trigger();
        QVERIFY(lib.boxes.verifyDone());
        QVERIFY(!std::filesystem::exists(lib.path("IMG1.TMP")));
        QVERIFY(!std::filesystem::exists(lib.path("IMG3.TMP")));
        QCOMPARE(lib.titles(), QStringList({"B", "D"}));
    }
};

QTEST_MAIN(TestImageCommands)
#include "test_image_commands.moc"
