// Any bytes as an FDI or a DIM file (and as what the content detection makes
// of them): one clear error and no disk, or one disk of whole tracks that
// the file's header describes.
#include <cstdint>
#include <span>

#include "fuzz_check.h"
#include "library/diskformats.h"

namespace {

void CheckDisk(const DecodeResult& r)
{
    FUZZ_REQUIRE(r.ok() == (r.disks.size() == 1));
    for (const DecodedDisk& d : r.disks) {
        FUZZ_REQUIRE(d.bytesPerSector != 0);
        FUZZ_REQUIRE(d.data.size() == std::uint64_t{d.cylinders} * d.heads * d.sectorsPerTrack * d.bytesPerSector);
        FUZZ_REQUIRE(d.geometry == nullptr || d.geometry->Bytes() == d.data.size());
        for (std::uint64_t s : d.unreadable)
            FUZZ_REQUIRE(s < d.SectorCount());
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::span bytes(data, size);
    const DecodeResult fdi = DecodeFdi(bytes);
    CheckDisk(fdi);
    if (fdi.ok())
        FUZZ_REQUIRE(fdi.disks[0].data.size() <= size);
    CheckDisk(DecodeDim(bytes));
    const auto format = DetectFormat(bytes, size, "");
    FUZZ_REQUIRE(!format || *format != DiskFormat::Raw); // no raw extension given
    if (format == DiskFormat::Fdi)
        FUZZ_REQUIRE(fdi.ok());
    return 0;
}
