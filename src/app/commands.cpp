// The commands of the main window whose work lives in other units. Each has
// its own function here and nothing else, so that each can grow on its own.
#include "app/mainform.h"

#include "media/drivetable.h"
#include "settings/about1.h"
#include "settings/config.h"

// ---------------------------------------------------------------------------
// Image creation (F5)
// ---------------------------------------------------------------------------

void TMain_Form::IB_CreateImageExecute()
{
}

// ---------------------------------------------------------------------------
// Image restoration (F6)
// ---------------------------------------------------------------------------

void TMain_Form::IB_RestoreImageExecute()
{
}

// ---------------------------------------------------------------------------
// Image deletion (Del)
// ---------------------------------------------------------------------------

void TMain_Form::IB_DeleteImageExecute()
{
}

// ---------------------------------------------------------------------------
// Property editor
// ---------------------------------------------------------------------------

void TMain_Form::IB_PropertyExecute()
{
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
        services_.store,
        services_.messageBox,
        services_.driveTable,
        {},
        [this] { IB_ReloadExecute(); },
    };
    ExecuteConfigCommand(this, config, SourceDrive, ImageFolder, firstRun);
}

// ---------------------------------------------------------------------------
// About box
// ---------------------------------------------------------------------------

void TMain_Form::IB_AboutExecute()
{
    ShowAboutBox(this);
}
