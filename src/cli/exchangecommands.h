#pragma once
// The commands that meet the emulators and the preservation databases:
// hash, match, import and export, over the same core as the window.
#include <optional>
#include <string>
#include <vector>

#include "cli/clicommands.h"

namespace CLI {
class App;
}

struct ExchangeArgs {
    CLI::App* hash = nullptr;
    CLI::App* match = nullptr;
    CLI::App* import = nullptr;
    CLI::App* exportCommand = nullptr;
    std::vector<std::string> images;   // hash, export
    std::vector<std::string> matchArgs; // DAT… then IMAGE…
    std::vector<std::string> files;    // import
    GivenTexts importTexts;            // import: fields over those the files suggest
    std::string format;                // export: img, hdm, xdf, fdi, dim, d88
    std::string to;                    // export: target folder
    bool json = false;
};

// The options --title, --copyright, --author, --year, --machine and --os.
void AddTextOptions(CLI::App& command, GivenTexts& texts, bool titleRequired);
void AddExchangeCommands(CLI::App& app, ExchangeArgs& args);
// The exit status of the command given, none when it is none of these.
std::optional<int> RunExchangeCommand(CliContext& context, const ExchangeArgs& args);

int HashCommand(CliContext& context, const std::vector<std::string>& images, bool json);
// Arguments that name image files (by content) are images, the others dat
// files; without images the whole library is matched, without dat files
// those of the library's dats folder.
int MatchCommand(CliContext& context, const std::vector<std::string>& args, bool json);
// Each disk gets the fields its file suggests, the given ones over them,
// and records them in the histories as the property dialog's OK does.
int ImportCommand(CliContext& context, const std::vector<std::string>& files, const GivenTexts& texts = {});
int ExportCommand(CliContext& context, const std::vector<std::string>& images, const std::string& format,
                  const std::string& folder);
