// Program entry: the message catalogue, the settings store, the main window.
#include <exception>
#include <map>
#include <memory>
#include <string>

#include <QApplication>
#include <QTranslator>

#include "base/hostprocess.h"
#include "app/formhost.h"
#include "app/mainform.h"
#include "app/qttranslation.h"
#include "media/drive.h"
#include "media/drivetable.h"
#include "settings/about1.h"
#include "settings/messages.h"
#include "settings/msgbox.h"
#include "settings/regstore.h"

namespace {

const unsigned kErrorBoxFlags = mb::OK | mb::ICONERROR | mb::TASKMODAL | mb::SETFOREGROUND;

// The last resort of the top-level error handler: an error that escaped an
// event handler outside the window's own guard is shown, and the program
// carries on with the next event.
class TessarineApplication : public QApplication {
public:
    using QApplication::QApplication;

    bool notify(QObject* receiver, QEvent* event) override
    {
        try {
            return QApplication::notify(receiver, event);
        } catch (const std::exception& e) {
            ShowMessageBox(activeWindow(), QString::fromUtf8(e.what()), QStringLiteral("Tessarine"), kErrorBoxFlags);
            return false;
        }
    }
};

} // namespace

int main(int argc, char* argv[])
{
    PrepareHostProcess();
    TessarineApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Tessarine"));
    // The desktop matches the windows to the installed .desktop file by this
    // name; the icon, in every size the build embeds, is also the about box's.
    QGuiApplication::setDesktopFileName(QStringLiteral("org.example.tessarine"));
    QApplication::setWindowIcon(ProgramIcon());

    const std::string exePath = QCoreApplication::applicationFilePath().toStdString();
    // Built once, read by every window and command of this run.
    const MessageCatalogue messages = MessageCatalogue::Load(exePath);
    // Without a translation installed the standard buttons stay English.
    QTranslator qtTexts;
    InstallQtTranslation(qtTexts, QtTranslationLocale(messages.LanguageLoaded(), LanguageLocaleName(exePath)));

    RegStore store(MakeFileBackend(DefaultStorePath()));
    auto driveTable = [&store] { return BuildDriveTable(ExplicitDrives(store)); };
    BrokerWait* brokerWait = nullptr; // the window's, once it exists
    MainFormServices services{
        store,
        messages,
        ShowMessageBox,
        [driveTable, &brokerWait] { return MakeDriveAccess(driveTable(), brokerWait); },
        driveTable,
        exePath,
        {},
        {},
    };
    TMain_Form form(std::move(services));
    FormBrokerWait formWait(form);
    brokerWait = &formWait;
    form.show();
    return app.exec();
}
