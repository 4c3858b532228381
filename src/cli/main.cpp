// tessarine-cli: the library, the drives and the transfers from a shell,
// over the same settings store, message catalogue and core as the window.
#include <exception>
#include <filesystem>
#include <map>
#include <string>

#include <CLI/CLI.hpp>

#include "cli/clicommands.h"
#include "cli/console.h"
#include "cli/exchangecommands.h"
#include "cli/terminal.h"
#include "library/imagefile.h"
#include "media/drivetable.h"
#include "settings/messages.h"
#include "settings/regstore.h"

namespace {

// The window's language file lies beside its executable, and so does this
// program: both read the same tessarine.rsl.
std::string WindowExecutablePath()
{
    const std::string self = RunningExecutable();
    if (self.empty())
        return "tessarine";
    return (std::filesystem::path(self).parent_path() / "tessarine").string();
}

const auto kDriveLetter = CLI::Validator(
    [](std::string& value) -> std::string {
        if (value.size() == 1 && std::isalpha(static_cast<unsigned char>(value[0])))
            return {};
        return "a drive letter A to Z";
    },
    "LETTER");

} // namespace

int main(int argc, char* argv[])
{
    InstallCancelSignals();
    // Built once, read by every command of this run.
    const MessageCatalogue messages = MessageCatalogue::Load(WindowExecutablePath());

    CLI::App app{"Keeps a library of raw disk images: lists, inspects, creates, restores, edits and deletes them, "
                 "hashes and matches them against dat files, imports and exports emulator formats.",
                 "tessarine-cli"};
    app.set_version_flag("--version", "tessarine-cli " TESSARINE_VERSION);
    app.require_subcommand(1);
    // --yes and --folder may also follow the command.
    app.fallthrough();
    std::string folder;
    bool assumeYes = false;
    app.add_option("--folder", folder, "image folder for this run (default: the stored one)");
    app.add_flag("-y,--yes", assumeYes, "answer every confirmation with Yes / OK");

    CLI::App* list = app.add_subcommand("list", "the library, in the window's order");
    bool listJson = false, listTsv = false;
    auto* jsonFlag = list->add_flag("--json", listJson, "as a JSON array");
    list->add_flag("--tsv", listTsv, "as tab-separated values")->excludes(jsonFlag);

    CLI::App* info = app.add_subcommand("info", "the header, figures and length of one image");
    std::string infoImage;
    bool infoJson = false;
    info->add_option("IMAGE", infoImage, "file name in the image folder, or a path")->required();
    info->add_flag("--json", infoJson, "as a JSON object");

    CLI::App* drivesCommand = app.add_subcommand("drives", "the drive letters, their devices and media");
    bool drivesJson = false;
    drivesCommand->add_flag("--json", drivesJson, "as a JSON array");

    std::string drive;
    CLI::App* create = app.add_subcommand("create", "reads the medium in the drive into a new image file");
    GivenTexts createTexts;
    create->add_option("--drive", drive, "source drive (default: the stored one)")->check(kDriveLetter);
    AddTextOptions(*create, createTexts, true);

    CLI::App* restore = app.add_subcommand("restore", "writes images onto media, one medium each, in the order given");
    std::vector<std::string> restoreImages;
    restore->add_option("--drive", drive, "target drive (default: the stored source drive)")->check(kDriveLetter);
    restore->add_option("IMAGE", restoreImages, "file names in the image folder, or paths")->required();

    CLI::App* reread = app.add_subcommand("reread", "reads an image's unreadable sectors again from the medium in the drive");
    std::string rereadImage;
    reread->add_option("--drive", drive, "source drive (default: the stored one)")->check(kDriveLetter);
    reread->add_option("IMAGE", rereadImage, "file name in the image folder, or a path")->required();

    CLI::App* remove = app.add_subcommand("delete", "deletes image files");
    std::vector<std::string> deleteImages;
    remove->add_option("IMAGE", deleteImages, "file names in the image folder, or paths")->required();

    CLI::App* edit = app.add_subcommand("edit", "changes the descriptive fields of an image");
    std::string editImage;
    GivenTexts editTexts;
    edit->add_option("IMAGE", editImage, "file name in the image folder, or a path")->required();
    AddTextOptions(*edit, editTexts, false);

    ExchangeArgs exchange;
    AddExchangeCommands(app, exchange);

    try {
        app.parse(argc, argv);
    } catch (const CLI::ParseError& e) {
        const int code = app.exit(e);
        return code == 0 ? kExitDone : kExitUsage;
    }

    Terminal terminal(messages, assumeYes);
    try {
        RegStore store(MakeFileBackend(DefaultStorePath()));
        auto driveTable = [&store] { return BuildDriveTable(ExplicitDrives(store)); };
        TerminalBrokerWait brokerWait(terminal);
        CliContext context{store,      terminal,
                           driveTable, [driveTable, &brokerWait] { return MakeDriveAccess(driveTable(), &brokerWait); },
                           folder,     drive};
        if (list->parsed())
            return ListCommand(context, listJson ? ListFormat::Json : listTsv ? ListFormat::Tsv : ListFormat::Table);
        if (info->parsed())
            return InfoCommand(context, infoImage, infoJson);
        if (drivesCommand->parsed())
            return DrivesCommand(context, drivesJson);
        if (create->parsed())
            return CreateCommand(context, createTexts);
        if (restore->parsed())
            return RestoreCommand(context, restoreImages);
        if (reread->parsed())
            return RereadCommand(context, rereadImage);
        if (remove->parsed())
            return DeleteCommand(context, deleteImages);
        if (edit->parsed())
            return EditCommand(context, editImage, editTexts);
        if (const std::optional<int> status = RunExchangeCommand(context, exchange))
            return *status;
    } catch (const std::exception& e) {
        // The settings store's own text, or another error no command handles.
        terminal.Box(e.what(), box::OK | box::ICONERROR);
        return kExitFailed;
    }
    return kExitUsage;
}
