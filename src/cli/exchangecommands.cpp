#include "cli/exchangecommands.h"

#include <algorithm>
#include <cerrno>
#include <filesystem>

#include <CLI/CLI.hpp>
#include <nlohmann/json.hpp>

#include "cli/console.h"
#include "cli/output.h"
#include "cli/terminal.h"
#include "base/cp932.h"
#include "base/textconv.h"
#include "library/imageexchange.h"
#include "library/imagereport.h"
#include "library/scan.h"
#include "settings/messages.h"

namespace {

using nlohmann::ordered_json;

std::string Dumped(const ordered_json& json)
{
    return json.dump(2, ' ', false, ordered_json::error_handler_t::replace) + "\n";
}

// The images named, or every image of the library in file-name order.
std::vector<std::pair<std::string, std::string>> NamedImages(const CliContext& context,
                                                             const std::vector<std::string>& images)
{
    std::vector<std::pair<std::string, std::string>> named; // as given, path
    if (!images.empty()) {
        for (const std::string& image : images)
            named.emplace_back(image, ResolveImage(context, image));
        return named;
    }
    const std::string folder = context.ImageFolder();
    for (const LibraryRow& row : ScanImageFolder(folder))
        named.emplace_back(row[kFileNameColumn], ImagePath(folder, row[kFileNameColumn]));
    std::sort(named.begin(), named.end());
    return named;
}

bool IsImageFile(const std::string& path)
{
    HeaderBytes header{};
    return ReadHeaderFile(path, header).ok() && IsImageHeader(header.data(), header.size());
}

// The report of one image; false with the box shown when it cannot be read.
bool Report(Terminal& terminal, const std::string& path, ImageReport& report)
{
    const ConvertResult r = ReadImageReport(path, report);
    if (r.ok())
        return true;
    terminal.Box(r.problem ? r.text(terminal.Messages())
                           : path + ": " +
                                 (r.io.error == ENOENT ? terminal.Messages().Text(MessageId::ImageMissing)
                                                       : r.io.message()),
                 box::OK | box::ICONERROR);
    return false;
}

ordered_json ReportJson(const std::string& name, const ImageReport& report)
{
    ordered_json entry;
    entry["file"] = name;
    entry["path"] = report.path;
    entry["size"] = report.hashes.size;
    entry["crc32"] = report.hashes.crc32;
    entry["md5"] = report.hashes.md5;
    entry["sha1"] = report.hashes.sha1;
    entry["geometry"] = report.geometry != nullptr ? ordered_json(std::string(report.geometry->name)) : ordered_json();
    entry["complete"] = report.complete();
    if (report.map.ok())
        entry["unreadable"] = report.unreadable;
    return entry;
}

const char* MatchKey(MatchKind kind)
{
    switch (kind) {
    case MatchKind::Matched: return "matched";
    case MatchKind::SizeOnly: return "different";
    default: return "unknown";
    }
}

} // namespace

// The options for the six descriptive fields, shared by create, edit and import.
void AddTextOptions(CLI::App& command, GivenTexts& texts, bool titleRequired)
{
    static const char* const names[kFieldCount] = {"--title", "--copyright", "--author", "--year", "--machine", "--os"};
    static const char* const help[kFieldCount] = {"title (at most 30 bytes in code page 932)", "copyright holder",
                                                  "author", "year (at most 4 bytes)", "target machine", "target OS"};
    for (int f = 0; f < kFieldCount; ++f) {
        auto& text = texts[static_cast<std::size_t>(f)];
        CLI::Option* option = command.add_option_function<std::string>(
            names[f], [&text](const std::string& value) { text = value; }, help[f]);
        if (f == kTitle && titleRequired)
            option->required();
    }
}

void AddExchangeCommands(CLI::App& app, ExchangeArgs& args)
{
    args.hash = app.add_subcommand("hash", "CRC32, MD5 and SHA-1 of the sector data of images");
    args.hash->add_option("IMAGE", args.images, "file names in the image folder, or paths (default: the library)");
    args.hash->add_flag("--json", args.json, "as a JSON array");

    args.match = app.add_subcommand("match", "matches images against Logiqx XML dat files");
    args.match->add_option("DAT_AND_IMAGE", args.matchArgs,
                           "dat files (default: the dats folder beside the image folder), then images (default: the "
                           "library)");
    args.match->add_flag("--json", args.json, "as a JSON array");

    args.import = app.add_subcommand("import", "makes new images of raw, FDI, DIM and D88 files");
    args.import->add_option("FILE", args.files, "files to import")->required();
    AddTextOptions(*args.import, args.importTexts, false);

    args.exportCommand = app.add_subcommand("export", "writes images in an emulator format");
    args.exportCommand->add_option("IMAGE", args.images, "file names in the image folder, or paths")->required();
    args.exportCommand->add_option("--format", args.format, "img, hdm, xdf, fdi, dim or d88")
        ->required()
        ->check(CLI::IsMember({"img", "hdm", "xdf", "fdi", "dim", "d88"}));
    args.exportCommand->add_option("--to", args.to, "target folder")->required();
}

