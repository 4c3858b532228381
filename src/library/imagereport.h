#pragma once
// Everything the information dialog and `tessarine-cli hash` tell about one
// image: header figures, geometry, completeness, unreadable sectors, data
// hashes and, with dat files at hand, what the databases call it.
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "library/datahash.h"
#include "library/datmatch.h"
#include "library/diskconvert.h" // ConvertResult
#include "library/geometry.h"
#include "library/imagefile.h"
#include "settings/messages.h"

struct ImageReport {
    std::string path;
    ImageHeader header;
    std::uint64_t fileLength = 0;
    const DiskGeometry* geometry = nullptr; // null: no known floppy geometry
    std::vector<std::uint64_t> unreadable;  // from the map beside the image
    IoStatus map;                           // reading the map: Ok also when there is none
    DataHashes hashes;

    std::uint64_t expectedLength() const
    {
        return kImageHeaderSize + std::uint64_t{header.sectorCount} * header.bytesPerSector;
    }
    bool complete() const { return fileLength >= expectedLength(); }
};

// Reads the header, length and map of the image at path and hashes its
// sector data. A file without the image magic is a problem; the system's
// failures keep their error code.
ConvertResult ReadImageReport(const std::string& path, ImageReport& report);

// Where the dat files of a library lie: a "dats" folder beside the image folder.
std::string DatFolderFor(const std::string& imageFolder);

// Every *.dat and *.xml file of folder in name order; a missing folder has
// none. Returns what could not be read, one text per file.
std::vector<std::string> LoadDatFolder(const std::string& folder, std::vector<DatFile>& dats);

// "game / rom (dat)" of a match, as the texts name it.
std::string MatchName(const DatMatch& match);
// The match in the words of the message table (matched, same size but
// different, unknown).
std::string MatchText(const MessageCatalogue& messages, const DatMatch& match);

// The report as label / value lines, as the dialog shows them; the dat line
// only when dats is not empty (datErrors are shown there too).
using ReportLines = std::vector<std::pair<std::string, std::string>>;
ReportLines ImageReportLines(const MessageCatalogue& messages, const ImageReport& report,
                             const std::vector<DatFile>& dats, const std::vector<std::string>& datErrors);
