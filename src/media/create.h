#pragma once
// Image creation: the medium in a drive, sector by sector from sector 0,
// into a new image file.
#include <string>

#include "media/drive.h"
#include "media/transfer.h"

// Asks for the six descriptive fields, then copies every sector of the
// medium in drive `letter` behind a fresh header into the file at path
// (created or emptied). The header's sector count is the medium's total
// sector count, so the image holds the whole medium.
//
// Outcomes: 0 copied (the file is complete and on storage); 1 the property
// dialog was left without OK, nothing read; -1 failure (allocation query,
// bytes per sector outside 1..8192, open, lock, a sector read, or any
// create, write, sync or close of the image file); -2 Esc, seen after the
// copy ends, which wins over 0 and over a failure before the first sector.
// The caller ejects the medium and deletes the file unless the outcome is 0.
//
// The NT-family copy holds a volume lock for its whole length; the 9x one
// does not lock. Both read one sector per device request.
TransferResult CreateFromDriveNT(DriveAccess& drive, char letter, const std::string& path, CreationHost& host);
TransferResult CreateFromDrive9x(DriveAccess& drive, char letter, const std::string& path, CreationHost& host);

// The realisation the drive's platform family calls for.
TransferResult CreateFromDrive(DriveAccess& drive, char letter, const std::string& path, CreationHost& host);
