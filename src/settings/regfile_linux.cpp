// The settings store on Linux: one registry-export text file per user.
// Every operation reads the file afresh; every change is one transaction
// under an exclusive lock on a lock file beside the store, written to a
// temporary file in the same folder and renamed over the old one.
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <functional>

#include <fcntl.h>
#include <pwd.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include "base/fdio_linux.h"
#include "settings/regbackend.h"
#include "settings/regtext.h"

namespace {

std::string Dirname(const std::string& path)
{
    std::size_t slash = path.rfind('/');
    if (slash == std::string::npos)
        return ".";
    if (slash == 0)
        return "/";
    return path.substr(0, slash);
}

// Creates the folder and any missing parent.
IoStatus MakeFolders(const std::string& dir)
{
    struct stat st {};
    if (::stat(dir.c_str(), &st) == 0)
        return S_ISDIR(st.st_mode) ? IoStatus::Ok() : IoStatus::Fail(ENOTDIR);
    if (errno != ENOENT)
        return IoStatus::Fail(errno);
    std::string parent = Dirname(dir);
    if (parent != dir) {
        IoStatus s = MakeFolders(parent);
        if (!s.ok())
            return s;
    }
    if (::mkdir(dir.c_str(), 0700) != 0 && errno != EEXIST)
        return IoStatus::Fail(errno);
    return IoStatus::Ok();
}

// The file's bytes; a missing file is an empty store (exists = false).
IoStatus ReadStore(const std::string& path, std::string& bytes, bool& exists, mode_t& mode)
{
    bytes.clear();
    exists = false;
    UniqueFd fd;
    struct stat st {};
    if (IoStatus opened = OpenRegularFile(path, O_RDONLY, fd, st); !opened.ok())
        return opened.error == ENOENT ? IoStatus::Ok() : opened;
    exists = true;
    mode = st.st_mode & 07777;
    char buf[65536];
    while (true) {
        ssize_t n = ::read(fd.get(), buf, sizeof buf);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            return IoStatus::Fail(errno);
        if (n == 0)
            return IoStatus::Ok();
        bytes.append(buf, static_cast<std::size_t>(n));
    }
}

// Replaces path by bytes so that a crash leaves either the old or the new file.
IoStatus ReplaceFile(const std::string& path, const std::string& bytes, mode_t mode)
{
    std::string pattern = path + ".XXXXXX";
    UniqueFd fd(::mkostemp(pattern.data(), O_CLOEXEC));
    if (!fd)
        return IoStatus::Fail(errno);
    const std::string& temp = pattern;
    IoStatus s = IoStatus::Ok();
    if (::fchmod(fd.get(), mode) != 0)
        s = IoStatus::Fail(errno);
    if (s.ok())
        s = WriteAll(fd.get(), {reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size()}, EIO);
    if (s.ok() && ::fsync(fd.get()) != 0)
        s = IoStatus::Fail(errno);
    if (::close(fd.release()) != 0 && s.ok())
        s = IoStatus::Fail(errno);
    if (s.ok() && ::rename(temp.c_str(), path.c_str()) != 0)
        s = IoStatus::Fail(errno);
    if (!s.ok()) {
        ::unlink(temp.c_str());
        return s;
    }
    // The rename itself is only durable once the folder is.
    UniqueFd dir(OpenRetrying(Dirname(path), O_RDONLY | O_DIRECTORY));
    if (!dir)
        return IoStatus::Fail(errno);
    if (::fsync(dir.get()) != 0 && errno != EINVAL)
        return IoStatus::Fail(errno);
    return IoStatus::Ok();
}

// A store reached through a symbolic link stays a link: the new file
// replaces the link's target.
std::string WriteTarget(const std::string& path)
{
    struct stat st {};
    if (::lstat(path.c_str(), &st) != 0 || !S_ISLNK(st.st_mode))
        return path;
    char resolved[PATH_MAX];
    if (!::realpath(path.c_str(), resolved))
        return path;
    return resolved;
}

class FileBackend;

class FileKey : public RegKey {
public:
    FileKey(FileBackend& owner, RegRoot root, std::string path, RegDocument snapshot)
        : owner_(owner), root_(root), path_(std::move(path)), snapshot_(std::move(snapshot))
    {
    }
    std::optional<RegValue> QueryValue(const std::string& name) override
    {
        return snapshot_.FindValue(root_, path_, name);
    }
    IoStatus SetValue(const std::string& name, RegKind kind, const std::string& bytes) override;

private:
    FileBackend& owner_;
    RegRoot root_;
    std::string path_;
    RegDocument snapshot_; // what was read when the key was opened, for this one operation
};

class FileBackend : public RegBackend {
public:
    explicit FileBackend(std::string path) : path_(std::move(path)) {}

