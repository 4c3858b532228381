#include "cli/output.h"

#include <algorithm>

#include <nlohmann/json.hpp>

#include "media/progress.h"
#include "base/cp932.h"
#include "settings/messages.h"

namespace {

using nlohmann::ordered_json;

const char* const kBuiltInCaptions[kColumnCount] = {"タイトル", "著作権", "作成者", "年", "対象機種", "対象OS", "ファイル名"};
const char* const kKeys[kColumnCount] = {"title", "copyright", "author", "year", "machine", "os", "file"};

// The texts of a row as shown: header texts decoded, the file name as listed.
std::vector<std::string> Shown(const LibraryRow& row)
{
    std::vector<std::string> texts;
    for (int c = 0; c < kFieldCount; ++c)
        texts.push_back(Cp932ToUtf8(row[static_cast<std::size_t>(c)]));
    texts.push_back(row[kFileNameColumn]);
    return texts;
}

// Decodes one UTF-8 sequence at text[i]; advances i. Bad bytes count as one
// narrow character.
char32_t NextCodePoint(std::string_view text, std::size_t& i)
{
    const auto b = static_cast<unsigned char>(text[i]);
    int len = b < 0x80 ? 1 : (b >> 5) == 0x6 ? 2 : (b >> 4) == 0xE ? 3 : (b >> 3) == 0x1E ? 4 : 0;
    if (len == 0 || i + static_cast<std::size_t>(len) > text.size()) {
        ++i;
        return 0xFFFD;
    }
    char32_t cp = len == 1 ? b : b & (0x7F >> len);
    for (int k = 1; k < len; ++k)
        cp = (cp << 6) | (static_cast<unsigned char>(text[i + static_cast<std::size_t>(k)]) & 0x3F);
    i += static_cast<std::size_t>(len);
    return cp;
}

bool IsWide(char32_t cp)
{
    return (cp >= 0x1100 && cp <= 0x115F) || (cp >= 0x2E80 && cp <= 0xA4CF && cp != 0x303F) ||
           (cp >= 0xAC00 && cp <= 0xD7A3) || (cp >= 0xF900 && cp <= 0xFAFF) || (cp >= 0xFE30 && cp <= 0xFE4F) ||
           (cp >= 0xFF00 && cp <= 0xFF60) || (cp >= 0xFFE0 && cp <= 0xFFE6) || (cp >= 0x1F300 && cp <= 0x1FAFF) ||
           (cp >= 0x20000 && cp <= 0x3FFFD);
}

std::string Padded(const std::string& text, int width)
{
    return text + std::string(static_cast<std::size_t>(std::max(0, width - DisplayWidth(text))), ' ');
}

std::string TsvEscaped(const std::string& text)
{
    std::string out;
    for (char c : text) {
        switch (c) {
        case '\t': out += "\\t"; break;
        case '\n': out += "\\n"; break;
        case '\r': out += "\\r"; break;
        case '\\': out += "\\\\"; break;
        default: out += c;
        }
    }
    return out;
}

// Every text stays readable even when a file name is not UTF-8.
std::string Dump(const ordered_json& json)
{
    return json.dump(2, ' ', false, ordered_json::error_handler_t::replace) + "\n";
}

// "label:  value" lines with the values in one column.
std::string AlignedLines(const std::vector<std::pair<std::string, std::string>>& lines)
{
    int width = 0;
    for (const auto& [label, value] : lines)
        width = std::max(width, DisplayWidth(label));
    std::string out;
    for (const auto& [label, value] : lines)
        out += Padded(label + ":", width + 2) + value + "\n";
    return out;
}

const char* KindName(DriveKind kind)
{
    switch (kind) {
    case DriveKind::Floppy: return "floppy";
    case DriveKind::Removable: return "removable";
    case DriveKind::Virtual: return "virtual";
    default: return "other";
    }
}

const char* StateName(DriveState state)
{
    switch (state) {
    case DriveState::Ready: return "ready";
    case DriveState::NoMedium: return "no-medium";
    case DriveState::NoDevice: return "no-device";
    case DriveState::AccessRefused: return "access-refused";
    case DriveState::InUse: return "in-use";
    case DriveState::Unreadable: return "unreadable";
    default: return "other";
    }
}

} // namespace

int DisplayWidth(std::string_view utf8)
{
    int width = 0;
    for (std::size_t i = 0; i < utf8.size();)
        width += IsWide(NextCodePoint(utf8, i)) ? 2 : 1;
    return width;
}

std::string ColumnCaption(const MessageCatalogue& messages, int column)
{
    if (column < 0 || column >= kColumnCount)
        return {};
    // As the window: a language file replaces the captions with its column entries.
    return messages.LanguageLoaded() ? messages.Text(MessageId::ColumnTitle + column) : kBuiltInCaptions[column];
}

std::string LibraryTable(const MessageCatalogue& messages, const std::vector<LibraryRow>& rows)
{
    std::vector<std::vector<std::string>> cells;
    std::vector<std::string> captions;
    for (int c = 0; c < kColumnCount; ++c)
        captions.push_back(ColumnCaption(messages, c));
    cells.push_back(captions);
    for (const LibraryRow& row : rows)
        cells.push_back(Shown(row));

    std::vector<int> widths(kColumnCount, 0);
    for (const auto& line : cells)
        for (int c = 0; c < kColumnCount; ++c)
            widths[static_cast<std::size_t>(c)] = std::max(widths[static_cast<std::size_t>(c)],
                                                           DisplayWidth(line[static_cast<std::size_t>(c)]));
    std::string out;
    for (const auto& line : cells) {
        std::string text;
        for (int c = 0; c < kColumnCount; ++c) {
            const std::string& cell = line[static_cast<std::size_t>(c)];
            text += c + 1 < kColumnCount ? Padded(cell, widths[static_cast<std::size_t>(c)] + 2) : cell;
        }
        out += text + "\n";
    }
    return out;
}

