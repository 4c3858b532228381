#include "media/create.h"

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <limits>
#include <optional>
#include <vector>

#include "library/imagefile.h"
#include "library/sectormap.h"
#include "media/devicesession.h"
#include "media/hashring.h"
#include "media/imagestream.h"

namespace {

struct FloppyGeometry {
    std::uint32_t bytesPerSector;
    std::uint64_t sectors;
    std::uint32_t sectorsPerTrack;
    std::uint32_t heads;
};

// The usual floppy formats, by size. A request is one cylinder, the tracks
// under every head: the drive reads them without a seek in between, so a
// 1.44 MB disk goes in 80 requests of 18 KiB.
constexpr FloppyGeometry kFloppies[] = {
    {512, 320, 8, 1},   {512, 360, 9, 1},    {512, 640, 8, 2},    {512, 720, 9, 2},   {512, 1280, 8, 2},
    {512, 1440, 9, 2},  {512, 2400, 15, 2},  {512, 2880, 18, 2},  {512, 3360, 21, 2}, {512, 5760, 36, 2},
    {1024, 1232, 8, 2}, {256, 4004, 26, 2},  {256, 2002, 26, 1},  {1024, 1280, 8, 2},
};

constexpr std::uint32_t kLargeRequestBytes = 1u << 20;

constexpr bool NoFloppyLargerThan(std::uint64_t bytes)
{
    for (const FloppyGeometry& g : kFloppies)
        if (g.sectors * g.bytesPerSector > bytes)
            return false;
    return true;
}
static_assert(NoFloppyLargerThan(kLargestFloppyBytes));

// The copy of one medium into the image file: big requests, and the
// sectors of a failed request one by one with their retries.
class MediumReader {
public:
    MediumReader(DeviceSession& device, ImageFileWriter& file, CreationHost& host, std::uint32_t bps)
        : device_(device), file_(file), host_(host), bps_(bps)
    {
    }

    // done: every sector copied or recorded; otherwise end says why not.
    bool Copy(std::uint32_t count, CopyEnd& end)
    {
        const std::uint32_t perRequest = ReadRequestSectors(count, bps_);
        // Each request is read straight into a buffer of the ring, which
        // hashes it while the next one is read.
        hashes_.emplace(std::size_t{perRequest} * bps_);
        for (std::uint32_t first = 0; first < count; first += perRequest) {
            const std::uint32_t n = std::min(perRequest, count - first);
            if (CancelledBefore(host_, first)) {
                end = {TransferDone()};
                return false;
            }
            const std::span<std::uint8_t> data = hashes_->Next().first(std::size_t{n} * bps_);
            if (!device_->ReadSectors(first, n, data).ok() && !ReadOneByOne(first, n, data, end))
                return false;
            if (IoStatus st = file_.Append(data); !st.ok()) {
                end = {TransferFailure(FailureSource::ImageFile, st), true};
                return false;
            }
            hashes_->Submit(data.size());
        }
        return true;
    }

    const SectorMap& map() const { return map_; }
    DataHashes Hashes() { return hashes_->Finish(); }

private:
    bool ReadOneByOne(std::uint32_t first, std::uint32_t n, std::span<std::uint8_t> data, CopyEnd& end)
    {
        for (std::uint32_t i = 0; i < n; ++i) {
            // Each sector is a request of its own: the window stays alive
            // and Esc is seen even when every sector times out.
            if (i > 0 && CancelledBefore(host_, first + i)) {
                end = {TransferDone()};
                return false;
            }
            const std::span<std::uint8_t> sector = data.subspan(std::size_t{i} * bps_, bps_);
            IoStatus st;
            for (int attempt = 0; attempt < kReadAttempts; ++attempt)
                if ((st = device_->ReadSector(first + i, sector)).ok())
                    break;
            if (st.ok())
                continue;
            if (!keepGoing_) {
                keepGoing_ = host_.AskKeepUnreadable(first + i);
                if (!keepGoing_) {
                    end = {TransferFailure(FailureSource::Drive, st), true};
                    return false;
                }
            }
            std::memset(sector.data(), 0, sector.size());
            map_.Add(first + i);
        }
        return true;
    }

    DeviceSession& device_;
    ImageFileWriter& file_;
    CreationHost& host_;
    std::uint32_t bps_;
    bool keepGoing_ = false;
    SectorMap map_;
    std::optional<HashingRing> hashes_;
};

// The hashes as the map's comment lines.
std::vector<std::string> HashComments(const DataHashes& hashes)
{
    return {"crc32 " + hashes.crc32, "md5 " + hashes.md5, "sha1 " + hashes.sha1};
}

} // namespace

