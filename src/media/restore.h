#pragma once
// Image restoration: one image file onto the medium in a drive, sector k of
// the image to sector k of the medium.
#include <cstdint>
#include <memory>
#include <string>

#include "library/scan.h"
#include "media/drive.h"
#include "media/imagestream.h"
#include "media/transfer.h"

// The two header numbers restoration goes by.
struct ImageSectors {
    std::uint32_t bytesPerSector = 0;
    std::uint32_t sectorCount = 0;
};

// Opens the image file at path and checks that it can be restored: a full
// header, bytes per sector from 1 to kSectorBufferSize, a sector count above
// 0 and at least sector count x bytes per sector bytes of sector data.
// Returns the file positioned at its sector data, or null with status
// telling why (the system's error; EINVAL for a nonsense header, ENODATA
// for a file too short).
std::unique_ptr<ImageFileReader> OpenImageForRestore(const std::string& path, ImageSectors& sectors,
                                                     IoStatus& status);

// What restoration finds of one image before any medium is asked for.
struct RestoreCheck {
    IoStatus status;          // not ok: the image cannot be restored (ENODATA: too short)
    ImageSectors sectors;     // when ok
    ImageCondition condition; // sectors held and counted; whether a map lies beside it
    std::uint64_t unreadable = 0; // sectors the map lists (all, when the map cannot be read)
};
RestoreCheck CheckImageForRestore(const std::string& path);

// Sectors per write request of the grouped writer: the largest n from 99
// down to 2 that divides sectorCount, else 1. Every request then carries
// the same number of sectors and the last one ends at the last sector.
std::uint32_t SectorsPerCall(std::uint32_t sectorCount);

// Sectors per write request: the grouped writer's SectorsPerCall; the
// NT-family writer one sector per request up to the size of the largest
// floppy format, and above it (cards, sticks, where a sector a request
// takes hours) the requests creation reads in, the last one shorter.
std::uint32_t WriteRequestSectors(std::uint32_t sectorCount, std::uint32_t bytesPerSector, bool ntFamily);

// Writes the image at path onto the medium in drive `letter`, then flushes
// it and reads it back past the host's cache to compare it with the image.
//
// The image file is checked before the device is opened (and the medium's
// size against it, when the drive can tell it); a file that fails is -1
// with nothing written. A sector is written only from bytes read from the
// file. Outcomes: 0 written; -1 failure (image file, open, lock, a write,
// the final flush); -2 Esc, seen when the writer ends, which wins over 0
// and over every failure except a failed grouped request. A medium that
// reads back different is -1 with differing and firstDiffering set (Esc
// does not hide it); one that agrees has the data's hashes. The caller
// ejects the medium whatever the outcome.
//
// NT family: exclusive lock, WriteRequestSectors per request.
TransferResult RestoreToDriveNT(DriveAccess& drive, char letter, const std::string& path, TransferHost& host);
// Windows 9x family: no lock, SectorsPerCall(sector count) sectors per
// request, progress at 0, n, 2n, ... before each.
TransferResult RestoreToDrive9x(DriveAccess& drive, char letter, const std::string& path, TransferHost& host);

// The realisation the drive's platform family calls for.
TransferResult RestoreToDrive(DriveAccess& drive, char letter, const std::string& path, TransferHost& host);
