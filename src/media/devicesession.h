#pragma once
// A device held by one copy loop: on every way out it is unlocked (when it
// was locked) and closed, and the progress bar goes back to 0.
#include <memory>
#include <utility>

#include "media/drive.h"
#include "media/transfer.h"

class DeviceSession {
public:
    DeviceSession(std::unique_ptr<DeviceHandle> handle, TransferHost& host) : handle_(std::move(handle)), host_(host)
    {
    }
    ~DeviceSession() { Release(); }
    DeviceSession(const DeviceSession&) = delete;
    DeviceSession& operator=(const DeviceSession&) = delete;

    DeviceHandle* operator->() { return handle_.get(); }

    IoStatus Lock()
    {
        IoStatus st = handle_->Lock();
        locked_ = st.ok();
        return st;
    }

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
