#pragma once
// Settings and image folders for window tests, each in a fresh temporary
// folder that goes with the object.
#include <memory>
#include <string>
#include <vector>

#include <QStringList>

#include "app/mainform.h"
#include "library/imagefile.h"
#include "library/prop.h"
#include "media/drive.h"
#include "settings/regstore.h"
#include "support/messages.h"
#include "support/scripted_boxes.h"
#include "support/tempdir.h"

// A settings store of its own.
struct StoreProfile {
    TempDir dir;
    RegStore store{MakeFileBackend(dir.file("Tessarine.reg"))};
};

// A store, an image folder (dir/Images/), the texts and scripted message
// boxes: what a main window needs.
struct WindowProfile : StoreProfile {
    std::string folder = dir.path() + "/Images/";
    ScriptedBoxes boxes;
    // The built-in texts; a test with a language file loads it here before
    // the window is made.
    MessageCatalogue messages = BuiltInMessages();

    WindowProfile();

    // Drive and Dir stored, as the first-run dialog leaves them.
    void configured(const std::string& drive = "A");

    // The window's collaborators: no drives, an empty drive table, an
    // executable in dir, help and configuration commands that do nothing.
    // Tests replace the ones they watch.
    MainFormServices services();

    // The names in the image folder, sorted.
    std::vector<std::string> files() const;
};

// A main window over services, shown; a window that does not show fails the
// running test.
std::unique_ptr<TMain_Form> ShowMainForm(MainFormServices services);

// The property dialog over store with texts filled in, shown and active;
// a dialog that does not show fails the running test.
std::unique_ptr<TProperty_Form> OpenPropertyDialog(RegStore& store, ScriptedBoxes& boxes, const ImageTexts& texts = {},
                                                   const MessageCatalogue& messages = BuiltInMessages());

// The texts of one list column, top row first.
QStringList ColumnTexts(const TMain_Form& form, int column);
