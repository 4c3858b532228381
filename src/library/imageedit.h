#pragma once
// Editing an existing image in place: its header is read, its descriptive
// part rewritten and written back; and deleting image files. One
// realisation per host (imageedit_linux.cpp).
#include <string>
#include <vector>

#include "library/imagefile.h"
#include "base/iostatus.h"

// An image file held open for reading and writing while its header is edited.
// Closed on destruction; Close() reports a failed close.
class ImageHeaderFile {
public:
    ImageHeaderFile() = default;
    ~ImageHeaderFile();
    ImageHeaderFile(const ImageHeaderFile&) = delete;
    ImageHeaderFile& operator=(const ImageHeaderFile&) = delete;

    // Opens a regular file for reading and writing and reads its 256 header
    // bytes. Anything else (a missing file, a folder, a device, a read-only
    // file, a file shorter than 256 bytes) fails and leaves nothing open.
    IoStatus Open(const std::string& path);

    bool isOpen() const { return fd_ >= 0; }

    // The header as read by Open.
    const HeaderBytes& header() const { return header_; }

    // Whether another program has changed the header since it was read:
    // the file's 256 bytes now against those read. When they differ they
    // become the header kept, so that a rewrite after it changes only the
    // texts and keeps what the other program wrote in 244..255.
    IoStatus Recheck(bool& changed);

    // Rebuilds bytes 0..243 from texts in the header read, keeps 244..255,
    // and writes the 256 bytes at offset 0. The sector data is not touched.
    IoStatus WriteTexts(const ImageTexts& texts);

    IoStatus Close();

private:
    int fd_ = -1;
    HeaderBytes header_{};
};

// Deletes the file at path when it is a regular file. A link to a regular
// file is removed itself, never its target; folders, devices and pipes stay.
// An image held by another instance (imagehold.h) stays: EWOULDBLOCK.
IoStatus DeleteImageFile(const std::string& path);

// Deletes each file in order; one failure does not stop the others.
std::vector<IoStatus> DeleteImageFiles(const std::vector<std::string>& paths);
