#pragma once
// What the two copy loops (medium to image file, image file to medium) share:
// the window they report to, and the result they hand back to their command.
#include <cstdint>
#include <string>

#include "library/datahash.h"
#include "library/imagefile.h"
#include "media/drive.h"

// Transfer outcome, as the commands act on it.
inline constexpr int kTransferDone = 0;
inline constexpr int kTransferNotConfirmed = 1; // property dialog left without OK
inline constexpr int kTransferFailed = -1;
inline constexpr int kTransferCancelled = -2;   // Esc; wins over 0

// The largest sector the copy loops handle: creation reads into a buffer of
// this size, restoration writes from one.
inline constexpr std::uint32_t kSectorBufferSize = 8192;

// Where a failure came from. The command blames the disk for a drive
// failure, tells a drive that someone else holds (nothing moved) as in use,
// and gives the system's own text for an image-file failure.
enum class FailureSource { None, Drive, DriveInUse, ImageFile };

struct TransferResult {
    int outcome = kTransferFailed;
    FailureSource source = FailureSource::None;
    IoStatus status; // the system's error, when there was one
    // Creation: sectors that stayed unreadable and went into the image as
    // zero bytes, listed in the map beside it.
    std::uint64_t unreadable = 0;
    // Re-reading: sectors of the map that read this time and are now in the
    // image (unreadable then counts those still listed).
    std::uint64_t recovered = 0;
    // Verified restoration: sectors of the medium that differ from the
    // image after writing, and the first of them.
    std::uint64_t differing = 0;
    std::uint64_t firstDiffering = 0;
    // CRC32, MD5 and SHA-1 of the sector data, when the transfer ended with
    // every sector known (hashes.size is then the data's length).
    DataHashes hashes;

    std::string errorText() const { return status.message(); }
};

// The window a transfer runs in. Everything is called on the one user
// interface thread.
class TransferHost {
public:
    virtual ~TransferHost() = default;

    // Progress bar: minimum 0, the given maximum, position 0.
    virtual void SetProgressRange(std::uint64_t maximum) = 0;
    virtual void SetProgress(std::uint64_t position) = 0;
    // The bytes one step of progress stands for (a sector), for a front end
    // that shows speed.
    virtual void SetProgressUnit(std::uint32_t bytes) { (void)bytes; }
    // Lets pending window messages run (painting, the Esc key).
    virtual void ProcessMessages() = 0;
    // The main window's cancel flag; the loops only read it.
    virtual bool CancelRequested() = 0;
    // Restoration: the medium is being read back to compare it with the image.
    virtual void Verifying() {}
};

class CreationHost : public TransferHost {
public:
    // Runs the property dialog (caption message 39, all fields empty).
    // true when it was left with OK; texts then holds the six entries.
    virtual bool AskImageTexts(ImageTexts& texts) = 0;
    // Asked once per disk, when `sector` stays unreadable after its
    // retries: true goes on to the end, recording every unreadable sector;
    // false ends the copy as a failed read.
    virtual bool AskKeepUnreadable(std::uint64_t sector) = 0;
};
