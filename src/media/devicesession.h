#pragma once
// The steps the two copy loops share: holding the device, the turn of the
// loop that keeps the window alive, and how Esc judges the end.
#include <cerrno>
#include <cstdint>
#include <memory>

#include "media/drive.h"
#include "media/transfer.h"

// A result with only its outcome (and, for a failure, its cause) set.
inline TransferResult TransferEnded(int outcome)
{
    TransferResult result;
    result.outcome = outcome;
    return result;
}

inline TransferResult TransferFailure(FailureSource source, IoStatus status)
{
    TransferResult result = TransferEnded(kTransferFailed);
    result.source = source;
    result.status = status;
    return result;
}

inline TransferResult TransferDone()
{
    return TransferEnded(kTransferDone);
}

// The open or the lock of the drive failed: a device that someone else holds
// (a file system, another program's exclusive open) is in use, not broken.
inline TransferResult DeviceOpenFailure(IoStatus status)
{
    return TransferFailure(status.error == EBUSY ? FailureSource::DriveInUse : FailureSource::Drive, status);
}

// A device held by one copy loop: on every way out it is unlocked (when it
// was locked) and closed, and the progress bar goes back to 0.
class DeviceSession {
public:
    explicit DeviceSession(TransferHost& host) : host_(host) {}
    ~DeviceSession() { Release(); }
    DeviceSession(const DeviceSession&) = delete;
    DeviceSession& operator=(const DeviceSession&) = delete;

    // Opens the drive and, when asked, locks the volume; a transfer does
    // not start on a volume it could not lock.
    IoStatus Open(DriveAccess& drive, char letter, bool forWriting, bool lock)
    {
        IoStatus st;
        handle_ = drive.Open(letter, forWriting, st);
        if (!handle_)
            return st;
        if (lock) {
            st = handle_->Lock();
            locked_ = st.ok();
        }
        return st;
    }

    DeviceHandle* operator->() { return handle_.get(); }

    // Unlock, close (which flushes what was written) and progress 0; the
    // close's result is the caller's to judge.
    IoStatus Release()
    {
        if (!handle_)
            return IoStatus::Ok();
        if (locked_)
            handle_->Unlock();
        IoStatus st = handle_->Close();
        handle_.reset();
        host_.SetProgress(0);
        return st;
    }

private:
    std::unique_ptr<DeviceHandle> handle_;
    TransferHost& host_;
    bool locked_ = false;
};

// One turn of a copy loop, before the step at position: the progress bar,
// pending window messages (Esc among them), then the cancel test.
inline bool CancelledBefore(TransferHost& host, std::uint64_t position)
{
    host.SetProgress(position);
    host.ProcessMessages();
    return host.CancelRequested();
}

// How a copy loop ended. A failure that stands is final; otherwise Esc,
// pressed at any time, turns the outcome into -2.
struct CopyEnd {
    TransferResult result;
    bool stands = false;
};

inline TransferResult Conclude(const CopyEnd& end, TransferHost& host)
{
    if (!end.stands && host.CancelRequested())
        return TransferEnded(kTransferCancelled);
    return end.result;
}
