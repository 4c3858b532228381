#include "media/faultmedium.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <thread>

#include "media/virtual_drive.h"
#include "support/tempdir.h"

namespace {

namespace fs = std::filesystem;

// Waits up to a few seconds for the child to end; false when it did not.
bool Reaped(pid_t pid)
{
    for (int i = 0; i < 500; ++i) {
        int status = 0;
        if (::waitpid(pid, &status, WNOHANG) == pid)
            return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return false;
}

std::string Joined(const std::set<std::uint64_t>& sectors)
{
    std::string out;
    for (std::uint64_t s : sectors)
        out += ' ' + std::to_string(s);
    return out;
}

} // namespace

std::string FaultMediumUnavailable()
{
    if (::geteuid() != 0)
        return "a FUSE medium under a loop device needs root";
    if (::access("/dev/fuse", R_OK | W_OK) != 0)
        return "no /dev/fuse";
#ifndef TESSARINE_FAULTFS
    return "faultfs was not built (libfuse3 missing)";
#else
    if (::access(TESSARINE_FAULTFS, X_OK) != 0)
        return std::string("faultfs is missing: ") + TESSARINE_FAULTFS;
    return {};
#endif
}

FaultMedium::FaultMedium(const TempDir& dir, const std::vector<std::uint8_t>& bytes)
    : backing_(dir.file("fault-backing.img")), mountPoint_(dir.file("fault"))
{
#ifdef TESSARINE_FAULTFS
    WriteFileBytes(backing_, bytes);
    fs::create_directories(mountPoint_);
    struct stat before {};
    ::stat(mountPoint_.c_str(), &before);
    server_ = ::fork();
    if (server_ == 0) {
        ::execl(TESSARINE_FAULTFS, "faultfs", backing_.c_str(), mountPoint_.c_str(), static_cast<char*>(nullptr));
        ::_exit(127);
    }
    if (server_ < 0) {
        error_ = "fork failed";
        return;
    }
    // Mounted once the folder is another file system.
    const std::string medium = mountPoint_ + "/medium";
    for (int i = 0; i < 500; ++i) {
        struct stat now {};
        if (::stat(medium.c_str(), &now) == 0 && now.st_dev != before.st_dev) {
            path_ = medium;
            return;
        }
        int status = 0;
        if (::waitpid(server_, &status, WNOHANG) == server_) {
            server_ = -1;
            error_ = "faultfs ended before mounting";
            return;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    error_ = "faultfs did not mount";
#else
    (void)dir;
    (void)bytes;
    error_ = "faultfs was not built";
#endif
}

FaultMedium::~FaultMedium()
{
    if (server_ <= 0)
        return;
    if (::umount(mountPoint_.c_str()) != 0)
        ::umount2(mountPoint_.c_str(), MNT_DETACH);
    if (!Reaped(server_)) {
        ::kill(server_, SIGKILL);
        ::waitpid(server_, nullptr, 0);
    }
}

bool FaultMedium::SetFaults(const std::set<std::uint64_t>& badSectors, const std::set<std::uint64_t>& droppedWrites)
{
    if (path_.empty())
        return false;
    std::ofstream out(mountPoint_ + "/faults", std::ios::trunc);
    out << "bad" << Joined(badSectors) << "\ndrop" << Joined(droppedWrites) << "\n";
    out.close();
    return static_cast<bool>(out);
}

std::vector<std::uint8_t> FaultMedium::Stored() const
{
    return FileBytes(backing_);
}
