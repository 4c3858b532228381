#pragma once
// What the window and the command-line tool share around export and
// import: the fields a foreign file suggests, the name an exported file
// gets, and the unreadable sectors an image's map lists.
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "library/diskconvert.h"
#include "library/imagefile.h"

// Code page 932 for a field, cut to its width; characters code page 932
// has no form for are left out.
std::string FieldBytesLossy(std::string_view utf8, int field);

// The fields a disk of a foreign file suggests: the D88 name or DIM comment
// as the title, else the TOSEC-style file name's title (with its disk note),
// year, publisher and system.
ImageTexts SuggestedTexts(const ForeignDisk& disk);

// The file name (without folder) an image is exported under: its title,
// else its own name without extension, then "." and extension.
std::string ExportFileName(const ImageHeader& header, const std::string& imageFileName, std::string_view extension);

// The unreadable sectors the map beside an image lists, ascending; none
// (and Ok) without a map. EINVAL: the map is no mapfile.
IoStatus MappedSectors(const std::string& imagePath, const ImageHeader& header, std::vector<std::uint64_t>& sectors);
