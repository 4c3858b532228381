#pragma once
// Export of images to the emulator formats and import of such files as new
// images. The window and the command-line tool both run these.
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "library/diskformats.h"
#include "library/imagefile.h"
#include "base/iostatus.h"
#include "settings/messages.h"

// A failure either of the system (io keeps errno) or of the content
// (problem: the message that says what does not fit, with its argument,
// and the decoder's own account of where). Neither: success.
struct ConvertResult {
    IoStatus io;
    std::optional<MessageId> problem;
    std::string arg;
    std::string detail;

    bool ok() const { return io.ok() && !problem; }
    static ConvertResult Problem(MessageId what, std::string arg = {}, std::string detail = {})
    {
        return {IoStatus::Ok(), what, std::move(arg), std::move(detail)};
    }
    static ConvertResult Io(IoStatus status) { return {status, std::nullopt, {}, {}}; }
    // The problem in the catalogue's words (the detail after it), else the system's text.
    std::string text(const MessageCatalogue& messages) const
    {
        if (!problem)
            return io.message();
        return messages.Text(*problem, arg) + (detail.empty() ? "" : " (" + detail + ")");
    }
};

// Writes the image at imagePath to target in `format`. The sectors listed in
// unreadable carry the data-CRC-error status in a D88; an image file shorter
// than its header says is exported with its missing sectors as zeros (and
// in a D88 as unreadable). A missing target is created; an existing one is
// replaced only with overwrite, else the result is EEXIST. The target only
// appears once it is complete: it is written beside it and renamed.
// FDI, DIM and D88 need a known geometry (DIM only 2HD, 2HC and 2HQ).
ConvertResult ExportImage(const std::string& imagePath, DiskFormat format, const std::string& target,
                          std::span<const std::uint64_t> unreadable, bool overwrite);

// One disk of a foreign file, ready to become an image.
struct ForeignDisk {
    DecodedDisk disk;         // data empty for a raw file: it is copied straight from the file
    std::string sourcePath;   // the file it came from
    std::uint64_t rawOffset = 0; // raw file: where the sectors start (0)
    std::uint64_t rawBytes = 0;  // raw file: how many bytes of sectors
    std::string suggestedTitle;  // code page 932: the D88 name or DIM comment
};

struct ForeignFile {
    DiskFormat format = DiskFormat::Raw;
    std::vector<ForeignDisk> disks;
};

// Reads and checks a file to import: its format by content and extension,
// every disk it holds. A file that is no known format, or a broken one,
// gives a problem and no disks.
ConvertResult ReadForeignFile(const std::string& path, ForeignFile& out);

// Writes one disk as a new image "IMG….TMP" in folder behind a header of
// texts, with the whole-medium sector count; its unreadable sectors also
// go into a map beside it (path + ".map", the ddrescue mapfile format).
// On failure nothing is left behind. The image is on the disk, header
// last, when this returns.
ConvertResult WriteImportedImage(const std::string& folder, const ForeignDisk& disk, const ImageTexts& texts,
                                 std::string& imagePath);

// Many imports with one flush of the file system instead of one per image:
// Add writes each image's sectors and map under a blank header; Finish
// flushes them, then writes the headers and flushes again. An image is
// only ever listed once its sectors are on the disk (a crash leaves files
// without the magic). What was added and not finished is removed.
class ImportBatch {
public:
    explicit ImportBatch(std::string folder) : folder_(std::move(folder)) {}
    ~ImportBatch();
    ImportBatch(const ImportBatch&) = delete;
    ImportBatch& operator=(const ImportBatch&) = delete;

    ConvertResult Add(const ForeignDisk& disk, const ImageTexts& texts, std::string& imagePath);
    // The images added, in order, whole and with their headers.
    IoStatus Finish();

private:
    struct Pending {
        std::string path;
        HeaderBytes header;
    };
    std::string folder_;
    std::vector<Pending> pending_;
};
