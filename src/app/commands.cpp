// The commands of the main window whose work lives in other units. Each has
// its own function here and nothing else, so that each can grow on its own.
#include "app/mainform.h"

#include "app/formhost.h"
#include "command/commands.h"
#include "settings/about1.h"
#include "settings/config.h"

// ---------------------------------------------------------------------------
// Image creation (F5), restoration (F6), deletion (Del), property editor:
// the commands run over the window as their host.
// ---------------------------------------------------------------------------

void TMain_Form::IB_CreateImageExecute()
{
    FormCommandHost host(*this);
    CreateImageCommand(host, services_.drives, SourceDrive, ImageFolder);
}

void TMain_Form::IB_RestoreImageExecute()
{
    FormCommandHost host(*this);
    RestoreImagesCommand(host, services_.drives, SourceDrive, {ImageFolder, DefaultStorePath()});
}

void TMain_Form::IB_RereadImageExecute()
{
    // Not in AL1: the busy state disables it only through the selection.
    if (IsBusy() || !IB_RereadImage->isEnabled())
        return;
    FormCommandHost host(*this);
    RereadImageCommand(host, services_.drives, SourceDrive);
}

void TMain_Form::IB_DeleteImageExecute()
{
    FormCommandHost host(*this);
    DeleteImagesCommand(host);
}

void TMain_Form::IB_PropertyExecute()
{
    FormCommandHost host(*this);
    EditPropertiesCommand(host);
}

// ---------------------------------------------------------------------------
// Configuration dialog (firstRun: the start-up form)
// ---------------------------------------------------------------------------

void TMain_Form::RunConfigCommand(bool firstRun)
{
    if (services_.configCommand) {
        services_.configCommand(*this, firstRun);
        return;
    }
    ConfigCommandServices config{
        services_.messages,
        services_.messageBox,
        services_.driveTable,
        {},
        [this](const std::string& drive, const std::string& folder, const std::map<char, std::string>& bindings) {
            FormCommandHost host(*this);
            ApplyConfigurationCommand(host, services_.store, drive, folder, SourceDrive, ImageFolder, bindings);
        },
    };
    ExecuteConfigCommand(this, config, SourceDrive, ImageFolder, firstRun);
}

// ---------------------------------------------------------------------------
// About box
// ---------------------------------------------------------------------------

void TMain_Form::IB_AboutExecute()
{
    ShowAboutBox(this, services_.messages);
}