IoStatus WriteMap(const std::string& path, const SectorMap& map, std::uint32_t bps, std::uint32_t count,
                  const DataHashes& hashes)
{
    const std::string mapPath = MapPathOf(path);
    if (map.empty()) {
        std::error_code ec;
        std::filesystem::remove(mapPath, ec); // one left by an earlier file of this name
        return ec ? IoStatus::Fail(ec.value()) : IoStatus::Ok();
    }
    IoStatus st;
    auto file = CreateImageFile(mapPath, st);
    if (!file)
        return st;
    const std::string text = FormatMapfile(map, bps, count, HashComments(hashes));
    if (st = file->Append({reinterpret_cast<const std::uint8_t*>(text.data()), text.size()}); !st.ok())
        return st;
    return file->Finish();
}

namespace {

// Steps from the allocation query to the end of the copy.
CopyEnd CopySectors(DriveAccess& drive, char letter, const ImageTexts& texts, const std::string& path,
                    CreationHost& host, bool lockVolume)
{
    AllocationFigures figures;
    if (IoStatus st = drive.QueryAllocation(letter, figures); !st.ok())
        return {TransferFailure(FailureSource::Drive, st)};
    const std::uint32_t bps = figures.bytesPerSector;
    if (bps == 0 || bps > kSectorBufferSize || figures.totalSectors == 0 ||
        figures.totalSectors > std::numeric_limits<std::uint32_t>::max())
        return {TransferFailure(FailureSource::Drive, IoStatus::Fail(EINVAL))};
    const auto count = static_cast<std::uint32_t>(figures.totalSectors);

    host.SetProgressRange(count);
    host.SetProgressUnit(bps);

    DeviceSession device(host);
    IoStatus st = device.Open(drive, letter, false, lockVolume);
    if (!st.ok())
        return {DeviceOpenFailure(st)};

    auto file = CreateImageFile(path, st);
    if (!file)
        return {TransferFailure(FailureSource::ImageFile, st), true};
    const HeaderBytes header = BuildHeader(texts, figures.sectorsPerCluster, bps, count);
    if (st = file->Append(header); !st.ok())
        return {TransferFailure(FailureSource::ImageFile, st), true};

    MediumReader reader(device, *file, host, bps);
    CopyEnd end;
    if (!reader.Copy(count, end))
        return end;

    if (st = file->Finish(); !st.ok())
        return {TransferFailure(FailureSource::ImageFile, st), true};
    TransferResult done = TransferDone();
    done.hashes = reader.Hashes();
    if (st = WriteMap(path, reader.map(), bps, count, done.hashes); !st.ok())
        return {TransferFailure(FailureSource::ImageFile, st), true};
    if (st = device.Release(); !st.ok())
        return {TransferFailure(FailureSource::Drive, st), true};
    done.unreadable = reader.map().count();
    return {done};
}

TransferResult CreateFromDriveImpl(DriveAccess& drive, char letter, const std::string& path, CreationHost& host,
                                   bool lockVolume)
{
    ImageTexts texts{};
    if (!host.AskImageTexts(texts))
        return TransferEnded(kTransferNotConfirmed);
    return Conclude(CopySectors(drive, letter, texts, path, host, lockVolume), host);
}

} // namespace

std::uint32_t ReadRequestSectors(std::uint64_t totalSectors, std::uint32_t bytesPerSector)
{
    if (bytesPerSector == 0 || totalSectors == 0)
        return 1;
    for (const FloppyGeometry& g : kFloppies)
        if (g.bytesPerSector == bytesPerSector && g.sectors == totalSectors)
            return g.sectorsPerTrack * g.heads;
    const std::uint64_t large = std::max<std::uint32_t>(1, kLargeRequestBytes / bytesPerSector);
    return static_cast<std::uint32_t>(std::min(large, totalSectors));
}

TransferResult CreateFromDriveNT(DriveAccess& drive, char letter, const std::string& path, CreationHost& host)
{
    return CreateFromDriveImpl(drive, letter, path, host, true);
}

TransferResult CreateFromDrive9x(DriveAccess& drive, char letter, const std::string& path, CreationHost& host)
{
    return CreateFromDriveImpl(drive, letter, path, host, false);
}

TransferResult CreateFromDrive(DriveAccess& drive, char letter, const std::string& path, CreationHost& host)
{
    return drive.IsNtFamily() ? CreateFromDriveNT(drive, letter, path, host)
                              : CreateFromDrive9x(drive, letter, path, host);
}
