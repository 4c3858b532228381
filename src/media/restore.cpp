#include "media/restore.h"

#include <cerrno>
#include <vector>

#include "library/imagefile.h"
#include "media/devicesession.h"

namespace {

// false when the drive reports a medium too small for the image; a drive
// that cannot tell its size (a medium without a file system) is let through,
// and a request beyond its end fails there.
bool MediumHolds(DriveAccess& drive, char letter, const ImageSectors& image)
{
    AllocationFigures figures;
    if (!drive.QueryAllocation(letter, figures).ok() || figures.totalSectors == 0 || figures.bytesPerSector == 0)
        return true;
    return figures.totalSectors * figures.bytesPerSector >=
           std::uint64_t{image.sectorCount} * image.bytesPerSector;
}

// Steps from opening the drive to the end of the copy.
CopyEnd CopyToMedium(DriveAccess& drive, char letter, ImageFileReader& file, const ImageSectors& image,
                     TransferHost& host, bool ntFamily)
{
    DeviceSession device(host);
    IoStatus st = device.Open(drive, letter, true, ntFamily);
    if (!st.ok())
        return {TransferFailure(FailureSource::Drive, st)};

    // The NT-family writer ends every way through the cancel test; the
    // grouped one skips it when a request fails.
    const bool failureStands = !ntFamily;
    const std::uint32_t perCall = ntFamily ? 1 : SectorsPerCall(image.sectorCount);
    host.SetProgressRange(image.sectorCount);
    host.SetProgressUnit(image.bytesPerSector);
    std::vector<std::uint8_t> buffer(std::size_t{image.bytesPerSector} * perCall);
    for (std::uint32_t k = 0; k < image.sectorCount; k += perCall) {
        if (CancelledBefore(host, k))
            break;
        if (st = file.Read(buffer); !st.ok())
            return {TransferFailure(FailureSource::ImageFile, st), failureStands};
        if (st = device->WriteSectors(k, perCall, buffer); !st.ok())
            return {TransferFailure(FailureSource::Drive, st), failureStands};
    }
    // What the device could not flush is not on the medium.
    if (st = device.Release(); !st.ok())
        return {TransferFailure(FailureSource::Drive, st)};
    return {TransferDone()};
}

TransferResult Restore(DriveAccess& drive, char letter, const std::string& path, TransferHost& host, bool ntFamily)
{
    ImageSectors image;
    IoStatus st;
    auto file = OpenImageForRestore(path, image, st);
    if (!file)
        return TransferFailure(FailureSource::ImageFile, st);
    if (!MediumHolds(drive, letter, image))
        return TransferFailure(FailureSource::Drive, IoStatus::Fail(ENOSPC));
    return Conclude(CopyToMedium(drive, letter, *file, image, host, ntFamily), host);
}

} // namespace

std::unique_ptr<ImageFileReader> OpenImageForRestore(const std::string& path, ImageSectors& sectors, IoStatus& status)
{
    auto file = OpenImageFile(path, status);
    if (!file)
        return nullptr;
    HeaderBytes header{};
    // A file shorter than the header fails here with ENODATA.
    if (status = file->Read(header); !status.ok())
        return nullptr;
    const ImageHeader h = ReadHeader(header);
    if (h.bytesPerSector == 0 || h.bytesPerSector > kSectorBufferSize || h.sectorCount == 0) {
        status = IoStatus::Fail(EINVAL);
        return nullptr;
    }
    if (file->Size() < SectorPosition(h.sectorCount, h.bytesPerSector)) {
        status = IoStatus::Fail(ENODATA);
        return nullptr;
    }
    sectors.bytesPerSector = h.bytesPerSector;
    sectors.sectorCount = h.sectorCount;
    status = IoStatus::Ok();
    return file;
}

std::uint32_t SectorsPerCall(std::uint32_t sectorCount)
{
    for (std::uint32_t n = 99; n >= 2; --n)
        if (sectorCount % n == 0)
            return n;
    return 1;
}

TransferResult RestoreToDriveNT(DriveAccess& drive, char letter, const std::string& path, TransferHost& host)
{
    return Restore(drive, letter, path, host, true);
}

TransferResult RestoreToDrive9x(DriveAccess& drive, char letter, const std::string& path, TransferHost& host)
{
    return Restore(drive, letter, path, host, false);
}

TransferResult RestoreToDrive(DriveAccess& drive, char letter, const std::string& path, TransferHost& host)
{
    return drive.IsNtFamily() ? RestoreToDriveNT(drive, letter, path, host)
                              : RestoreToDrive9x(drive, letter, path, host);
}
