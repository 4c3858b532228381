#pragma once
// Descriptor-level header I/O shared by the file helpers and the scan.
#include "library/imagefile.h"

// Reads exactly 256 bytes from the descriptor's current position; a short
// file gives ENODATA. Never reads more than the header.
IoStatus ReadHeaderFromFd(int fd, HeaderBytes& header);