    std::unique_ptr<RegKey> OpenKey(RegRoot root, const std::string& path, RegAccess) override
    {
        // Writability is not asked for here: a store that cannot be written
        // still reads, and a write tells its own failure.
        std::string bytes;
        bool exists = false;
        mode_t mode = 0;
        if (!ReadStore(path_, bytes, exists, mode).ok())
            return nullptr;
        RegDocument doc = RegDocument::Parse(bytes);
        if (!doc.HasKey(root, path))
            return nullptr;
        return std::make_unique<FileKey>(*this, root, path, std::move(doc));
    }

    std::unique_ptr<RegKey> CreateKey(RegRoot root, const std::string& path, IoStatus& status) override
    {
        status = IoStatus::Ok();
        if (auto key = OpenKey(root, path, RegAccess::ReadWrite))
            return key;
        RegDocument after;
        status = Change(
            [&](RegDocument& doc) {
                doc.AddKey(root, path);
                return IoStatus::Ok();
            },
            after);
        if (!status.ok())
            return nullptr;
        return std::make_unique<FileKey>(*this, root, path, std::move(after));
    }

    // One transaction: lock, read afresh, change, write beside, rename over.
    IoStatus Change(const std::function<IoStatus(RegDocument&)>& change, RegDocument& after)
    {
        IoStatus s = MakeFolders(Dirname(path_));
        if (!s.ok())
            return s;
        UniqueFd lock(OpenRetrying(path_ + ".lock", O_RDWR | O_CREAT, 0600));
        if (!lock)
            return IoStatus::Fail(errno);
        while (::flock(lock.get(), LOCK_EX) != 0) {
            if (errno != EINTR)
                return IoStatus::Fail(errno);
        }
        const std::string target = WriteTarget(path_);
        std::string before;
        bool exists = false;
        mode_t mode = 0600;
        // An unreadable store is never overwritten: what it holds would be lost.
        s = ReadStore(target, before, exists, mode);
        if (!s.ok())
            return s;
        after = RegDocument::Parse(before);
        s = change(after);
        if (!s.ok())
            return s;
        std::string bytes = after.Serialize();
        if (exists && bytes == before)
            return IoStatus::Ok();
        return ReplaceFile(target, bytes, mode);
    }

private:
    std::string path_;
};

IoStatus FileKey::SetValue(const std::string& name, RegKind kind, const std::string& bytes)
{
    RegDocument after;
    IoStatus s = owner_.Change(
        [&](RegDocument& doc) {
            return doc.SetValue(root_, path_, name, RegValue{kind, bytes}) ? IoStatus::Ok() : IoStatus::Fail(EILSEQ);
        },
        after);
    if (s.ok())
        snapshot_ = std::move(after);
    return s;
}

} // namespace

std::string DefaultStorePath()
{
    // Relative or empty values do not count, as the base-directory rules say.
    const char* config = std::getenv("XDG_CONFIG_HOME");
    std::string base;
    if (config && config[0] == '/') {
        base = config;
    } else {
        const char* home = std::getenv("HOME");
        if (home && home[0] == '/') {
            base = home;
        } else if (const passwd* pw = ::getpwuid(::getuid()); pw && pw->pw_dir) {
            base = pw->pw_dir;
        }
        base += "/.config";
    }
    return base + "/Orvane/Tessarine.reg";
}

std::unique_ptr<RegBackend> MakeFileBackend(const std::string& path)
{
    return std::make_unique<FileBackend>(path);
}
