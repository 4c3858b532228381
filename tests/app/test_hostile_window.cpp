// The main window over an image folder that works against it: odd names,
// special files named like images, headers written by other programs.
// Nothing stops the scan or shows a box; the rows keep their stored bytes.
#include "app/mainform.h"

#include <algorithm>
#include <cerrno>
#include <filesystem>
#include <memory>

#include <sys/stat.h>
#include <unistd.h>

#include <QtTest>

#include "library/imagefile.h"
#include "media/memory_drive.h"
#include "settings/messages.h"
#include "support/profiles.h"

namespace {

std::string HeaderText(const ImageTexts& texts)
{
    const HeaderBytes h = BuildHeader(texts, 1, 512, 1);
    return std::string(h.begin(), h.end()) + std::string(512, '\xF6');
}

const QString kReplacement = QString(QChar(0xFFFD));

constexpr unsigned kStyle = mb::TASKMODAL | mb::SETFOREGROUND;

QString Msg(int n, std::string_view arg = {})
{
    return QString::fromStdString(BuiltInMessages().Text(MessageId(n), arg));
}

QString SystemText(int error) { return QString::fromStdString(IoStatus::Fail(error).message()); }

} // namespace

class TestHostileWindow : public QObject {
    Q_OBJECT

    std::unique_ptr<WindowProfile> p_;

    // Writes a file into the image folder.
    void Put(const std::string& name, const std::string& bytes) const { p_->dir.write("Images/" + name, bytes); }
    std::string File(const std::string& name) const { return p_->folder + name; }

    std::unique_ptr<TMain_Form> MakeForm()
    {
        MainFormServices services = p_->services();
        services.drives = [] {
            auto drive = std::make_unique<MemoryDrive>();
            drive->media['A'] = MemoryDrive::PatternMedium(64);
            return std::unique_ptr<DriveAccess>(std::move(drive));
        };
        auto form = std::make_unique<TMain_Form>(std::move(services));
        form->SetImageFolder(p_->folder);
        form->SetSourceDrive("A");
        return form;
    }

    // The row whose stored file name is name.
    static int RowNamed(const TMain_Form& form, const std::string& name)
    {
        const std::vector<LibraryRow> rows = form.AllRows();
        const auto it = std::find_if(rows.begin(), rows.end(),
                                     [&](const LibraryRow& r) { return r[kFileNameColumn] == name; });
        return it == rows.end() ? -1 : static_cast<int>(it - rows.begin());
    }

    static void SelectOnly(TMain_Form& form, const std::string& name)
    {
        const int row = RowNamed(form, name);
        QVERIFY(row >= 0);
        form.Controls().LV1->clearSelection();
        form.Controls().LV1->SelectRow(row);
        form.UpdateSelectionCommands();
    }

private slots:
    void init() { p_ = std::make_unique<WindowProfile>(); }
    void cleanup() { p_.reset(); }

    void hostileFolderIsListedWithoutABoxAndRowsKeepTheirBytes()
    {
        // Title: a lone lead byte, an unassigned byte, control bytes inside.
        const std::string badTitle = "\x81" " bad\x01" "cp\xA0" "932";
        Put("\xFF\xFE-not-utf8\nline.img", HeaderText({badTitle, "", "", "", "\xFF", ""}));
        Put("-rf", HeaderText({"Dash", "", "", "", "A", ""}));
        Put("kana", HeaderText({"\x83\x51\x81\x5B\x83\x80", "", "", "", "\x82\xA0", ""}));
        HeaderBytes noNul = BuildHeader({}, 1, 512, 0);
        std::fill(noNul.begin() + 5, noNul.begin() + 244, 'N');
        Put("no-nul", std::string(noNul.begin(), noNul.end()));
        QCOMPARE(mkfifo(File("IMG0001.TMP").c_str(), 0644), 0);
        QCOMPARE(symlink("self", File("self").c_str()), 0);

        auto form = MakeForm();
        form->IB_ReloadExecute();
        QVERIFY(p_->boxes.shown().empty());
        QCOMPARE(form->Controls().LV1->RowCount(), 4);

        // Sorted by the machine's stored bytes: "A" < "NNNN" < 82 A0 < FF.
        const std::vector<LibraryRow> rows = form->AllRows();
        QCOMPARE(rows[0][kFileNameColumn], std::string("-rf"));
        QCOMPARE(rows[1][kFileNameColumn], std::string("no-nul"));
        QCOMPARE(rows[2][kFileNameColumn], std::string("kana"));
        QCOMPARE(rows[3][kFileNameColumn], std::string("\xFF\xFE-not-utf8\nline.img"));

        // Shown decoded, with U+FFFD for what is not code page 932; kept as stored.
        const QString bad = form->Controls().LV1->Text(3, 0);
        QVERIFY(bad.contains(kReplacement));
        QVERIFY(bad.contains(QStringLiteral("bad")));
        QCOMPARE(rows[3][kTitle], badTitle);
        QCOMPARE(form->Controls().LV1->Text(2, 0), QStringLiteral("ゲーム"));
        QCOMPARE(form->Controls().LV1->Text(1, 0), QString(30, 'N'));

        // Each row leads back to exactly its own file.
        for (const LibraryRow& row : rows) {
            HeaderBytes header;
            QVERIFY(ReadHeaderFile(form->ImagePathOf(row), header).ok());
            QCOMPARE(DecodeField(header, kTitle), row[kTitle]);
        }
        QCOMPARE(RowNamed(*form, "IMG0001.TMP"), -1);
    }

