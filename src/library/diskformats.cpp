#include "library/diskformats.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "library/imagefile.h" // FitToField

namespace {

std::uint32_t Le16(std::span<const std::uint8_t> b, std::size_t at)
{
    return static_cast<std::uint32_t>(b[at]) | static_cast<std::uint32_t>(b[at + 1]) << 8;
}

std::uint32_t Le32(std::span<const std::uint8_t> b, std::size_t at)
{
    return Le16(b, at) | Le16(b, at + 2) << 16;
}

void Put16(std::uint8_t* p, std::uint32_t v)
{
    p[0] = static_cast<std::uint8_t>(v);
    p[1] = static_cast<std::uint8_t>(v >> 8);
}

void Put32(std::uint8_t* p, std::uint32_t v)
{
    Put16(p, v);
    Put16(p + 2, v >> 16);
}

std::string Hex(std::uint64_t v)
{
    char buf[24];
    std::snprintf(buf, sizeof buf, "0x%llX", static_cast<unsigned long long>(v));
    return buf;
}

// Text up to the first NUL inside the field.
std::string FieldText(std::span<const std::uint8_t> field)
{
    const auto end = std::find(field.begin(), field.end(), std::uint8_t{0});
    return std::string(field.begin(), end);
}

DecodeResult Fail(std::string what)
{
    DecodeResult r;
    r.error = std::move(what);
    return r;
}

bool IsD88Media(std::uint8_t m) { return m == 0x00 || m == 0x10 || m == 0x20 || m == 0x30 || m == 0x40; }

// Sector status values that mean the drive could not read the sector
// (ID CRC, data CRC, no address mark, no data mark). 0x10 is deleted data,
// which read fine.
bool IsBadStatus(std::uint8_t status) { return status != 0x00 && status != 0x10; }

// The known geometry with exactly the disk's layout.
const DiskGeometry* MatchingGeometry(const DecodedDisk& d)
{
    for (const DiskGeometry& g : KnownGeometries())
        if (g.cylinders == d.cylinders && g.heads == d.heads && g.sectorsPerTrack == d.sectorsPerTrack &&
            g.bytesPerSector == d.bytesPerSector)
            return &g;
    return nullptr;
}

struct D88Sector {
    std::uint8_t r = 0;
    bool bad = false;
    std::span<const std::uint8_t> data;
};

// One disk starting at the beginning of `disk` (exactly its declared size).
std::string DecodeOneD88(std::span<const std::uint8_t> disk, DecodedDisk& out)
{
    const std::uint8_t media = disk[0x1B];
    if (!IsD88Media(media))
        return "unknown media type " + Hex(media);
    out.heads = media == 0x30 || media == 0x40 ? 1 : 2;
    out.name = FieldText(disk.subspan(0, kD88NameBytes + 1));
    out.writeProtected = disk[0x1A] != 0;

    // Some writers keep only 160 track offsets: the first track then starts at 0x2A0.
    std::size_t slots = kD88TrackSlots;
    std::uint32_t first = 0;
    for (std::size_t t = 0; t < 160; ++t)
        if (const std::uint32_t off = Le32(disk, 0x20 + 4 * t); off != 0 && (first == 0 || off < first))
            first = off;
    if (first == 0x20 + 4 * 160)
        slots = 160;
    const std::size_t tableEnd = 0x20 + 4 * slots;

    std::vector<std::vector<D88Sector>> tracks(slots);
    std::size_t lastTrack = 0;
    bool any = false;
    std::uint32_t bps = 0;
    std::uint32_t spt = 0;
    for (std::size_t t = 0; t < slots; ++t) {
        std::uint64_t pos = Le32(disk, 0x20 + 4 * t);
        if (pos == 0)
            continue;
        if (pos < tableEnd)
            return "track " + std::to_string(t) + " offset " + Hex(pos) + " points into the header";
        if (pos >= disk.size())
            return "track " + std::to_string(t) + " offset " + Hex(pos) + " points past the end of the disk (" +
                   Hex(disk.size()) + ")";
        std::uint32_t count = 1;
        for (std::uint32_t i = 0; i < count; ++i) {
            if (pos + 16 > disk.size())
                return "track " + std::to_string(t) + " sector header at " + Hex(pos) + " is cut off";
            const auto h = disk.subspan(static_cast<std::size_t>(pos), 16);
            if (i == 0) {
                count = Le16(h, 4);
                if (count == 0)
                    break;
            }
            const std::uint32_t size = Le16(h, 14);
            const std::uint8_t n = h[3];
            const bool bad = IsBadStatus(h[8]);
            pos += 16;
            if (pos + size > disk.size())
                return "track " + std::to_string(t) + " sector data at " + Hex(pos) + " is cut off";
            if (size == 0 && bad) {
                // A sector whose data the drive never found.
            } else if (n > 7 || size != (128u << n)) {
                return "track " + std::to_string(t) + " sector " + std::to_string(h[2]) + ": data size " +
                       std::to_string(size) + " does not match N=" + std::to_string(n);
            } else if (bps == 0) {
                bps = size;
            } else if (size != bps) {
                return "track " + std::to_string(t) + " sector " + std::to_string(h[2]) +
                       ": sectors of more than one size (" + std::to_string(bps) + ", " + std::to_string(size) +
                       ") do not fit one image";
            }
            tracks[t].push_back({h[2], bad, disk.subspan(static_cast<std::size_t>(pos), size)});
            pos += size;
        }
        if (!tracks[t].empty()) {
            lastTrack = t;
            any = true;
            spt = std::max<std::uint32_t>(spt, static_cast<std::uint32_t>(tracks[t].size()));
        }
    }
    if (!any || bps == 0)
        return "the disk holds no sectors";

    out.bytesPerSector = bps;
    out.sectorsPerTrack = spt;
    out.cylinders = static_cast<std::uint32_t>(lastTrack / out.heads + 1);
    const std::uint64_t trackCount = std::uint64_t{out.cylinders} * out.heads;
    const std::uint64_t bytes = trackCount * spt * bps;
    if (bytes > kMaxDecodedDisk)
        return "the disk would be " + std::to_string(bytes) + " bytes, more than an image of it may hold";
    out.data.assign(static_cast<std::size_t>(bytes), 0);
    for (std::size_t t = 0; t < trackCount; ++t) {
        auto& sectors = tracks[t];
        // The image keeps a track's sectors in ID order, whatever the file's interleave.
        std::stable_sort(sectors.begin(), sectors.end(), [](const D88Sector& a, const D88Sector& b) { return a.r < b.r; });
        for (std::uint32_t s = 0; s < spt; ++s) {
            const std::uint64_t index = t * spt + s;
            if (s >= sectors.size() || sectors[s].bad || sectors[s].data.empty()) {
                out.unreadable.push_back(index);
                if (s >= sectors.size() || sectors[s].data.empty())
                    continue;
            }
            std::memcpy(out.data.data() + index * bps, sectors[s].data.data(), bps);
        }
    }
    out.geometry = MatchingGeometry(out);
    return {};
}

} // namespace

