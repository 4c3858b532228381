#include "media/reread.h"

#include <cerrno>
#include <vector>

#include "library/datahash.h"
#include "library/imagefile.h"
#include "library/sectormap.h"
#include "media/create.h"
#include "media/devicesession.h"
#include "media/imagestream.h"
#include "media/restore.h"

namespace {

// A medium of another format would put foreign sectors into the image.
IoStatus MediumMatches(DriveAccess& drive, char letter, const ImageSectors& image)
{
    AllocationFigures figures;
    if (IoStatus st = drive.QueryAllocation(letter, figures); !st.ok())
        return st;
    if (figures.bytesPerSector != image.bytesPerSector ||
        (figures.totalSectors != 0 && figures.totalSectors != image.sectorCount))
        return IoStatus::Fail(EMEDIUMTYPE);
    return IoStatus::Ok();
}

// Sector by sector, each with its retries; Esc before each. The sectors
// that read are in the image; remaining gets the rest, unvisited included.
CopyEnd ReadListed(DeviceSession& device, ImageFilePatcher& file, const ImageSectors& image,
                   const std::vector<std::uint64_t>& listed, TransferHost& host, std::vector<std::uint64_t>& remaining)
{
    std::vector<std::uint8_t> sector(image.bytesPerSector);
    for (std::size_t i = 0; i < listed.size(); ++i) {
        if (CancelledBefore(host, i)) {
            remaining.insert(remaining.end(), listed.begin() + static_cast<std::ptrdiff_t>(i), listed.end());
            return {TransferDone()};
        }
        IoStatus st;
        for (int attempt = 0; attempt < kReadAttempts; ++attempt)
            if ((st = device->ReadSector(listed[i], sector)).ok())
                break;
        if (!st.ok()) {
            remaining.push_back(listed[i]);
            continue;
        }
        if (st = file.WriteAt(SectorPosition(listed[i], image.bytesPerSector), sector); !st.ok()) {
            // Not written: still a hole, and the map must keep saying so.
            remaining.insert(remaining.end(), listed.begin() + static_cast<std::ptrdiff_t>(i), listed.end());
            return {TransferFailure(FailureSource::ImageFile, st), true};
        }
    }
    return {TransferDone()};
}

CopyEnd Reread(DriveAccess& drive, char letter, const std::string& path, TransferHost& host, bool lockVolume)
{
    ImageSectors image;
    IoStatus st;
    if (!OpenImageForRestore(path, image, st))
        return {TransferFailure(FailureSource::ImageFile, st)};
    SectorMap map;
    if (st = ReadImageMap(path, image.bytesPerSector, image.sectorCount, map); !st.ok())
        return {TransferFailure(FailureSource::ImageFile, st.error == ENOENT ? IoStatus::Fail(EINVAL) : st)};
    if (st = MediumMatches(drive, letter, image); !st.ok())
        return {TransferFailure(FailureSource::Drive, st)};

    const std::vector<std::uint64_t> listed = map.Sectors();
    host.SetProgressRange(listed.size());
    host.SetProgressUnit(image.bytesPerSector);
    DeviceSession device(host);
    if (st = device.Open(drive, letter, false, lockVolume); !st.ok())
        return {DeviceOpenFailure(st)};
    auto file = OpenImageForPatching(path, st);
    if (!file)
        return {TransferFailure(FailureSource::ImageFile, st)};

    std::vector<std::uint64_t> remaining;
    CopyEnd end = ReadListed(device, *file, image, listed, host, remaining);
    (void)device.Release(); // read only: nothing of ours is waiting to be flushed
    // The data first: only what is on the storage leaves the map.
    if (st = file->Finish(); !st.ok())
        return {TransferFailure(FailureSource::ImageFile, st), true};
    DataHashes hashes;
    if (st = HashImageFile(path, hashes); !st.ok())
        return {TransferFailure(FailureSource::ImageFile, st), true};
    const SectorMap left = SectorMap::FromSectors(std::move(remaining));
    if (st = WriteMap(path, left, image.bytesPerSector, image.sectorCount, hashes); !st.ok())
        return {TransferFailure(FailureSource::ImageFile, st), true};
    if (end.result.outcome == kTransferDone) {
        end.result.hashes = hashes;
        end.result.unreadable = left.count();
        end.result.recovered = listed.size() - left.count();
    }
    return end;
}

} // namespace

TransferResult RereadUnreadable(DriveAccess& drive, char letter, const std::string& path, TransferHost& host)
{
    return Conclude(Reread(drive, letter, path, host, drive.IsNtFamily()), host);
}
