#pragma once
// Image creation: the medium in a drive, sector by sector from sector 0,
// into a new image file.
#include <cstdint>
#include <string>

#include "library/sectormap.h"
#include "media/drive.h"
#include "media/transfer.h"

// Asks for the six descriptive fields, then copies every sector of the
// medium in drive `letter` behind a fresh header into the file at path
// (created or emptied). The header's sector count is the medium's total
// sector count, so the image holds the whole medium.
//
// The medium is read in requests of ReadRequestSectors sectors, with the
// progress bar, the message pump and the Esc test once per request. A
// request that fails is read again sector by sector, each sector up to
// kReadAttempts times, so one bad sector costs one sector. A sector that
// stays unreadable asks the host once per disk (AskKeepUnreadable): no ends
// the copy as a failed read; yes writes it and every later unreadable
// sector as zero bytes and lists them in the map beside the image
// (MapPathOf), written when the image is complete. A clean copy leaves no map.
//
// Outcomes: 0 copied (the file is complete and on storage; unreadable
// counts the holes); 1 the property dialog was left without OK, nothing
// read; -1 failure (allocation query, bytes per sector outside 1..8192,
// open, lock, an unreadable sector the user would not keep, or any create,
// write, sync or close of the image file or its map); -2 Esc, seen after
// the copy ends, which wins over 0 and over a failure before the first
// sector. The caller ejects the medium and deletes the file (and its map)
// unless the outcome is 0.
//
// The NT-family copy holds a volume lock for its whole length; the 9x one
// does not lock.
inline constexpr int kReadAttempts = 3;

// The largest floppy format ReadRequestSectors knows (2.88 MB).
inline constexpr std::uint64_t kLargestFloppyBytes = 5760u * 512;

// Sectors per read request: one cylinder for the usual floppy formats (36,
// 18 KiB, for a 1.44 MB disk), else as many as make 1 MiB, never more than
// the medium.
std::uint32_t ReadRequestSectors(std::uint64_t totalSectors, std::uint32_t bytesPerSector);

// Writes the map beside the image at path, with the data's hashes as
// comments, to storage; an empty map removes one left from before.
IoStatus WriteMap(const std::string& path, const SectorMap& map, std::uint32_t bytesPerSector,
                  std::uint32_t sectorCount, const DataHashes& hashes);

TransferResult CreateFromDriveNT(DriveAccess& drive, char letter, const std::string& path, CreationHost& host);
TransferResult CreateFromDrive9x(DriveAccess& drive, char letter, const std::string& path, CreationHost& host);

// The realisation the drive's platform family calls for.
TransferResult CreateFromDrive(DriveAccess& drive, char letter, const std::string& path, CreationHost& host);
