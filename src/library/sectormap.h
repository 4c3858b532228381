#pragma once
// The unreadable sectors of one image, kept beside it in "IMG….TMP.map" as
// a GNU ddrescue mapfile (positions and sizes in bytes of the medium, "+"
// read, "-" unreadable), so that other rescue tools read it too.
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "base/iostatus.h"

struct SectorRun {
    std::uint64_t first = 0;
    std::uint64_t count = 0;

    bool operator==(const SectorRun&) const = default;
};

// Ascending runs of unreadable sectors.
class SectorMap {
public:
    // Sectors must come in ascending order; one that follows the last run
    // lengthens it.
    void Add(std::uint64_t first, std::uint64_t count = 1);

    bool empty() const { return runs_.empty(); }
    std::uint64_t count() const { return count_; }
    const std::vector<SectorRun>& runs() const { return runs_; }
    bool contains(std::uint64_t sector) const;

    // The same map from sector indexes in any order, repeats allowed.
    static SectorMap FromSectors(std::vector<std::uint64_t> sectors);
    // Every sector the map lists, ascending.
    std::vector<std::uint64_t> Sectors() const;

private:
    std::vector<SectorRun> runs_;
    std::uint64_t count_ = 0;
};

// The map of an image file: the image's path with ".map" added.
std::string MapPathOf(const std::string& imagePath);

// The mapfile text for a medium of sectorCount sectors of bytesPerSector
// bytes; sectors beyond the medium are left out. Each comment becomes a
// "# " line at the top.
std::string FormatMapfile(const SectorMap& map, std::uint32_t bytesPerSector, std::uint64_t sectorCount,
                          const std::vector<std::string>& comments = {});

// The unreadable sectors a mapfile lists: every sector touched by a block
// whose status is not "+" (a block another tool has not tried yet is no
// more read than a bad one). Blocks beyond the medium are ignored. Empty
// when the text is not a mapfile (no status line, a malformed or
// out-of-order block).
std::optional<SectorMap> ParseMapfile(std::string_view text, std::uint32_t bytesPerSector,
                                      std::uint64_t sectorCount);

// Reads and parses the map of the image at imagePath. ENOENT: the image
// has no map; EINVAL: the map is not a mapfile; otherwise the system's error.
IoStatus ReadImageMap(const std::string& imagePath, std::uint32_t bytesPerSector, std::uint64_t sectorCount,
                      SectorMap& map);
