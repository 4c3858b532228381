#include "media/fatmedia.h"

#include "media/virtual_drive.h"

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>

#include <sys/mount.h>
#include <sys/wait.h>
#include <unistd.h>

int RunCommandOutput(const std::string& command, std::string& output)
{
    FILE* pipe = ::popen(command.c_str(), "r");
    if (!pipe)
        return -1;
    std::string text;
    char buf[65536];
    std::size_t n;
    while ((n = std::fread(buf, 1, sizeof buf, pipe)) > 0)
        text.append(buf, n);
    const int status = ::pclose(pipe);
    output = std::move(text);
    return status != -1 && WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

std::string ShellQuote(const std::string& text)
{
    std::string q = "'";
    for (char c : text) {
        if (c == '\'')
            q += "'\\''";
        else
            q += c;
    }
    return q + "'";
}

namespace {

const char* const kMtools = "MTOOLS_SKIP_CHECK=1 ";
// The file-system tools live in sbin, which a user's PATH may lack.
const char* const kSbin = "PATH=\"$PATH:/usr/sbin:/sbin\" ";

std::string RandomBytes(std::size_t n, unsigned seed)
{
    std::mt19937 gen(seed);
    std::string s(n, '\0');
    for (char& c : s)
        c = static_cast<char>(gen() & 0xFF);
    return s;
}

std::uint32_t ClustersFor(std::size_t bytes, std::uint32_t clusterBytes)
{
    return static_cast<std::uint32_t>((bytes + clusterBytes - 1) / clusterBytes);
}

} // namespace

std::map<std::string, std::string> MakeFullFatMedium(const TempDir& tmp, const std::string& fileName,
                                                     const FatGeometry& g, std::string* error)
{
    const std::string path = MakeFatImage(tmp, fileName, g.kilobytes, "-n TESTDISK");
    if (path.empty()) {
        *error = "mkfs.fat could not make a " + std::string(g.name) + " medium";
        return {};
    }

    std::map<std::string, std::string> files;
    files["README.TXT"] = "A disk that is full to its last cluster.\r\n";
    files["HALF.BIN"] = RandomBytes(g.clusters * g.clusterBytes / 2 + 123, g.kilobytes);
    files["SMALL.DAT"] = RandomBytes(3000, g.kilobytes + 1);
    std::uint32_t used = 0;
    for (const auto& [name, content] : files)
        used += ClustersFor(content.size(), g.clusterBytes);
    // The rest of the disk, less a few bytes of its last cluster.
    files["TAIL.BIN"] = RandomBytes((g.clusters - used) * g.clusterBytes - 7, g.kilobytes + 2);

    const std::filesystem::path dir = path + ".files";
    std::filesystem::create_directories(dir);
    std::string command = kMtools + std::string("mcopy -i ") + ShellQuote(path);
    for (const auto& [name, content] : files) {
        std::ofstream((dir / name).string(), std::ios::binary) << content;
        command += ' ';
        command += ShellQuote((dir / name).string());
    }
    command += " :: 2>&1";
    std::string out;
    const int status = RunCommandOutput(command, out);
    std::filesystem::remove_all(dir);
    if (status != 0) {
        *error = "mcopy: " + out;
        return {};
    }
    return files;
}

bool FatMediumHolds(const std::string& path, const std::map<std::string, std::string>& files, std::string* error)
{
    std::string out;
    if (RunCommandOutput(kSbin + std::string("fsck.fat -n ") + ShellQuote(path) + " 2>&1", out) != 0) {
        *error = "fsck.fat: " + out;
        return false;
    }
    for (const auto& [name, content] : files) {
        std::string back;
        if (RunCommandOutput(kMtools + std::string("mcopy -n -i ") + ShellQuote(path) + " ::" + name + " -", back) != 0) {
            *error = "mcopy could not read " + name;
            return false;
        }
        if (back != content) {
            *error = name + " differs (" + std::to_string(back.size()) + " bytes read, " +
                     std::to_string(content.size()) + " written)";
            return false;
        }
    }
    return true;
}

std::string FatToolsMissing()
{
    for (const char* tool : {"mkfs.fat", "fsck.fat", "mcopy"})
        if (RunCommand(kSbin + std::string("command -v ") + tool + " >/dev/null") != 0)
            return std::string(tool) + " is not installed (dosfstools, mtools)";
    return {};
}

std::string LoopDevicesUnavailable()
{
    if (::geteuid() != 0)
        return "loop devices need root";
    if (RunCommand(kSbin + std::string("command -v losetup >/dev/null")) != 0)
        return "losetup is not installed";
    return {};
}

LoopDevice::LoopDevice(const std::string& file, const std::string& options)
{
    std::string out;
    const int rc = RunCommandOutput(kSbin + std::string("losetup -f --show ") + options + ' ' + ShellQuote(file) + " 2>&1", out);
    // A warning (a file that is no whole number of sectors) comes before the
    // device's name; the device is attached all the same.
    const std::size_t at = out.rfind("/dev/loop");
    if (rc != 0 || at == std::string::npos || (at != 0 && out[at - 1] != '\n')) {
        error_ = "losetup: " + out;
        return;
    }
    path_ = out.substr(at);
    while (!path_.empty() && (path_.back() == '\n' || path_.back() == '\r'))
        path_.pop_back();
}

LoopDevice::~LoopDevice()
{
    if (!path_.empty())
        RunCommand(kSbin + std::string("losetup -d ") + ShellQuote(path_));
}

Mount::Mount(const std::string& device, const std::string& point, unsigned long flags) : point_(point)
{
    std::filesystem::create_directories(point);
    // The ext4 driver mounts ext2 as well.
    mounted_ = ::mount(device.c_str(), point.c_str(), flags & MS_BIND ? nullptr : "ext4", flags, nullptr) == 0;
}

Mount::~Mount()
{
    if (mounted_ && ::umount(point_.c_str()) != 0)
        ::umount2(point_.c_str(), MNT_DETACH);
}
