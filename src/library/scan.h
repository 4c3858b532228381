#pragma once
// The library scan: every image file in the image folder becomes one row of
// seven texts. Rows keep the stored bytes; windows decode them for display.
#include <array>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "library/imagefile.h"

inline constexpr int kColumnCount = 7;
inline constexpr int kFileNameColumn = 6;

// Columns: title, copyright, author, year, target machine, target OS
// (code page 932 header bytes, decoded and trimmed), file name (as listed).
using LibraryRow = std::array<std::string, kColumnCount>;

// Rows in folder-listing order; a missing or unreadable folder gives none.
// Only regular files (or links to them) of at least 256 bytes are opened,
// and exactly 256 bytes are read from each; everything else is skipped
// silently, hidden files included in the listing.
std::vector<LibraryRow> ScanImageFolder(const std::string& folder);

// What the scan sees of an image beyond its texts: whether the file holds
// every sector its header counts (a creation that was killed leaves one
// that does not), and whether a map of unreadable sectors lies beside it.
struct ImageCondition {
    std::uint64_t sectorsHeld = 0; // whole sectors after the header
    std::uint32_t sectorCount = 0; // sectors the header counts
    bool hasMap = false;

    bool complete() const { return sectorsHeld >= sectorCount; }
    bool sound() const { return complete() && !hasMap; }
};

ImageCondition ConditionOf(const HeaderBytes& header, std::uint64_t fileSize, bool hasMap);

// The same scan; conditions[i] tells about row i. Costs no system call
// beyond the plain scan: sizes come from the listing's look at each file,
// maps from the names listed.
std::vector<LibraryRow> ScanImageFolder(const std::string& folder, std::vector<ImageCondition>& conditions);

// The row of a file whose first 256 bytes are `header`; none when the bytes
// do not begin with the image magic.
std::optional<LibraryRow> RowFromHeader(const HeaderBytes& header, std::string_view fileName);

// Unsigned byte comparison over the common length; a prefix sorts first.
// Returns <0, 0, >0.
int CompareKeyBytes(std::string_view a, std::string_view b);

// The comparison of the list: key column `sortColumn` (0 title .. 6 file
// name), multiplied by sortDirection (+1 / -1).
int CompareRows(const LibraryRow& a, const LibraryRow& b, int sortColumn, int sortDirection);

// A shown order of rows: positions into the scan's row vector.
using RowOrder = std::vector<std::uint32_t>;
using RowCompare = std::function<int(const LibraryRow& first, const LibraryRow& second)>;

// Stable sort of order by compare over the rows it points at (<0: first
// before second); rows themselves never move.
void SortRowOrder(const std::vector<LibraryRow>& rows, RowOrder& order, const RowCompare& compare);

// The order a scan leaves, in two passes of the list's own stable sort:
// sortColumn and sortDirection are set to title and +1, sortPass runs, then
// to target machine and +1, sortPass runs again. Rows end by machine, equal
// machines by title, equal both in folder order.
void ScanSortPasses(int& sortColumn, int& sortDirection, const std::function<void()>& sortPass);

// Folder, a "/" when it does not end with one, then the name.
std::string ImagePath(const std::string& folder, const std::string& fileName);
