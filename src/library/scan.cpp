#include "library/scan.h"

#include <algorithm>

std::optional<LibraryRow> RowFromHeader(const HeaderBytes& header, std::string_view fileName)
{
    if (!IsImageHeader(header.data(), header.size()))
        return std::nullopt;
    LibraryRow row;
    for (int f = 0; f < kFieldCount; ++f)
        row[f] = DecodeField(header, f);
    row[kFileNameColumn] = std::string(fileName);
    return row;
}

int CompareKeyBytes(std::string_view a, std::string_view b)
{
    // char_traits<char> compares as unsigned char, a prefix first: no case
    // folding, no locale.
    const int c = a.compare(b);
    return (c > 0) - (c < 0);
}

int CompareRows(const LibraryRow& a, const LibraryRow& b, int sortColumn, int sortDirection)
{
    // Column 0 is the caption (title), column n the sub-item n - 1; the row
    // array holds them in that order, so the column indexes it directly.
    if (sortColumn < 0 || sortColumn >= kColumnCount)
        return 0;
    return CompareKeyBytes(a[sortColumn], b[sortColumn]) * sortDirection;
}

void SortRowOrder(const std::vector<LibraryRow>& rows, RowOrder& order, const RowCompare& compare)
{
    std::stable_sort(order.begin(), order.end(),
                     [&](std::uint32_t a, std::uint32_t b) { return compare(rows[a], rows[b]) < 0; });
}

void ScanSortPasses(int& sortColumn, int& sortDirection, const std::function<void()>& sortPass)
{
    for (const int column : {static_cast<int>(kTitle), static_cast<int>(kTargetMachine)}) {
        sortColumn = column;
        sortDirection = +1;
        sortPass();
    }
}

std::string ImagePath(const std::string& folder, const std::string& fileName)
{
    if (!folder.empty() && folder.back() == '/')
        return folder + fileName;
    return folder + "/" + fileName;
}

ImageCondition ConditionOf(const HeaderBytes& header, std::uint64_t fileSize, bool hasMap)
{
    const ImageHeader h = ReadHeader(header);
    ImageCondition c;
    c.sectorCount = h.sectorCount;
    c.hasMap = hasMap;
    // A header with no sector size holds nothing whole.
    if (h.bytesPerSector != 0 && fileSize > kImageHeaderSize)
        c.sectorsHeld = (fileSize - kImageHeaderSize) / h.bytesPerSector;
    return c;
}
