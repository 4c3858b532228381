#pragma once
// The commands of the command-line tool over the same core, settings store
// and message table as the window. Each returns the exit status.
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "library/imagefile.h"
#include "media/drive.h"
#include "media/drivetable.h"

class RegStore;
class Terminal;

inline constexpr int kExitDone = 0;
inline constexpr int kExitFailed = 1;
inline constexpr int kExitUsage = 2;
inline constexpr int kExitCancelled = 3;

enum class ListFormat { Table, Json, Tsv };

struct CliContext {
    RegStore& store;
    Terminal& terminal;
    // The drives the settings name (explicit entries, then detected ones).
    std::function<std::vector<DriveEntry>()> driveTable;
    // A fresh drive access for one command.
    std::function<std::unique_ptr<DriveAccess>()> drives;
    std::string folderOverride; // --folder; empty: the stored image folder
    std::string driveOverride;  // --drive; empty: the stored source drive

    // The stored settings as the window reads them.
    std::string ImageFolder() const;
    std::string SourceDrive() const;
};

// A name without a "/" is a file in the image folder, as `list` shows it;
// anything else is a path.
std::string ResolveImage(const CliContext& context, const std::string& image);

int ListCommand(CliContext& context, ListFormat format);
int InfoCommand(CliContext& context, const std::string& image, bool json);
int DrivesCommand(CliContext& context, bool json);

// Descriptive texts given on the command line (UTF-8); a field not given
// stays as it is (edit) or empty (create).
using GivenTexts = std::array<std::optional<std::string>, kFieldCount>;

// texts with every given field replaced by its code page 932 bytes; false
// (with the box shown) when a given text cannot be stored or the title ends
// up empty.
bool ApplyGivenTexts(Terminal& terminal, const GivenTexts& given, ImageTexts& texts);
// What the property dialog does on OK: every non-empty field goes to the
// top of its history, and all six histories are written back.
void RecordHistories(RegStore& store, const ImageTexts& texts);

int CreateCommand(CliContext& context, const GivenTexts& texts);
int RestoreCommand(CliContext& context, const std::vector<std::string>& images);
// Exit status 1 also when sectors stay unreadable.
int RereadCommand(CliContext& context, const std::string& image);
int DeleteCommand(CliContext& context, const std::vector<std::string>& images);
int EditCommand(CliContext& context, const std::string& image, const GivenTexts& texts);
