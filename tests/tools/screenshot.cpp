// Builds the main window as the program does, on the settings of
// $XDG_CONFIG_HOME, and saves a picture of the screen around it:
//   tessarine_screenshot OUT.png [--menu | --info]
// --menu opens the File menu first; --info the information dialog of the
// first image. Meant for an X server such as Xvfb.
//   tessarine_screenshot --slow-drive
// runs the window until it is closed, with drive A a 1.44 MB medium in
// memory that is missing at the first look and reads slowly, so the busy
// state of a creation lasts long enough for pictures taken from outside.
#include <cstdio>
#include <cstring>
#include <memory>
#include <thread>

#include <QAction>
#include <QApplication>
#include <QMenu>
#include <QMenuBar>
#include <QScreen>
#include <QTimer>
#include <QTranslator>

#include "app/mainform.h"
#include "app/qttranslation.h"
#include "media/drive.h"
#include "media/memory_drive.h"
#include "settings/about1.h"
#include "settings/messages.h"
#include "settings/regstore.h"

int main(int argc, char* argv[])
{
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Tessarine"));
    QApplication::setWindowIcon(ProgramIcon());
    const std::string exePath = QCoreApplication::applicationFilePath().toStdString();
    const MessageCatalogue messages = MessageCatalogue::Load(exePath);
    // Standard buttons and file dialogs in the language of the texts, as the program has them.
    QTranslator qtTexts;
    InstallQtTranslation(qtTexts, QtTranslationLocale(messages.LanguageLoaded(), LanguageLocaleName(exePath)));
    if (argc < 2) {
        std::fprintf(stderr, "usage: %s OUT.png [--menu]\n", argv[0]);
        return 2;
    }
    if (std::strcmp(argv[1], "--slow-drive") == 0) {
        RegStore store(MakeFileBackend(DefaultStorePath()));
        MemoryDrive memory;
        memory.media['A'] = MemoryDrive::PatternMedium(2880);
        // The first look finds the drive empty, as before a disk goes in.
        memory.readyScript = {DriveState::NoMedium};
        // A track in a fifth of a second: about half a minute for the disk.
        memory.onSector = [](std::uint64_t) { std::this_thread::sleep_for(std::chrono::milliseconds(200)); };
        TMain_Form form(MainFormServices{store,
                                         messages,
                                         ShowMessageBox,
                                         [&memory] { return std::make_unique<SharedDrive>(memory); },
                                         [] {
                                             return std::vector<DriveEntry>{
                                                 {'A', "memory", DriveKind::Floppy, "A: memory"}};
                                         },
                                         exePath,
                                         {},
                                         {}});
        form.show();
        return app.exec();
    }
    const QString out = QString::fromLocal8Bit(argv[1]);
    const bool openMenu = argc > 2 && std::strcmp(argv[2], "--menu") == 0;
    const bool openInfo = argc > 2 && std::strcmp(argv[2], "--info") == 0;

    RegStore store(MakeFileBackend(DefaultStorePath()));
    TMain_Form form(MainFormServices{store,
                                     messages,
                                     ShowMessageBox,
                                     [] { return std::unique_ptr<DriveAccess>(); },
                                     [] { return std::vector<DriveEntry>{}; },
                                     exePath,
                                     {},
                                     {}});
    form.show();

    int status = 1;
    QTimer::singleShot(400, &form, [&] {
        if (openInfo && form.Controls().LV1->RowCount() > 0) {
            form.Controls().LV1->SelectRow(0);
            form.UpdateSelectionCommands();
            QTimer::singleShot(400, &form, [&] {
                QWidget* dialog = QApplication::activeModalWidget();
                if (dialog != nullptr) {
                    const QRect area = dialog->frameGeometry();
                    status = QGuiApplication::primaryScreen()
                                     ->grabWindow(0, area.x(), area.y(), area.width(), area.height())
                                     .save(out, "PNG")
                                 ? 0
                                 : 1;
                    dialog->close();
                }
                QApplication::quit();
            });
            form.IB_InfoExecute();
            return;
        }
        if (form.Controls().LV1->RowCount() > 1)
            form.Controls().LV1->setCurrentIndex(form.Controls().LV1->model()->index(1, 0));
        if (openMenu)
            form.menuBar()->setActiveAction(form.Controls().FileMenu->menuAction());
        QTimer::singleShot(400, &form, [&] {
            QRect area = form.frameGeometry();
            if (openMenu)
                area = area.united(form.Controls().FileMenu->geometry());
            const QPixmap shot = QGuiApplication::primaryScreen()->grabWindow(0, area.x(), area.y(), area.width(),
                                                                              area.height());
            status = shot.save(out, "PNG") ? 0 : 1;
            form.Controls().FileMenu->close();
            QApplication::quit();
        });
    });
    app.exec();
    return status;
}
