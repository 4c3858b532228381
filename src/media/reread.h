#pragma once
// Re-reading an image's unreadable sectors: the sectors its map lists, read
// again from the medium now in a drive (a second drive, a cleaned disk)
// into the same image file.
#include <string>

#include "media/drive.h"
#include "media/transfer.h"

// Reads each sector the map beside the image at path lists, up to
// kReadAttempts times, from the medium in drive `letter`, and writes the
// ones that read into the image in place. The map then lists only the
// sectors still unreadable, with the hashes of the image's data in its
// comments; when none is left it is removed. The image's data reaches the
// storage before the map changes, so a map never vouches for a sector the
// image does not hold.
//
// The image must be complete and have a readable map, and the medium must
// have the image's bytes per sector and (when the drive tells it) its
// sector count; otherwise -1 before a sector is read (EINVAL: no usable
// map; EMEDIUMTYPE: another kind of medium).
//
// Outcomes: 0 done (recovered: sectors now read, unreadable: still listed;
// hashes of the data); -1 failure (image file, map, open, lock); -2 Esc,
// seen before each sector, which wins over 0: what was read so far stays
// in the image and the map is brought up to date all the same. The
// caller ejects the medium whatever the outcome.
TransferResult RereadUnreadable(DriveAccess& drive, char letter, const std::string& path, TransferHost& host);
