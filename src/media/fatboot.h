#pragma once
// Reading the allocation figures of a FAT file system from its boot sector
// and its first FAT. Pure interpretation of bytes already read.
#include <cstdint>
#include <optional>
#include <span>

struct FatLayout {
    std::uint32_t bytesPerSector = 0;
    std::uint32_t sectorsPerCluster = 0;
    std::uint32_t reservedSectors = 0; // the first FAT starts here
    std::uint32_t fatCount = 0;
    std::uint32_t sectorsPerFat = 0;
    std::uint32_t rootDirSectors = 0;
    std::uint64_t totalSectors = 0; // as the boot sector states it
    std::uint32_t totalClusters = 0;
    int fatBits = 0; // 12, 16 or 32, decided by the cluster count

    // Bytes of the first FAT that hold the entries of every data cluster.
    std::uint64_t FatBytesInUse() const;
};

// The layout when `sector` (the medium's sector 0, at least its first 90
// bytes) holds a plausible FAT boot sector whose file system fits in
// mediumBytes; otherwise empty. expectedBytesPerSector, when not 0, must
// match the boot sector's figure. Zero, absurd or inconsistent figures mean
// "not FAT", never a fault.
std::optional<FatLayout> ParseFatBootSector(std::span<const std::uint8_t> sector, std::uint64_t mediumBytes,
                                            std::uint32_t expectedBytesPerSector = 0);

// Free data clusters (entries of value 0) in `fat`, the start of the first
// FAT. Entries beyond the end of `fat` count as used.
std::uint32_t CountFreeClusters(std::span<const std::uint8_t> fat, const FatLayout& layout);
