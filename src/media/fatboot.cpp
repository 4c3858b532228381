#include "media/fatboot.h"

namespace {

std::uint32_t Le16(std::span<const std::uint8_t> b, std::size_t at)
{
    return static_cast<std::uint32_t>(b[at]) | static_cast<std::uint32_t>(b[at + 1]) << 8;
}

std::uint32_t Le32(std::span<const std::uint8_t> b, std::size_t at)
{
    return Le16(b, at) | Le16(b, at + 2) << 16;
}

bool IsPowerOfTwo(std::uint32_t v) { return v != 0 && (v & (v - 1)) == 0; }

// Cluster counts at which the FAT type changes; the count alone decides it.
constexpr std::uint64_t kMaxFat12Clusters = 4084;
constexpr std::uint64_t kMaxFat16Clusters = 65524;
constexpr std::uint64_t kMaxFat32Clusters = 0x0FFFFFF5;

constexpr std::size_t kBootFieldsEnd = 90; // through the FAT32 extended fields

} // namespace

std::uint64_t FatLayout::FatBytesInUse() const
{
    const std::uint64_t entries = static_cast<std::uint64_t>(totalClusters) + 2;
    return (entries * static_cast<std::uint64_t>(fatBits) + 7) / 8;
}

std::optional<FatLayout> ParseFatBootSector(std::span<const std::uint8_t> sector, std::uint64_t mediumBytes,
                                            std::uint32_t expectedBytesPerSector)
{
    if (sector.size() < kBootFieldsEnd)
        return std::nullopt;
    // A boot sector starts with a jump over the parameter block.
    if (sector[0] != 0xEB && sector[0] != 0xE9)
        return std::nullopt;

    FatLayout l;
    l.bytesPerSector = Le16(sector, 11);
    l.sectorsPerCluster = sector[13];
    l.reservedSectors = Le16(sector, 14);
    l.fatCount = sector[16];
    const std::uint32_t rootEntries = Le16(sector, 17);
    const std::uint32_t totalSectors16 = Le16(sector, 19);
    const std::uint32_t media = sector[21];
    const std::uint32_t sectorsPerFat16 = Le16(sector, 22);
    const std::uint32_t totalSectors32 = Le32(sector, 32);
    const std::uint32_t sectorsPerFat32 = Le32(sector, 36);

    if (!IsPowerOfTwo(l.bytesPerSector) || l.bytesPerSector < 512 || l.bytesPerSector > 4096)
        return std::nullopt;
    if (expectedBytesPerSector != 0 && l.bytesPerSector != expectedBytesPerSector)
        return std::nullopt;
    if (!IsPowerOfTwo(l.sectorsPerCluster) || l.sectorsPerCluster > 128)
        return std::nullopt;
    if (l.reservedSectors == 0 || l.fatCount == 0)
        return std::nullopt;
    if (media != 0xF0 && media < 0xF8)
        return std::nullopt;

    l.totalSectors = totalSectors16 != 0 ? totalSectors16 : totalSectors32;
    l.sectorsPerFat = sectorsPerFat16 != 0 ? sectorsPerFat16 : sectorsPerFat32;
    if (l.totalSectors == 0 || l.sectorsPerFat == 0)
        return std::nullopt;
    // The file system must lie within the medium.
    if (l.totalSectors > mediumBytes / l.bytesPerSector)
        return std::nullopt;

    l.rootDirSectors = static_cast<std::uint32_t>((std::uint64_t{rootEntries} * 32 + l.bytesPerSector - 1) /
                                                  l.bytesPerSector);
    const std::uint64_t metaSectors = std::uint64_t{l.reservedSectors} +
                                      std::uint64_t{l.fatCount} * l.sectorsPerFat + l.rootDirSectors;
    if (metaSectors >= l.totalSectors)
        return std::nullopt;
    const std::uint64_t clusters = (l.totalSectors - metaSectors) / l.sectorsPerCluster;
    if (clusters == 0 || clusters > kMaxFat32Clusters)
        return std::nullopt;

    if (clusters <= kMaxFat12Clusters)
        l.fatBits = 12;
    else if (clusters <= kMaxFat16Clusters)
        l.fatBits = 16;
    else
        l.fatBits = 32;
    // FAT12/16 keep a fixed root directory and a 16-bit FAT size; FAT32 neither.
    if (l.fatBits == 32 ? (rootEntries != 0 || sectorsPerFat16 != 0) : rootEntries == 0)
        return std::nullopt;

    l.totalClusters = static_cast<std::uint32_t>(clusters);
    // Each FAT must hold an entry for every cluster.
    if (l.FatBytesInUse() > std::uint64_t{l.sectorsPerFat} * l.bytesPerSector)
        return std::nullopt;
    return l;
}

std::uint32_t CountFreeClusters(std::span<const std::uint8_t> fat, const FatLayout& layout)
{
    std::uint32_t free = 0;
    const std::uint64_t last = std::uint64_t{layout.totalClusters} + 1;
    for (std::uint64_t n = 2; n <= last; ++n) {
        std::uint32_t entry;
        if (layout.fatBits == 12) {
            const std::uint64_t at = n + n / 2;
            if (at + 2 > fat.size())
                break;
            const std::uint32_t pair = Le16(fat, at);
            entry = (n & 1) ? pair >> 4 : pair & 0xFFF;
        } else if (layout.fatBits == 16) {
            if (n * 2 + 2 > fat.size())
                break;
            entry = Le16(fat, n * 2);
        } else {
            if (n * 4 + 4 > fat.size())
                break;
            entry = Le32(fat, n * 4) & 0x0FFFFFFF;
        }
        if (entry == 0)
            ++free;
    }
    return free;
}