std::string LibraryJson(const std::vector<LibraryRow>& rows, const std::string& folder)
{
    ordered_json list = ordered_json::array();
    for (const LibraryRow& row : rows) {
        const std::vector<std::string> texts = Shown(row);
        ordered_json entry;
        for (int c = 0; c < kColumnCount; ++c)
            entry[kKeys[c]] = texts[static_cast<std::size_t>(c)];
        entry["path"] = ImagePath(folder, row[kFileNameColumn]);
        list.push_back(std::move(entry));
    }
    return Dump(list);
}

std::string LibraryTsv(const std::vector<LibraryRow>& rows)
{
    std::string out;
    for (int c = 0; c < kColumnCount; ++c)
        out += std::string(kKeys[c]) + (c + 1 < kColumnCount ? "\t" : "\n");
    for (const LibraryRow& row : rows) {
        const std::vector<std::string> texts = Shown(row);
        for (int c = 0; c < kColumnCount; ++c)
            out += TsvEscaped(texts[static_cast<std::size_t>(c)]) + (c + 1 < kColumnCount ? "\t" : "\n");
    }
    return out;
}

std::string InfoText(const MessageCatalogue& messages, const ImageInfo& info)
{
    std::vector<std::pair<std::string, std::string>> lines;
    for (int f = 0; f < kFieldCount; ++f)
        lines.emplace_back(ColumnCaption(messages, f), Cp932ToUtf8(info.header.texts[static_cast<std::size_t>(f)]));
    lines.emplace_back(ColumnCaption(messages, kFileNameColumn), info.path);
    lines.emplace_back(messages.Text(MessageId::SectorsPerCluster), std::to_string(info.header.sectorsPerCluster));
    lines.emplace_back(messages.Text(MessageId::BytesPerSector), std::to_string(info.header.bytesPerSector));
    lines.emplace_back(messages.Text(MessageId::SectorCount), std::to_string(info.header.sectorCount));
    lines.emplace_back(messages.Text(MessageId::FileLength), std::to_string(info.fileLength));
    std::string out = AlignedLines(lines);
    if (!info.complete())
        out += messages.Text(MessageId::ImageShort, std::to_string(info.expectedLength() - info.fileLength)) + "\n";
    return out;
}

std::string InfoJson(const ImageInfo& info)
{
    ordered_json entry;
    for (int f = 0; f < kFieldCount; ++f)
        entry[kKeys[f]] = Cp932ToUtf8(info.header.texts[static_cast<std::size_t>(f)]);
    entry["path"] = info.path;
    entry["sectorsPerCluster"] = info.header.sectorsPerCluster;
    entry["bytesPerSector"] = info.header.bytesPerSector;
    entry["sectorCount"] = info.header.sectorCount;
    entry["fileLength"] = info.fileLength;
    entry["expectedLength"] = info.expectedLength();
    entry["complete"] = info.complete();
    return Dump(entry);
}

std::string DriveStateText(const MessageCatalogue& messages, const DriveReport& report)
{
    const std::string letter(1, report.entry.letter);
    switch (report.status.state) {
    case DriveState::Ready:
        return messages.Text(MessageId::MediumPresent);
    case DriveState::NoMedium:
        return messages.Text(MessageId::NoMedium, letter);
    case DriveState::NoDevice:
        return messages.Text(MessageId::DeviceNotFound, letter);
    case DriveState::AccessRefused:
        return messages.Text(MessageId::AccessDenied, letter);
    case DriveState::InUse:
        return messages.Text(MessageId::DriveInUse, letter);
    case DriveState::Unreadable:
        return messages.Text(MessageId::SectorZeroUnreadable, letter);
    default:
        return messages.Text(MessageId::DriveNotOpened, letter);
    }
}

std::string DrivesText(const MessageCatalogue& messages, const std::vector<DriveReport>& drives)
{
    std::vector<std::vector<std::string>> cells;
    for (const DriveReport& d : drives)
        cells.push_back({std::string(1, d.entry.letter) + ":", d.entry.device,
                         d.mediumBytes ? FormatBytes(*d.mediumBytes) : "-", DriveStateText(messages, d)});
    std::vector<int> widths(4, 0);
    for (const auto& line : cells)
        for (std::size_t c = 0; c < line.size(); ++c)
            widths[c] = std::max(widths[c], DisplayWidth(line[c]));
    std::string out;
    for (const auto& line : cells)
        out += Padded(line[0], widths[0] + 2) + Padded(line[1], widths[1] + 2) + Padded(line[2], widths[2] + 2) +
               line[3] + "\n";
    return out;
}

std::string DrivesJson(const MessageCatalogue& messages, const std::vector<DriveReport>& drives)
{
    ordered_json list = ordered_json::array();
    for (const DriveReport& d : drives) {
        ordered_json entry;
        entry["letter"] = std::string(1, d.entry.letter);
        entry["device"] = d.entry.device;
        entry["kind"] = KindName(d.entry.kind);
        // The stable name the letter is (or, after the configuration dialog, will be) bound to.
        entry["identity"] = d.entry.identity;
        entry["bound"] = d.entry.bound;
        entry["medium"] = d.status.ready();
        entry["state"] = StateName(d.status.state);
        entry["size"] = d.mediumBytes ? ordered_json(*d.mediumBytes) : ordered_json(nullptr);
        entry["text"] = DriveStateText(messages, d);
        list.push_back(std::move(entry));
    }
    return Dump(list);
}
