// Import through the main window: a file of no known format, or a broken
// one, gives one error box and leaves the image folder as it was.
#include <QtTest>

#include <dirent.h>

#include "app/infoform.h"
#include "app/mainform.h"
#include "library/imagefile.h"
#include "settings/messages.h"
#include "support/profiles.h"
#include "support/when_open.h"

namespace {

int FilesIn(const std::string& folder)
{
    int n = 0;
    if (DIR* d = opendir(folder.c_str())) {
        while (dirent* e = readdir(d))
            n += e->d_name[0] != '.';
        closedir(d);
    }
    return n;
}

} // namespace

class TestExchange : public QObject {
    Q_OBJECT
private slots:
    void brokenFilesGiveOneBoxEachAndWriteNothing()
    {
        WindowProfile p;
        InitMessages(p.dir.file("tessarine"));
        p.configured();
        p.dir.write("notes.txt", "hello");
        std::string d88(0x100, '\0');
        p.dir.write("cut.d88", d88);
        const unsigned error = mb::OK | mb::ICONERROR | mb::TASKMODAL | mb::SETFOREGROUND;
        p.boxes.expect(QString::fromStdString(MessageText(96, p.dir.file("notes.txt") +
                                                                  ": not a disk image format this program knows")),
                       QString::fromStdString(MessageText(5)), error);
        p.boxes.expect(QString::fromStdString(MessageText(96, p.dir.file("cut.d88") +
                                                                  ": disk 1: the D88 header is cut off (256 of 688 bytes)")),
                       QString::fromStdString(MessageText(5)), error);
        TMain_Form form(p.services());
        form.ImageFolder = p.folder;
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
        InitMessages(p.dir.file("tessarine"));
        p.configured();
        ImageTexts texts;
        texts[kTitle] = "INFO";
        const HeaderBytes header = BuildHeader(texts, 1, 512, 1440);
        // 100 bytes short of the 737,280 the header promises; all zeros otherwise.
        p.dir.write("Images/IMG0001.TMP", std::string(header.begin(), header.end()) + std::string(737180, '\0'));
        p.dir.write("Images/IMG0001.TMP.map", "0 +\n0x0 0x400 +\n0x400 0x400 -\n");
        std::filesystem::create_directories(p.dir.file("dats"));
        p.dir.write("dats/zero.dat", "<datafile><game name=\"Blank\"><rom name=\"blank.img\" size=\"737180\" "
                                     "crc=\"00000000\"/></game></datafile>");
        TMain_Form form(p.services());
        form.ImageFolder = p.folder;
        form.show();
        form.IB_ReloadExecute();
        form.LV1->SelectRow(0);
        form.UpdateSelectionCommands();
        QVERIFY(form.IB_Info->isEnabled());
        QMap<QString, QString> shown;
        WhenOpen<TInfo_Form>([&](TInfo_Form& dialog) {
            for (const char* label : {"CRC32", "SHA-1", "dat"})
                shown[label] = dialog.Value(label);
            for (int n : {104, 105, 121, 122})
                shown[QString::number(n)] = dialog.Value(QString::fromStdString(MessageText(n)));
            dialog.accept();
        });
        form.IB_InfoExecute();
        QCOMPARE(shown["104"], QString("1,440"));
        QVERIFY(shown["121"].startsWith("2DD 720KB (80 x 2 x 9 x 512)"));
        QVERIFY2(shown["105"].contains(QString::fromStdString(MessageText(107, "100"))), qPrintable(shown["105"]));
        QCOMPARE(shown["122"], QString("2: 2, 3"));
        // zlib's CRC32 of 737,180 zero bytes is not 0: same size, other content.
        QCOMPARE(shown["SHA-1"].size(), 40);
        QVERIFY(shown["CRC32"] != "00000000");
        QCOMPARE(shown["dat"], QString::fromStdString(MessageText(124, "Blank / blank.img")));
        QVERIFY(p.boxes.verifyDone());
    }
};

QTEST_MAIN(TestExchange)
#include "test_exchange.moc"
