#pragma once
// What the read-only commands print: the library, one image, the drives.
// Texts in and out are UTF-8; header texts arrive as code page 932 bytes.
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "library/imagefile.h"
#include "library/scan.h"
#include "media/drive.h"
#include "media/drivetable.h"
#include "settings/messages.h"

// Terminal columns a UTF-8 text takes (East Asian wide characters two).
int DisplayWidth(std::string_view utf8);

// The caption of list column c (0 title .. 6 file name), as the window shows it.
std::string ColumnCaption(const MessageCatalogue& messages, int column);

// The library as an aligned table with the column captions, as JSON (an
// array of objects) and as tab-separated values (a header line of keys;
// tab, line breaks and backslash in a text escaped as \t \n \r \\).
std::string LibraryTable(const MessageCatalogue& messages, const std::vector<LibraryRow>& rows);
std::string LibraryJson(const std::vector<LibraryRow>& rows, const std::string& folder);
std::string LibraryTsv(const std::vector<LibraryRow>& rows);

// One image: its header and what its length says about it.
struct ImageInfo {
    std::string path;
    ImageHeader header;
    std::uint64_t fileLength = 0;

    std::uint64_t expectedLength() const
    {
        return kImageHeaderSize + std::uint64_t{header.sectorCount} * header.bytesPerSector;
    }
    bool complete() const { return fileLength >= expectedLength(); }
};
std::string InfoText(const MessageCatalogue& messages, const ImageInfo& info);
std::string InfoJson(const ImageInfo& info);

// One drive of the table and what its ready test found.
struct DriveReport {
    DriveEntry entry;
    DriveStatus status;
    std::optional<std::uint64_t> mediumBytes; // when the medium could be measured
};
// The state in the words of the window's boxes ("no disk in drive A:").
std::string DriveStateText(const MessageCatalogue& messages, const DriveReport& report);
std::string DrivesText(const MessageCatalogue& messages, const std::vector<DriveReport>& drives);
std::string DrivesJson(const MessageCatalogue& messages, const std::vector<DriveReport>& drives);