std::optional<DiskFormat> DetectFormat(std::span<const std::uint8_t> head, std::uint64_t fileSize,
                                       std::string_view extension)
{
    if (head.size() >= 0xAB + 11 && std::memcmp(head.data() + 0xAB, "DIFC HEADER", 11) == 0)
        return DiskFormat::Dim;
    if (head.size() >= 32) {
        const std::uint64_t headerSize = Le32(head, 8);
        const std::uint64_t dataSize = Le32(head, 12);
        const std::uint64_t product = std::uint64_t{Le32(head, 16)} * Le32(head, 20) * Le32(head, 24) * Le32(head, 28);
        if (headerSize >= 32 && dataSize != 0 && headerSize + dataSize == fileSize && product == dataSize)
            return DiskFormat::Fdi;
        const std::uint64_t d88Size = Le32(head, 0x1C);
        if (IsD88Media(head[0x1B]) && d88Size >= kD88HeaderSize && d88Size <= fileSize &&
            (d88Size == fileSize || extension == "d88" || extension == "d77" || extension == "88d"))
            return DiskFormat::D88;
    }
    if (extension == "d88" || extension == "d77" || extension == "88d")
        return DiskFormat::D88;
    if (extension == "fdi")
        return DiskFormat::Fdi;
    if (extension == "dim")
        return DiskFormat::Dim;
    if (IsRawExtension(extension))
        return DiskFormat::Raw;
    return std::nullopt;
}

