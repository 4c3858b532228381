#include "media/restore.h"

#include <algorithm>
#include <cerrno>
#include <filesystem>

#include "library/imagefile.h"
#include "library/sectormap.h"
#include "media/create.h"
#include "media/devicesession.h"
#include "media/hashring.h"

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

// Reads the medium back past the host's cache and compares it with the
// image, sector by sector; hashes the image's data on the way. A sector
// that cannot be read back counts as differing: it is not known to be right.
CopyEnd VerifyMedium(DeviceSession& device, const std::string& path, TransferHost& host)
{
    ImageSectors image;
    IoStatus st;
    auto file = OpenImageForRestore(path, image, st);
    if (!file)
        return {TransferFailure(FailureSource::ImageFile, st)};
    host.Verifying();
    host.SetProgressRange(image.sectorCount);
    host.SetProgressUnit(image.bytesPerSector);
    const std::uint32_t bps = image.bytesPerSector;
    const std::uint32_t perRequest = ReadRequestSectors(image.sectorCount, bps);
    // The image's bytes are hashed in the ring while the next request is
    // read back; the medium's are read straight into aligned memory.
    HashingRing expected(std::size_t{perRequest} * bps);
    AlignedBytes actual(std::size_t{perRequest} * bps);
    TransferResult result = TransferDone();
    bool cancelled = false;
    for (std::uint32_t first = 0; first < image.sectorCount; first += perRequest) {
        // A difference found before Esc still stands.
        if ((cancelled = CancelledBefore(host, first)))
            break;
        const std::uint32_t n = std::min(perRequest, image.sectorCount - first);
        const std::span<std::uint8_t> want = expected.Next().first(std::size_t{n} * bps);
        const std::span<std::uint8_t> got = actual.span().first(want.size());
        if (st = file->Read(want); !st.ok())
            return {TransferFailure(FailureSource::ImageFile, st)};
        const bool whole = device->ReadSectors(first, n, got).ok();
        for (std::uint32_t i = 0; i < n; ++i) {
            const std::size_t at = std::size_t{i} * bps;
            const bool same = (whole || device->ReadSector(first + i, got.subspan(at, bps)).ok()) &&
                              std::equal(want.begin() + at, want.begin() + at + bps, got.begin() + at);
            if (!same && result.differing++ == 0)
                result.firstDiffering = first + i;
        }
        expected.Submit(want.size());
    }
    if (result.differing != 0) {
        // Every request succeeded: the medium did not keep the data, so
        // there is no system error to pass on, only the sectors.
        result.outcome = kTransferFailed;
        result.source = FailureSource::Drive;
        return {result, true};
    }
    if (!cancelled)
        result.hashes = expected.Finish();
    return {result};
}

// Steps from opening the drive to the end of the copy.
CopyEnd CopyToMedium(DriveAccess& drive, char letter, const std::string& path, ImageFileReader& file,
                     const ImageSectors& image, TransferHost& host, bool ntFamily)
{
    DeviceSession device(host);
    IoStatus st = device.Open(drive, letter, true, ntFamily);
    if (!st.ok())
        return {DeviceOpenFailure(st)};

    // The NT-family writer ends every way through the cancel test; the
    // grouped one skips it when a request fails.
    const bool failureStands = !ntFamily;
    const std::uint32_t perCall = WriteRequestSectors(image.sectorCount, image.bytesPerSector, ntFamily);
    host.SetProgressRange(image.sectorCount);
    host.SetProgressUnit(image.bytesPerSector);
    AlignedBytes buffer(std::size_t{image.bytesPerSector} * perCall);
    for (std::uint32_t k = 0; k < image.sectorCount; k += perCall) {
        if (CancelledBefore(host, k))
            break;
        const std::uint32_t n = std::min(perCall, image.sectorCount - k);
        const std::span<std::uint8_t> data = buffer.span().first(std::size_t{image.bytesPerSector} * n);
        if (st = file.Read(data); !st.ok())
            return {TransferFailure(FailureSource::ImageFile, st), failureStands};
        if (st = device->WriteSectors(k, n, data); !st.ok())
            return {TransferFailure(FailureSource::Drive, st), failureStands};
    }
    // What the device could not flush is not on the medium.
    if (st = device->Flush(); !st.ok())
        return {TransferFailure(FailureSource::Drive, st)};
    if (host.CancelRequested())
        return {TransferDone()};
    CopyEnd verified = VerifyMedium(device, path, host);
    if (verified.result.outcome != kTransferDone)
        return verified;
    if (st = device.Release(); !st.ok())
        return {TransferFailure(FailureSource::Drive, st)};
    return verified;
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
    return Conclude(CopyToMedium(drive, letter, path, *file, image, host, ntFamily), host);
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

std::uint32_t WriteRequestSectors(std::uint32_t sectorCount, std::uint32_t bytesPerSector, bool ntFamily)
{
    if (!ntFamily)
        return SectorsPerCall(sectorCount);
    if (std::uint64_t{sectorCount} * bytesPerSector <= kLargestFloppyBytes)
        return 1;
    return ReadRequestSectors(sectorCount, bytesPerSector);
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

RestoreCheck CheckImageForRestore(const std::string& path)
{
    RestoreCheck check;
    if (auto file = OpenImageForRestore(path, check.sectors, check.status); !file) {
        if (check.status.error == ENODATA) {
            // Too short: say how much of it is there.
            HeaderBytes header{};
            std::error_code ec;
            const std::uint64_t size = std::filesystem::file_size(path, ec);
            if (!ec && ReadHeaderFile(path, header).ok())
                check.condition = ConditionOf(header, size, false);
        }
        return check;
    }
    check.condition = {check.sectors.sectorCount, check.sectors.sectorCount, false};
    SectorMap map;
    const IoStatus st = ReadImageMap(path, check.sectors.bytesPerSector, check.sectors.sectorCount, map);
    if (st.error != ENOENT) {
        check.condition.hasMap = true;
        // A map no one can read vouches for no sector.
        check.unreadable = st.ok() ? map.count() : check.sectors.sectorCount;
    }
    return check;
}
