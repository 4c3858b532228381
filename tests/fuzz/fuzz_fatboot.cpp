// Any bytes as sector 0 and as the FAT: either "not FAT" or figures that fit
// the medium, and a free count within the clusters; never a fault.
#include <cstdint>
#include <cstdlib>
#include <span>

#include "media/fatboot.h"

namespace {

void Check(std::span<const std::uint8_t> bytes, std::uint64_t mediumBytes)
{
    const auto l = ParseFatBootSector(bytes, mediumBytes);
    if (!l)
        return;
    const std::uint64_t meta = std::uint64_t{l->reservedSectors} + std::uint64_t{l->fatCount} * l->sectorsPerFat +
                               l->rootDirSectors;
    if (l->totalClusters == 0 || meta + std::uint64_t{l->totalClusters} * l->sectorsPerCluster > l->totalSectors)
        std::abort();
    if (l->totalSectors > mediumBytes / l->bytesPerSector)
        std::abort();
    if (l->FatBytesInUse() > std::uint64_t{l->sectorsPerFat} * l->bytesPerSector)
        std::abort();
    if (CountFreeClusters(bytes, *l) > l->totalClusters)
        std::abort();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::span<const std::uint8_t> bytes(data, size);
    Check(bytes, 2880 * 512);
    Check(bytes, ~std::uint64_t{0});
    return 0;
}
