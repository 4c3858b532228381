#include "library/imagereport.h"

#include <algorithm>
#include <filesystem>
#include <system_error>

#include "library/imageexchange.h"
#include "library/sectormap.h"
#include "settings/messages.h"

namespace {

// 1474816 -> "1,474,816": figures of this size are read, not parsed.
std::string Grouped(std::uint64_t n)
{
    std::string digits = std::to_string(n);
    for (int i = static_cast<int>(digits.size()) - 3; i > 0; i -= 3)
        digits.insert(static_cast<std::size_t>(i), ",");
    return digits;
}

std::string GeometryText(const MessageCatalogue& messages, const ImageReport& report)
{
    const DiskGeometry* g = report.geometry;
    if (g == nullptr)
        return messages.Text(MessageId::Unknown);
    return std::string(g->name) + " (" + std::to_string(g->cylinders) + " x " + std::to_string(g->heads) + " x " +
           std::to_string(g->sectorsPerTrack) + " x " + std::to_string(g->bytesPerSector) + ")";
}

std::string UnreadableText(const ImageReport& report)
{
    if (!report.map.ok())
        return MapPathOf(report.path) + ": " + report.map.message();
    std::string text = Grouped(report.unreadable.size());
    // A handful of sector numbers says where; thousands would say nothing more.
    constexpr std::size_t kListed = 8;
    for (std::size_t i = 0; i < report.unreadable.size() && i < kListed; ++i)
        text += (i == 0 ? ": " : ", ") + std::to_string(report.unreadable[i]);
    if (report.unreadable.size() > kListed)
        text += ", ...";
    return text;
}

} // namespace

ConvertResult ReadImageReport(const std::string& path, ImageReport& report)
{
    report = {};
    report.path = path;
    HeaderBytes bytes{};
    if (IoStatus r = ReadHeaderFile(path, bytes); !r.ok())
        return ConvertResult::Io(r);
    if (!IsImageHeader(bytes.data(), bytes.size()))
        return ConvertResult::Problem(MessageId::NotAnImage, path);
    report.header = ReadHeader(bytes);
    std::error_code ec;
    report.fileLength = std::filesystem::file_size(path, ec);
    if (ec)
        return ConvertResult::Io(IoStatus::Fail(ec.value()));
    report.geometry = GeometryForSize(std::uint64_t{report.header.sectorCount} * report.header.bytesPerSector,
                                      report.header.bytesPerSector);
    report.map = MappedSectors(path, report.header, report.unreadable);
    if (IoStatus r = HashImageFile(path, report.hashes); !r.ok())
        return ConvertResult::Io(r);
    return {};
}

std::string DatFolderFor(const std::string& imageFolder)
{
    std::filesystem::path folder(imageFolder);
    // "./Images/" names the folder Images: its parent holds the dats.
    if (!folder.has_filename())
        folder = folder.parent_path();
    return (folder.parent_path() / "dats").string();
}

std::vector<std::string> LoadDatFolder(const std::string& folder, std::vector<DatFile>& dats)
{
    std::vector<std::string> errors;
    std::vector<std::string> files;
    std::error_code ec;
    std::filesystem::directory_iterator it(folder, ec);
    if (ec) {
        if (ec != std::errc::no_such_file_or_directory)
            errors.push_back(folder + ": " + ec.message());
        return errors;
    }
    for (; it != std::filesystem::directory_iterator(); it.increment(ec)) {
        const std::string ext = ExtensionOf(it->path().filename().string());
        if (ext == "dat" || ext == "xml")
            files.push_back(it->path().string());
    }
    if (ec)
        errors.push_back(folder + ": " + ec.message());
    std::sort(files.begin(), files.end());
    for (const std::string& file : files) {
        DatFile dat;
        if (std::string error = LoadDatFile(file, dat); !error.empty())
            errors.push_back(error);
        else
            dats.push_back(std::move(dat));
    }
    return errors;
}

std::string MatchName(const DatMatch& match)
{
    if (match.rom == nullptr)
        return {};
    std::string name = match.rom->game + " / " + match.rom->rom;
    if (match.dat != nullptr && !match.dat->name.empty())
        name += " (" + match.dat->name + ")";
    return name;
}

std::string MatchText(const MessageCatalogue& messages, const DatMatch& match)
{
    switch (match.kind) {
    case MatchKind::Matched:
        return messages.Text(MessageId::Matched, MatchName(match));
    case MatchKind::SizeOnly:
        return messages.Text(MessageId::SameSizeDifferent, MatchName(match));
    default:
        return messages.Text(MessageId::Unknown);
    }
}

ReportLines ImageReportLines(const MessageCatalogue& messages, const ImageReport& report,
                             const std::vector<DatFile>& dats, const std::vector<std::string>& datErrors)
{
    ReportLines lines;
    lines.emplace_back(messages.Text(MessageId::SectorsPerCluster), std::to_string(report.header.sectorsPerCluster));
    lines.emplace_back(messages.Text(MessageId::BytesPerSector), std::to_string(report.header.bytesPerSector));
    lines.emplace_back(messages.Text(MessageId::SectorCount), Grouped(report.header.sectorCount));
    lines.emplace_back(messages.Text(MessageId::Geometry), GeometryText(messages, report));
    std::string length = Grouped(report.fileLength);
    if (!report.complete())
        length += "  " + messages.Text(MessageId::ImageShort, Grouped(report.expectedLength() - report.fileLength));
    lines.emplace_back(messages.Text(MessageId::FileLength), length);
    lines.emplace_back(messages.Text(MessageId::UnreadableSectors), UnreadableText(report));
    lines.emplace_back("CRC32", report.hashes.crc32);
    lines.emplace_back("MD5", report.hashes.md5);
    lines.emplace_back("SHA-1", report.hashes.sha1);
    if (!dats.empty() || !datErrors.empty()) {
        std::string text = dats.empty() ? std::string() : MatchText(messages, MatchDats(dats, report.hashes));
        for (const std::string& error : datErrors)
            text += (text.empty() ? "" : "\n") + error;
        lines.emplace_back("dat", text);
    }
    return lines;
}
