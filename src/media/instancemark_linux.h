#pragma once
// How instances of this program tell each other that one of them is
// transferring on a drive: an open-file-description lock on the device (or
// image file) over one byte far beyond the end of any medium. Such locks
// belong to the opened device, not the process, so every open of the same
// device node sees them, whoever the user and however it was opened
// (directly or through the device broker), and they go when the holder
// closes the device or dies.
#include "media/drive.h" // IoStatus

// Marks the drive opened as fd as in use: shared for reading, exclusive for
// writing (fd must then be open for writing). EBUSY when another instance
// holds a mark that conflicts.
IoStatus MarkInUse(int fd, bool writing);
void ClearInUseMark(int fd);
// true when another opening of the drive holds a mark.
bool MarkedInUse(int fd);
