#pragma once
// The commands of the program, free of any window: each runs its steps over
// a CommandHost, so that the main window and the terminal tool show the same
// boxes in the same order with the same outcomes.
#include <functional>
#include <memory>
#include <map>
#include <string>
#include <utility>
#include <vector>

#include "command/commandhost.h"
#include "media/drive.h"
#include "settings/regstore.h"

// A fresh drive access for one command.
using DriveFactory = std::function<std::unique_ptr<DriveAccess>()>;

enum class CommandOutcome {
    Done,
    Failed,    // told in a box
    Cancelled, // Esc (Ctrl-C) during a transfer
    Declined,  // a question answered No / Cancel, or the dialog left without OK
    NoMedium,  // the no-medium question answered Cancel
};

struct CommandResult {
    CommandOutcome outcome = CommandOutcome::Done;
    // The last transfer's result, with the system's error when there was one.
    TransferResult transfer;
    // Creation: the new image file (kept only when Done).
    std::string path;
};

// F5: the no-medium wait, a new IMG….TMP file, the property dialog, the
// copy, the eject, one box for the outcome, the rescan on success. A file
// that is not complete is deleted with its map.
CommandResult CreateImageCommand(CommandHost& host, const DriveFactory& drives, const std::string& drive,
                                 const std::string& folder);

// F6: after one confirmation, every selected image in list order onto the
// medium in the drive, asking for the next medium in between. A drive that
// would reach one of the images, a file below protectedPaths (the image
// folder) or one of them (the settings file) is refused before anything is
// written; a mounted medium is unmounted first if the user says so.
CommandResult RestoreImagesCommand(CommandHost& host, const DriveFactory& drives, const std::string& drive,
                                   const std::vector<std::string>& protectedPaths = {});

// The one selected image's unreadable sectors, read again from the medium
// in the drive into the image: the no-medium wait, the re-read, the eject,
// one box for the outcome, the rescan (the map shrinks or goes).
CommandResult RereadImageCommand(CommandHost& host, const DriveFactory& drives, const std::string& drive);

struct DeleteResult {
    CommandOutcome outcome = CommandOutcome::Done;
    // Files that could not be deleted, with the system's reason.
    std::vector<std::pair<std::string, IoStatus>> failures;
    // Files left because another instance holds them (named in a box of their own).
    std::vector<std::string> held;
};

// Del: after one confirmation, the files of the selected entries, then the
// rescan, then one box naming every file that stayed (one already gone is
// not named). An image another instance holds (being created, restored or
// edited) stays and is named in a box of its own.
DeleteResult DeleteImagesCommand(CommandHost& host);

// IB_Reload: busy, text 48 painted, the list emptied and, when the folder
// can be listed, filled in listing order and sorted by the scan's two
// passes; on every way out idle again, the status cleared, one pump.
void ScanCommand(CommandHost& host, const std::string& folder);

// The configuration dialog's OK: the source drive and the image folder take
// the chosen values, are stored (Drive, then Dir), each binding of a letter
// to its device goes into the Devices key, and the folder is rescanned. A
// store failure propagates before the rescan.
void ApplyConfigurationCommand(CommandHost& host, RegStore& store, const std::string& drive,
                               const std::string& folder, std::string& sourceDrive, std::string& imageFolder,
                               const std::map<char, std::string>& bindings = {});

// The property command over the one selected entry: the fields read from
// its header, edited in the dialog and written back in place, then the rescan.
CommandResult EditPropertiesCommand(CommandHost& host);