std::optional<int> RunExchangeCommand(CliContext& context, const ExchangeArgs& args)
{
    if (args.hash != nullptr && args.hash->parsed())
        return HashCommand(context, args.images, args.json);
    if (args.match != nullptr && args.match->parsed())
        return MatchCommand(context, args.matchArgs, args.json);
    if (args.import != nullptr && args.import->parsed())
        return ImportCommand(context, args.files, args.importTexts);
    if (args.exportCommand != nullptr && args.exportCommand->parsed())
        return ExportCommand(context, args.images, args.format, args.to);
    return std::nullopt;
}

int HashCommand(CliContext& context, const std::vector<std::string>& images, bool json)
{
    int status = kExitDone;
    ordered_json list = ordered_json::array();
    std::string text;
    for (const auto& [name, path] : NamedImages(context, images)) {
        ImageReport report;
        if (!Report(context.terminal, path, report)) {
            status = kExitFailed;
            continue;
        }
        if (json)
            list.push_back(ReportJson(name, report));
        else
            text += report.hashes.crc32 + "  " + report.hashes.md5 + "  " + report.hashes.sha1 + "  " + name + "\n";
    }
    WriteText(Stream::Out, json ? Dumped(list) : text);
    return status;
}

int MatchCommand(CliContext& context, const std::vector<std::string>& args, bool json)
{
    Terminal& terminal = context.terminal;
    std::vector<DatFile> dats;
    std::vector<std::string> images;
    for (const std::string& arg : args) {
        if (IsImageFile(ResolveImage(context, arg))) {
            images.push_back(arg);
            continue;
        }
        DatFile dat;
        if (std::string error = LoadDatFile(arg, dat); !error.empty()) {
            terminal.Box(error, box::OK | box::ICONERROR);
            return kExitFailed;
        }
        dats.push_back(std::move(dat));
    }
    if (dats.empty()) {
        // As the information dialog: the dats kept beside the library.
        const std::string folder = DatFolderFor(context.ImageFolder());
        const std::vector<std::string> errors = LoadDatFolder(folder, dats);
        for (const std::string& error : errors)
            terminal.Box(error, box::OK | box::ICONERROR);
        if (!errors.empty())
            return kExitFailed;
        if (dats.empty()) {
            terminal.Box(terminal.Messages().Text(MessageId::NoDatFile, folder), box::OK | box::ICONERROR);
            return kExitUsage;
        }
    }
    int status = kExitDone;
    ordered_json list = ordered_json::array();
    std::vector<std::pair<std::string, std::string>> lines;
    for (const auto& [name, path] : NamedImages(context, images)) {
        ImageReport report;
        if (!Report(terminal, path, report)) {
            status = kExitFailed;
            continue;
        }
        const DatMatch match = MatchDats(dats, report.hashes);
        if (!json) {
            lines.emplace_back(name, MatchText(terminal.Messages(), match));
            continue;
        }
        ordered_json entry;
        entry["file"] = name;
        entry["path"] = path;
        entry["result"] = MatchKey(match.kind);
        if (match.rom != nullptr) {
            entry["game"] = match.rom->game;
            entry["rom"] = match.rom->rom;
            entry["dat"] = match.dat->path;
        }
        list.push_back(std::move(entry));
    }
    if (json) {
        WriteText(Stream::Out, Dumped(list));
    } else {
        std::string text;
        for (const auto& [name, result] : lines)
            text += name + ": " + result + "\n";
        WriteText(Stream::Out, text);
    }
    return status;
}