    // Files change behind the list between the scan and a command: one
    // becomes a FIFO, one loses its end. Each command turns them away with
    // its box, none waits for a writer, nothing is written.
    void imagesReplacedBehindTheListAreTurnedAwayWithoutBlocking()
    {
        const std::string image = HeaderText({"Image", "", "", "", "", ""});
        Put("pipe.img", image);
        Put("cut.img", image);
        auto form = MakeForm();
        form->show();
        QVERIFY(QTest::qWaitForWindowExposed(form.get()));
        form->IB_ReloadExecute();
        QCOMPARE(form->Controls().LV1->RowCount(), 2);

        QCOMPARE(::unlink(File("pipe.img").c_str()), 0);
        QCOMPARE(mkfifo(File("pipe.img").c_str(), 0644), 0);
        std::filesystem::resize_file(File("cut.img"), 100);

        // A command that waits on the FIFO ends the test here instead of hanging it.
        ::alarm(60);
        SelectOnly(*form, "pipe.img");
        p_->boxes.expect(Msg(40), Msg(3), mb::YESNO | mb::ICONQUESTION | kStyle, mb::IDYES);
        // The check before the first medium names the file and writes nothing.
        p_->boxes.expect(Msg(87, "\r\nImage (pipe.img): " + SystemText(ENOTSUP).toStdString()), Msg(5),
                       mb::OK | mb::ICONERROR | kStyle);
        form->IB_RestoreImageExecute();
        QVERIFY(p_->boxes.verifyDone());

        p_->boxes.expect(SystemText(ENOTSUP), Msg(5), mb::OK | mb::ICONERROR | kStyle);
        form->IB_PropertyExecute();
        QVERIFY(p_->boxes.verifyDone());

        SelectOnly(*form, "cut.img");
        p_->boxes.expect(SystemText(ENODATA), Msg(5), mb::OK | mb::ICONERROR | kStyle);
        form->IB_PropertyExecute();
        QVERIFY(p_->boxes.verifyDone());
        QCOMPARE(p_->dir.read("Images/cut.img"), image.substr(0, 100));

        // Deletion removes regular files only and names the one it left; the
        // rescan before that box lists neither.
        SelectOnly(*form, "pipe.img");
        p_->boxes.expect(Msg(46), Msg(3), mb::YESNO | mb::ICONQUESTION | kStyle, mb::IDYES);
        p_->boxes.expect(Msg(75, "\r\npipe.img: " + SystemText(ENOTSUP).toStdString()), Msg(3),
                       mb::OK | mb::ICONERROR | kStyle);
        form->IB_DeleteImageExecute();
        QVERIFY(p_->boxes.verifyDone());
        QVERIFY(std::filesystem::is_fifo(File("pipe.img")));
        QCOMPARE(form->Controls().LV1->RowCount(), 0);
        ::alarm(0);
    }
};

QTEST_MAIN(TestHostileWindow)
#include "test_hostile_window.moc"
