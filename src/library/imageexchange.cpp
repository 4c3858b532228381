#include "library/imageexchange.h"

#include <cerrno>

#include "base/cp932.h"
#include "library/sectormap.h"
#include "library/tosecname.h"

std::string FieldBytesLossy(std::string_view utf8, int field)
{
    std::string out;
    for (std::size_t i = 0; i < utf8.size();) {
        std::size_t len = 1;
        const auto b = static_cast<unsigned char>(utf8[i]);
        if (b >= 0xF0)
            len = 4;
        else if (b >= 0xE0)
            len = 3;
        else if (b >= 0xC0)
            len = 2;
        if (auto c = Utf8ToCp932(utf8.substr(i, len)))
            out += *c;
        i += len;
    }
    return FitToField(out, FieldWidth(field));
}

ImageTexts SuggestedTexts(const ForeignDisk& disk)
{
    const TosecName name = ParseTosecName(disk.sourcePath);
    ImageTexts texts;
    if (!disk.suggestedTitle.empty()) {
        texts[kTitle] = FitToField(disk.suggestedTitle, FieldWidth(kTitle));
    } else {
        const std::string title = name.disk.empty() ? name.title : name.title + " (" + name.disk + ")";
        texts[kTitle] = FieldBytesLossy(title, kTitle);
    }
    texts[kCopyright] = FieldBytesLossy(name.publisher, kCopyright);
    texts[kYear] = FieldBytesLossy(name.year, kYear);
    texts[kTargetMachine] = FieldBytesLossy(name.system, kTargetMachine);
    return texts;
}

std::string ExportFileName(const ImageHeader& header, const std::string& imageFileName, std::string_view extension)
{
    std::string name = Cp932ToUtf8(header.texts[kTitle]);
    if (name.empty())
        name = imageFileName.substr(0, imageFileName.find_last_of('.'));
    for (char& c : name)
        if (c == '/' || c == '\\' || static_cast<unsigned char>(c) < 0x20)
            c = '_';
    if (name.empty() || name == "." || name == "..")
        name = "image";
    return name + "." + std::string(extension);
}

IoStatus MappedSectors(const std::string& imagePath, const ImageHeader& header, std::vector<std::uint64_t>& sectors)
{
    sectors.clear();
    if (header.bytesPerSector == 0)
        return IoStatus::Ok();
    SectorMap map;
    const IoStatus read = ReadImageMap(imagePath, header.bytesPerSector, header.sectorCount, map);
    if (read.error == ENOENT)
        return IoStatus::Ok();
    if (!read.ok())
        return read;
    for (const SectorRun& run : map.runs())
        for (std::uint64_t s = run.first; s < run.first + run.count; ++s)
            sectors.push_back(s);
    return IoStatus::Ok();
}
