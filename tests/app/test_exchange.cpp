// Import and export through the main window: dropped files through the
// property dialog, a file of no known format or a broken one giving one
// error box and leaving the image folder as it was, and the export dialogs.
#include <QComboBox>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFileDialog>
#include <QInputDialog>
#include <QMimeData>
#include <QPushButton>
#include <QUrl>
#include <QtTest>

#include <filesystem>
#include <fstream>
#include <iterator>

#include "app/infoform.h"
#include "app/mainform.h"
#include "library/history.h"
#include "library/imagefile.h"
#include "settings/messages.h"
#include "support/profiles.h"
#include "support/shell.h"
#include "support/when_open.h"

namespace {

std::string ReadFileText(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// Images/IMG0001.TMP: a 720 KB header titled title, then data, and its map.
void WriteImage(WindowProfile& p, const std::string& title, const std::string& data, const std::string& map)
{
    ImageTexts texts;
    texts[kTitle] = title;
    const HeaderBytes header = BuildHeader(texts, 1, 512, 1440);
    p.dir.write("Images/IMG0001.TMP", std::string(header.begin(), header.end()) + data);
    p.dir.write("Images/IMG0001.TMP.map", map);
}

} // namespace

class TestExchange : public QObject {
    Q_OBJECT
private slots:
    void brokenFilesGiveOneBoxEachAndWriteNothing()
    {
        WindowProfile p;
        p.configured();
        p.dir.write("notes.txt", "hello");
        std::string d88(0x100, '\0');
        p.dir.write("cut.d88", d88);
        const unsigned error = mb::OK | mb::ICONERROR | mb::TASKMODAL | mb::SETFOREGROUND;
        p.boxes.expect(
            QString::fromStdString(p.messages.Text(
                MessageId::ImportFailed, p.dir.file("notes.txt") + ": " + p.messages.Text(MessageId::UnknownFormat))),
            QString::fromStdString(p.messages.Text(MessageId::CaptionError)), error);
        p.boxes.expect(QString::fromStdString(p.messages.Text(
                           MessageId::ImportFailed,
                           p.dir.file("cut.d88") + ": " + p.messages.Text(MessageId::DamagedFile, "D88") +
                               " (disk 1: the D88 header is cut off (256 of 688 bytes))")),
                       QString::fromStdString(p.messages.Text(MessageId::CaptionError)), error);
        TMain_Form form(p.services());
        form.SetImageFolder(p.folder);
        form.ImportFiles({p.dir.file("notes.txt"), p.dir.file("cut.d88")});
        QVERIFY(p.boxes.verifyDone());
        QCOMPARE(p.boxes.shown().size(), std::size_t{2});
        QCOMPARE(FilesIn(p.folder), 0);
    }
    // The information dialog of the selected image: figures, geometry, a
    // missing tail, the map's sectors, hashes and the dats beside the folder.
    void infoDialogShowsTheReportAndTheDatMatch()
    {
        WindowProfile p;
        p.configured();
        // 100 bytes short of the 737,280 the header promises; all zeros otherwise.
        WriteImage(p, "INFO", std::string(737180, '\0'), "0 +\n0x0 0x400 +\n0x400 0x400 -\n");
        std::filesystem::create_directories(p.dir.file("dats"));
        p.dir.write("dats/zero.dat", "<datafile><game name=\"Blank\"><rom name=\"blank.img\" size=\"737180\" "
                                     "crc=\"00000000\"/></game></datafile>");
        TMain_Form form(p.services());
        form.SetImageFolder(p.folder);
        form.show();
        form.IB_ReloadExecute();
        form.Controls().LV1->SelectRow(0);
        form.UpdateSelectionCommands();
        QVERIFY(form.Controls().IB_Info->isEnabled());
        QMap<QString, QString> shown;
        WhenOpen<TInfo_Form>([&](TInfo_Form& dialog) {
            for (const char* label : {"CRC32", "SHA-1", "dat"})
                shown[label] = dialog.Value(label);
            for (int n : {104, 105, 121, 122})
                shown[QString::number(n)] = dialog.Value(QString::fromStdString(p.messages.Text(n)));
            dialog.accept();
        });
        form.IB_InfoExecute();
        QCOMPARE(shown["104"], QString("1,440"));
        QVERIFY(shown["121"].startsWith("2DD 720KB (80 x 2 x 9 x 512)"));
        QVERIFY2(shown["105"].contains(QString::fromStdString(p.messages.Text(MessageId::ImageShort, "100"))),
                 qPrintable(shown["105"]));
        QCOMPARE(shown["122"], QString("2: 2, 3"));
        // zlib's CRC32 of 737,180 zero bytes is not 0: same size, other content.
        QCOMPARE(shown["SHA-1"].size(), 40);
        QVERIFY(shown["CRC32"] != "00000000");
        QCOMPARE(shown["dat"],
                 QString::fromStdString(p.messages.Text(MessageId::SameSizeDifferent, "Blank / blank.img")));
        QVERIFY(p.boxes.verifyDone());
    }