DecodeResult DecodeD88(std::span<const std::uint8_t> file)
{
    DecodeResult result;
    std::size_t at = 0;
    while (at < file.size()) {
        const std::string which = "disk " + std::to_string(result.disks.size() + 1) + ": ";
        const auto rest = file.subspan(at);
        if (rest.size() < kD88HeaderSize)
            return Fail(which + "the D88 header is cut off (" + std::to_string(rest.size()) + " of " +
                        std::to_string(kD88HeaderSize) + " bytes)");
        const std::uint32_t size = Le32(rest, 0x1C);
        if (size < kD88HeaderSize)
            return Fail(which + "disk size " + Hex(size) + " is smaller than the D88 header");
        if (size > rest.size())
            return Fail(which + "disk size " + Hex(size) + " runs past the end of the file (" +
                        Hex(rest.size()) + " bytes left)");
        DecodedDisk disk;
        if (std::string error = DecodeOneD88(rest.subspan(0, size), disk); !error.empty())
            return Fail(which + error);
        result.disks.push_back(std::move(disk));
        at += size;
    }
    if (result.disks.empty())
        return Fail("the file is empty");
    return result;
}

DecodeResult DecodeFdi(std::span<const std::uint8_t> file)
{
    if (file.size() < 32)
        return Fail("the FDI header is cut off (" + std::to_string(file.size()) + " bytes)");
    const std::uint64_t headerSize = Le32(file, 8);
    const std::uint64_t dataSize = Le32(file, 12);
    DecodedDisk disk;
    disk.bytesPerSector = Le32(file, 16);
    disk.sectorsPerTrack = Le32(file, 20);
    disk.heads = Le32(file, 24);
    disk.cylinders = Le32(file, 28);
    const std::uint32_t bps = disk.bytesPerSector;
    if (bps < 128 || bps > 16384 || (bps & (bps - 1)) != 0)
        return Fail("sector size " + std::to_string(bps) + " is not a floppy sector size");
    if (headerSize < 32 || headerSize > file.size())
        return Fail("header size " + Hex(headerSize) + " does not fit the file (" + Hex(file.size()) + " bytes)");
    const std::uint64_t product = std::uint64_t{bps} * disk.sectorsPerTrack * disk.heads * disk.cylinders;
    if (product == 0 || product != dataSize)
        return Fail("data size " + std::to_string(dataSize) + " is not cylinders x heads x sectors x bytes (" +
                    std::to_string(product) + ")");
    if (dataSize > kMaxDecodedDisk)
        return Fail("data size " + std::to_string(dataSize) + " is more than a floppy holds");
    if (headerSize + dataSize != file.size())
        return Fail("the file is " + std::to_string(file.size()) + " bytes, the header says " +
                    std::to_string(headerSize + dataSize));
    disk.data.assign(file.begin() + static_cast<std::ptrdiff_t>(headerSize), file.end());
    disk.geometry = MatchingGeometry(disk);
    DecodeResult r;
    r.disks.push_back(std::move(disk));
    return r;
}

DecodeResult DecodeDim(std::span<const std::uint8_t> file)
{
    if (file.size() < kDimHeaderSize)
        return Fail("the DIM header is cut off (" + std::to_string(file.size()) + " bytes)");
    if (std::memcmp(file.data() + 0xAB, "DIFC HEADER", 11) != 0)
        return Fail("no DIM signature at 0xAB");
    const DiskGeometry* g = nullptr;
    for (const DiskGeometry& k : KnownGeometries())
        if (k.dimType == file[0])
            g = &k;
    if (g == nullptr)
        return Fail("DIM media type " + std::to_string(file[0]) + " is not supported");
    const std::uint64_t trackBytes = std::uint64_t{g->sectorsPerTrack} * g->bytesPerSector;
    const std::uint64_t tracks = std::uint64_t{g->cylinders} * g->heads;
    std::uint64_t present = 0;
    for (std::uint64_t t = 0; t < tracks; ++t)
        present += file[1 + t] != 0 ? 1 : 0;
    if (kDimHeaderSize + present * trackBytes > file.size())
        return Fail("the file is " + std::to_string(file.size()) + " bytes, its " + std::to_string(present) +
                    " tracks need " + std::to_string(kDimHeaderSize + present * trackBytes));
    DecodedDisk disk;
    disk.bytesPerSector = g->bytesPerSector;
    disk.sectorsPerTrack = g->sectorsPerTrack;
    disk.heads = g->heads;
    disk.cylinders = g->cylinders;
    disk.geometry = g;
    disk.name = FieldText(file.subspan(0xC2, 61));
    disk.data.assign(static_cast<std::size_t>(g->Bytes()), 0);
    std::size_t from = kDimHeaderSize;
    for (std::uint64_t t = 0; t < tracks; ++t) {
        if (file[1 + t] == 0) {
            // A track the file does not hold: its sectors were not read.
            for (std::uint64_t s = 0; s < g->sectorsPerTrack; ++s)
                disk.unreadable.push_back(t * g->sectorsPerTrack + s);
            continue;
        }
        std::memcpy(disk.data.data() + t * trackBytes, file.data() + from, static_cast<std::size_t>(trackBytes));
        from += static_cast<std::size_t>(trackBytes);
    }
    DecodeResult r;
    r.disks.push_back(std::move(disk));
    return r;
}

