#pragma once
// Holds on image files between instances. Creation, restoration and the
// property editor hold the image they work on (an flock on it) while they
// work on it; deletion and the property editor of another instance then
// refuse it. Advisory: a program that takes no holds is not stopped, which
// is why creation also looks whether its file still has a name.
#include <cerrno>
#include <string>

#include "base/iostatus.h"

enum class HoldKind {
    Shared,    // restoration: several may read one image at once
    Exclusive, // creation, the property editor, deletion
};

class ImageHold {
public:
    ImageHold() = default;
    ~ImageHold() { Release(); }
    ImageHold(ImageHold&& other) noexcept;
    ImageHold& operator=(ImageHold&& other) noexcept;
    ImageHold(const ImageHold&) = delete;
    ImageHold& operator=(const ImageHold&) = delete;

    // Takes the hold on the regular file at path without waiting: EWOULDBLOCK
    // while another holds it in a way that excludes this kind, ENOENT when
    // the file is gone (also when it went while the hold was being taken).
    IoStatus Take(const std::string& path, HoldKind kind);

    bool held() const { return fd_ >= 0; }

    // Whether the held file still has a name in a folder (fstat st_nlink):
    // false once another program has deleted it.
    IoStatus StillLinked(bool& linked) const;

    void Release();

private:
    int fd_ = -1;
};

// A hold refused because another holds the file.
inline bool HeldElsewhere(const IoStatus& status) { return status.error == EWOULDBLOCK; }
