#include "media/create.h"

#include <array>
#include <cerrno>
#include <cstdint>
#include <limits>

#include "library/imagefile.h"
#include "media/devicesession.h"
#include "media/imagestream.h"

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

    DeviceSession device(host);
    IoStatus st = device.Open(drive, letter, false, lockVolume);
    if (!st.ok())
        return {TransferFailure(FailureSource::Drive, st)};

    auto file = CreateImageFile(path, st);
    if (!file)
        return {TransferFailure(FailureSource::ImageFile, st), true};
    const HeaderBytes header = BuildHeader(texts, figures.sectorsPerCluster, bps, count);
    if (st = file->Append(header); !st.ok())
        return {TransferFailure(FailureSource::ImageFile, st), true};

    std::array<std::uint8_t, kSectorBufferSize> buffer{};
    const std::span<std::uint8_t> sector(buffer.data(), bps);
    for (std::uint32_t i = 0; i < count; ++i) {
        if (CancelledBefore(host, i))
            return {TransferDone()};
        if (st = device->ReadSector(i, sector); !st.ok())
            return {TransferFailure(FailureSource::Drive, st), true};
        if (st = file->Append(sector); !st.ok())
            return {TransferFailure(FailureSource::ImageFile, st), true};
    }

    if (st = file->Finish(); !st.ok())
        return {TransferFailure(FailureSource::ImageFile, st), true};
    if (st = device.Release(); !st.ok())
        return {TransferFailure(FailureSource::Drive, st), true};
    return {TransferDone()};
}

TransferResult CreateFromDriveImpl(DriveAccess& drive, char letter, const std::string& path, CreationHost& host,
                                   bool lockVolume)
{
    ImageTexts texts{};
    if (!host.AskImageTexts(texts))
        return TransferResult{kTransferNotConfirmed, FailureSource::None, {}};
    return Conclude(CopySectors(drive, letter, texts, path, host, lockVolume), host);
}

} // namespace

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