int ImportCommand(CliContext& context, const std::vector<std::string>& files, const GivenTexts& given)
{
    Terminal& terminal = context.terminal;
    // A given text that cannot be stored is refused before any file is read.
    ImageTexts probe;
    probe[kTitle] = "-";
    if (!ApplyGivenTexts(terminal, given, probe))
        return kExitUsage;
    const std::string folder = context.ImageFolder();
    int status = kExitDone;
    // One flush for all the images; each is listed only once it is whole.
    ImportBatch batch(folder);
    std::vector<std::string> made;
    for (const std::string& path : files) {
        ForeignFile file;
        if (ConvertResult r = ReadForeignFile(path, file); !r.ok()) {
            terminal.Box(terminal.Messages().Text(MessageId::ImportFailed, path + ": " + r.text(terminal.Messages())),
                         box::OK | box::ICONERROR);
            status = kExitFailed;
            continue;
        }
        for (const ForeignDisk& disk : file.disks) {
            if (disk.disk.geometry == nullptr)
                terminal.Box(terminal.Messages().Text(MessageId::UnknownGeometry, path), box::OK | box::ICONWARNING);
            ImageTexts texts = SuggestedTexts(disk);
            for (std::string& text : texts)
                text = std::string(TrimBlanks(text));
            // The window's dialog takes no empty title either.
            if (!ApplyGivenTexts(terminal, given, texts)) {
                status = kExitUsage;
                continue;
            }
            RecordHistories(context.store, texts);
            std::string image;
            if (ConvertResult w = batch.Add(disk, texts, image); !w.ok()) {
                terminal.Box(terminal.Messages().Text(MessageId::ImportFailed, path + ": " + w.text(terminal.Messages())),
                             box::OK | box::ICONERROR);
                status = kExitFailed;
                continue;
            }
            made.push_back(image);
        }
    }
    if (IoStatus finished = batch.Finish(); !finished.ok()) {
        terminal.Box(terminal.Messages().Text(MessageId::ImportFailed, folder + ": " + finished.message()),
                     box::OK | box::ICONERROR);
        return kExitFailed;
    }
    for (const std::string& image : made)
        WriteText(Stream::Out, image + "\n");
    return status;
}

int ExportCommand(CliContext& context, const std::vector<std::string>& images, const std::string& format,
                  const std::string& folder)
{
    Terminal& terminal = context.terminal;
    const std::optional<DiskFormat> kind = FormatForExtension(format);
    if (!kind) {
        terminal.Box("--format " + format + ": img, hdm, xdf, fdi, dim or d88", box::OK | box::ICONERROR);
        return kExitUsage;
    }
    int status = kExitDone;
    auto fail = [&](const std::string& text) {
        terminal.Box(terminal.Messages().Text(MessageId::ExportFailed, text), box::OK | box::ICONERROR);
        status = kExitFailed;
    };
    for (const auto& [name, path] : NamedImages(context, images)) {
        HeaderBytes bytes{};
        if (IoStatus r = ReadHeaderFile(path, bytes); !r.ok()) {
            fail(path + ": " + (r.error == ENOENT ? terminal.Messages().Text(MessageId::ImageMissing) : r.message()));
            continue;
        }
        if (!IsImageHeader(bytes.data(), bytes.size())) {
            fail(terminal.Messages().Text(MessageId::NotAnImage, path));
            continue;
        }
        const ImageHeader header = ReadHeader(bytes);
        const std::uint64_t mediumBytes = std::uint64_t{header.sectorCount} * header.bytesPerSector;
        const DiskGeometry* g = GeometryForSize(mediumBytes, header.bytesPerSector);
        // A raw file is known by its extension too: .hdm and .xdf only hold the 1,024-byte 2HD.
        if (*kind == DiskFormat::Raw && format != "img" && (g == nullptr || GeometryForRawFile(g->Bytes(), format) != g)) {
            fail(path + ": " + (g != nullptr ? std::string(g->name) : terminal.Messages().Text(MessageId::Unknown)) +
                 " -> ." + format);
            continue;
        }
        std::vector<std::uint64_t> bad;
        // Without its map a D88 would call unreadable sectors good.
        if (IoStatus m = MappedSectors(path, header, bad); !m.ok()) {
            fail(path + ".map: " + m.message());
            continue;
        }
        const std::string fileName = std::filesystem::path(path).filename().string();
        const std::string target = ImagePath(folder, ExportFileName(header, fileName, format));
        ConvertResult r = ExportImage(path, *kind, target, bad, false);
        if (r.io.error == EEXIST) {
            if (terminal.Box(terminal.Messages().Text(MessageId::ReplaceFile, target),
                             box::YESNO | box::ICONQUESTION) != box::IDYES) {
                if (status == kExitDone)
                    status = terminal.unanswered() && !terminal.interrupted() ? kExitUsage : kExitCancelled;
                continue;
            }
            r = ExportImage(path, *kind, target, bad, true);
        }
        if (!r.ok()) {
            fail(target + ": " + r.text(terminal.Messages()));
            continue;
        }
        WriteText(Stream::Out, target + "\n");
    }
    return status;
}
