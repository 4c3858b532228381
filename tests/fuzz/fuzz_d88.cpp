// Any bytes as a D88 file: either one clear error and no disks, or disks
// whose data is whole tracks, whose unreadable list is ascending and inside
// the disk, and which, when of a known geometry, encode and decode back to
// the same sectors and the same unreadable list.
#include <cstdint>
#include <span>

#include "fuzz_check.h"
#include "library/diskformats.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const DecodeResult r = DecodeD88(std::span(data, size));
    FUZZ_REQUIRE(r.ok() != r.disks.empty());
    for (const DecodedDisk& d : r.disks) {
        FUZZ_REQUIRE(d.bytesPerSector >= 128 && d.bytesPerSector <= 16384);
        FUZZ_REQUIRE(d.data.size() == std::uint64_t{d.cylinders} * d.heads * d.sectorsPerTrack * d.bytesPerSector);
        FUZZ_REQUIRE(d.data.size() <= kMaxDecodedDisk);
        FUZZ_REQUIRE(d.name.size() <= kD88NameBytes + 1);
        for (std::size_t i = 0; i < d.unreadable.size(); ++i) {
            FUZZ_REQUIRE(d.unreadable[i] < d.SectorCount());
            FUZZ_REQUIRE(i == 0 || d.unreadable[i - 1] < d.unreadable[i]);
        }
        if (d.geometry == nullptr)
            continue;
        FUZZ_REQUIRE(d.geometry->Bytes() == d.data.size());
        const std::vector<std::uint8_t> again = EncodeD88(*d.geometry, d.data, d.unreadable, d.name);
        const DecodeResult back = DecodeD88(again);
        FUZZ_REQUIRE(back.ok() && back.disks.size() == 1);
        FUZZ_REQUIRE(back.disks[0].data == d.data);
        FUZZ_REQUIRE(back.disks[0].unreadable == d.unreadable);
        FUZZ_REQUIRE(back.disks[0].geometry == d.geometry);
    }
    return 0;
}
