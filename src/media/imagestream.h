#pragma once
// Sequential access to an image file for the copy loops: appending while an
// image is created, reading in order while one is restored. Both buffer, so
// a sector costs no system call of its own; every failure keeps the
// system's error code. One realisation per host (imagestream_linux.cpp).
#include <cstdint>
#include <memory>
#include <span>
#include <string>

#include "media/drive.h"

class ImageFileWriter {
public:
    virtual ~ImageFileWriter() = default;
    // Appends bytes (they may stay buffered until Finish).
    virtual IoStatus Append(std::span<const std::uint8_t> bytes) = 0;
    // Writes what is buffered, forces it to the storage and closes the file.
    // Only a file whose Finish succeeded is complete. Destruction without
    // Finish closes the file as it stands.
    virtual IoStatus Finish() = 0;
};

class ImageFileReader {
public:
    virtual ~ImageFileReader() = default;
    // Length of the file in bytes when it was opened.
    virtual std::uint64_t Size() const = 0;
    // Fills bytes with the next bytes.size() bytes of the file; reaching the
    // end of the file first is a failure (ENODATA).
    virtual IoStatus Read(std::span<std::uint8_t> bytes) = 0;
};

// Opens path for writing, creating it or emptying it. Null on failure.
std::unique_ptr<ImageFileWriter> CreateImageFile(const std::string& path, IoStatus& status);

// Opens path for reading only. Null on failure.
std::unique_ptr<ImageFileReader> OpenImageFile(const std::string& path, IoStatus& status);

// An existing image file whose sectors are rewritten in place (re-reading
// unreadable sectors). Every write goes straight to the file.
class ImageFilePatcher {
public:
    virtual ~ImageFilePatcher() = default;
    virtual IoStatus WriteAt(std::uint64_t offset, std::span<const std::uint8_t> bytes) = 0;
    // Forces what was written to the storage and closes the file. Destruction
    // without Finish closes the file as it stands.
    virtual IoStatus Finish() = 0;
};

// Opens the regular file at path for writing in place. Null on failure.
std::unique_ptr<ImageFilePatcher> OpenImageForPatching(const std::string& path, IoStatus& status);
