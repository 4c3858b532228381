#pragma once
// While alive, this thread's file-permission checks run as an unprivileged
// user, so that a read-only file is read-only also when the tests run as
// root. For other users it does nothing: their own permissions already apply.
#include <sys/fsuid.h>
#include <unistd.h>

class UnprivilegedFiles {
public:
    static constexpr uid_t kNobody = 65534;

    UnprivilegedFiles()
    {
        if (::geteuid() == 0) {
            ::setfsuid(kNobody);
            active_ = ::setfsuid(kNobody) == static_cast<int>(kNobody);
        }
    }
    ~UnprivilegedFiles()
    {
        if (active_)
            ::setfsuid(0);
    }
    UnprivilegedFiles(const UnprivilegedFiles&) = delete;
    UnprivilegedFiles& operator=(const UnprivilegedFiles&) = delete;

    // False when running as root and the switch failed: the test cannot
    // make a file read-only and should skip.
    bool effective() const { return ::geteuid() != 0 || active_; }

private:
    bool active_ = false;
};