    // Files dropped on the window: the property dialog with the import
    // caption and the fields the TOSEC-style name gives, OK makes the image
    // and records the histories, Cancel makes nothing.
    void droppedFilesBecomeImagesThroughThePropertyDialog()
    {
        WindowProfile p;
        p.configured();
        std::string data(1'261'568, '\0');
        for (std::size_t i = 0; i < data.size(); ++i)
            data[i] = static_cast<char>(i * 31 + i / 1024);
        const std::string file = p.dir.file("Foo (1992)(Maker)(PC-98)(Disk 1 of 2).hdm");
        p.dir.write("Foo (1992)(Maker)(PC-98)(Disk 1 of 2).hdm", data);
        const auto shown = ShowMainForm(p.services());
        TMain_Form& form = *shown;

        auto drop = [&] {
            QMimeData mime;
            mime.setUrls({QUrl::fromLocalFile(QString::fromStdString(file))});
            QDragEnterEvent enter(QPoint(10, 10), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
            QCoreApplication::sendEvent(&form, &enter);
            QVERIFY(enter.isAccepted());
            QDropEvent dropped(QPointF(10, 10), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
            QCoreApplication::sendEvent(&form, &dropped);
        };
        QStringList fields;
        QString caption;
        WhenOpen<TProperty_Form>([&](TProperty_Form& dialog) {
            caption = dialog.windowTitle();
            for (int f = 0; f < kFieldCount; ++f)
                fields << dialog.Edit(f)->currentText();
            dialog.Edit3->setEditText(QStringLiteral("Me"));
            dialog.OK_Btn->click();
        });
        drop();
        QCOMPARE(caption, QString::fromStdString(p.messages.Text(MessageId::ImportTitle)));
        QCOMPARE(fields, (QStringList{"Foo (Disk 1 of 2)", "Maker", "", "1992", "PC-98", ""}));
        QCOMPARE(FilesIn(p.folder), 1);
        QCOMPARE(ColumnTexts(form, 0), QStringList{"Foo (Disk 1 of 2)"});
        QCOMPARE(ColumnTexts(form, 2), QStringList{"Me"});
        const std::string made = p.folder + ColumnTexts(form, 6).value(0).toStdString();
        QVERIFY(ReadFileText(made).substr(kImageHeaderSize) == data);
        QCOMPARE(LoadHistory(p.store, kAuthor), HistoryList{"Me"});
        QCOMPARE(LoadHistory(p.store, kTargetMachine), HistoryList{"PC-98"});

        WhenOpen<TProperty_Form>([](TProperty_Form& dialog) { dialog.Cancel_Btn->click(); });
        drop();
        QCOMPARE(FilesIn(p.folder), 1);
        QVERIFY(p.boxes.verifyDone());
    }

    // Export of the selected image: the format, then the folder, then one
    // box saying how many files were written; the D88 marks the mapped sector.
    void exportWritesTheChosenFormatIntoTheChosenFolder()
    {
        WindowProfile p;
        p.configured();
        WriteImage(p, "OUT", std::string(737280, 'x'), "0 +\n0x0 0x400 +\n0x400 0x200 -\n0x600 0xB3A00 +\n");
        const std::string out = p.dir.file("out");
        std::filesystem::create_directories(out);
        p.boxes.expect(QString::fromStdString(p.messages.Text(MessageId::Exported, "1")),
                       QString::fromStdString(p.messages.Text(MessageId::CaptionConfirm)),
                       mb::OK | mb::ICONINFORMATION | mb::TASKMODAL | mb::SETFOREGROUND);
        const auto shown = ShowMainForm(p.services());
        TMain_Form& form = *shown;
        form.Controls().LV1->SelectRow(0);
        form.UpdateSelectionCommands();
        QVERIFY(form.Controls().IB_ExportImage->isEnabled());
        WhenOpen<QInputDialog>([&](QInputDialog& format) {
            WhenOpen<QFileDialog>([&](QFileDialog& folder) {
                folder.setDirectory(QString::fromStdString(out));
                static_cast<QDialog&>(folder).accept(); // QFileDialog keeps it protected
            });
            format.setTextValue(QStringLiteral("D88 (.d88)"));
            format.accept();
        });
        form.IB_ExportImageExecute();
        QVERIFY(p.boxes.verifyDone());
        const std::string d88 = ReadFileText(out + "/OUT.d88");
        QCOMPARE(d88.size(), std::size_t{0x2B0 + 1440 * (16 + 512)});
        // Sector 2 (R = 3 of track 0) alone carries the data CRC error.
        for (int r = 1; r <= 9; ++r)
            QCOMPARE(static_cast<std::uint8_t>(d88[0x2B0 + static_cast<std::size_t>(r - 1) * (16 + 512) + 8]),
                     std::uint8_t(r == 3 ? 0xB0 : 0x00));
    }
};

QTEST_MAIN(TestExchange)
#include "test_exchange.moc"
