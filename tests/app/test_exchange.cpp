// Import through the main window: a file of no known format, or a broken
// one, gives one error box and leaves the image folder as it was.
#include <QtTest>

#include <dirent.h>

#include "app/mainform.h"
#include "settings/messages.h"
#include "support/profiles.h"

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
};

QTEST_MAIN(TestExchange)
#include "test_exchange.moc"