std::vector<std::uint8_t> EncodeD88(const DiskGeometry& g, std::span<const std::uint8_t> data,
                                    std::span<const std::uint64_t> unreadable, std::string_view name)
{
    const std::uint32_t bps = g.bytesPerSector;
    const std::uint64_t tracks = std::uint64_t{g.cylinders} * g.heads;
    const std::size_t trackBytes = static_cast<std::size_t>(g.sectorsPerTrack) * (16 + bps);
    std::vector<std::uint8_t> out(kD88HeaderSize + tracks * trackBytes, 0);
    const std::string label = FitToField(name, kD88NameBytes);
    std::memcpy(out.data(), label.data(), label.size());
    out[0x1B] = static_cast<std::uint8_t>(g.media);
    Put32(&out[0x1C], static_cast<std::uint32_t>(out.size()));

    std::vector<std::uint64_t> bad(unreadable.begin(), unreadable.end());
    std::sort(bad.begin(), bad.end());
    std::uint8_t* p = out.data() + kD88HeaderSize;
    for (std::uint64_t t = 0; t < tracks && t < kD88TrackSlots; ++t) {
        Put32(&out[0x20 + 4 * t], static_cast<std::uint32_t>(p - out.data()));
        for (std::uint32_t s = 0; s < g.sectorsPerTrack; ++s) {
            const std::uint64_t index = t * g.sectorsPerTrack + s;
            p[0] = static_cast<std::uint8_t>(t / g.heads);
            p[1] = static_cast<std::uint8_t>(t % g.heads);
            p[2] = static_cast<std::uint8_t>(s + 1);
            p[3] = g.SizeCode();
            Put16(p + 4, g.sectorsPerTrack);
            p[6] = 0x00; // MFM
            p[7] = 0x00; // not deleted
            p[8] = std::binary_search(bad.begin(), bad.end(), index) ? kD88DataCrcError : 0x00;
            Put16(p + 14, bps);
            const std::uint64_t at = index * bps;
            if (at < data.size())
                std::memcpy(p + 16, data.data() + at, static_cast<std::size_t>(std::min<std::uint64_t>(bps, data.size() - at)));
            p += 16 + bps;
        }
    }
    return out;
}

std::vector<std::uint8_t> EncodeFdiHeader(const DiskGeometry& g)
{
    std::vector<std::uint8_t> h(kFdiHeaderSize, 0);
    Put32(&h[4], g.fdiType);
    Put32(&h[8], static_cast<std::uint32_t>(kFdiHeaderSize));
    Put32(&h[12], static_cast<std::uint32_t>(g.Bytes()));
    Put32(&h[16], g.bytesPerSector);
    Put32(&h[20], g.sectorsPerTrack);
    Put32(&h[24], g.heads);
    Put32(&h[28], g.cylinders);
    return h;
}

std::vector<std::uint8_t> EncodeDimHeader(const DiskGeometry& g, std::string_view comment)
{
    if (g.dimType < 0)
        return {};
    std::vector<std::uint8_t> h(kDimHeaderSize, 0);
    h[0] = static_cast<std::uint8_t>(g.dimType);
    for (std::uint64_t t = 0; t < std::uint64_t{g.cylinders} * g.heads && t < 170; ++t)
        h[1 + t] = 1;
    std::memcpy(&h[0xAB], "DIFC HEADER  ", 13);
    const std::string text = FitToField(comment, 60);
    std::memcpy(&h[0xC2], text.data(), text.size());
    return h;
}

std::string_view FormatExtension(DiskFormat format, const DiskGeometry* g)
{
    switch (format) {
    case DiskFormat::Fdi: return "fdi";
    case DiskFormat::Dim: return "dim";
    case DiskFormat::D88: return "d88";
    case DiskFormat::Raw: break;
    }
    return g != nullptr ? g->rawExtension : "img";
}

std::optional<DiskFormat> FormatForExtension(std::string_view extension)
{
    if (extension == "fdi")
        return DiskFormat::Fdi;
    if (extension == "dim")
        return DiskFormat::Dim;
    if (extension == "d88" || extension == "d77")
        return DiskFormat::D88;
    if (IsRawExtension(extension))
        return DiskFormat::Raw;
    return std::nullopt;
}
