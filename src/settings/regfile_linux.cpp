// The settings store on Linux: one registry-export text file per user.
// The parsed file is kept between operations for as long as the file's
// identity and change time stay the same, so nothing stale is read and a
// large file is not parsed again at every access. Every change is one
// transaction under an exclusive lock on a lock file beside the store,
// written to a temporary file in the same folder and renamed over the old one.
#include <cerrno>
#include <climits>
#include <cstring>
#include <ctime>
#include <cctype>
#include <cstdlib>
#include <functional>

#include <fcntl.h>
#include <pwd.h>
#include <dirent.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include "base/fdio_linux.h"
#include "settings/regbackend.h"
#include "settings/regstore.h"
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
IoStatus ReadStore(const std::string& path, std::string& bytes, bool& exists, struct stat& st)
{
    bytes.clear();
    exists = false;
    UniqueFd fd;
    if (IoStatus opened = OpenRegularFile(path, O_RDONLY, fd, st); !opened.ok())
        return opened.error == ENOENT ? IoStatus::Ok() : opened;
    exists = true;
    bytes.reserve(static_cast<std::size_t>(st.st_size));
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

// Temporary files are the store's name, this, and six letters or digits.
constexpr const char* kTempInfix = ".tmp";

// A temporary file that a crash (or a kill) left behind mid-write. Only
// called under the lock, so no writer is filling one right now.
void RemoveLeftTemps(const std::string& target)
{
    const std::string dir = Dirname(target);
    const std::string prefix = target.substr(target.rfind('/') + 1) + kTempInfix;
    DIR* d = ::opendir(dir.c_str());
    if (!d)
        return; // the write itself tells what is wrong with the folder
    while (const dirent* e = ::readdir(d)) {
        const std::string name = e->d_name;
        if (name.size() != prefix.size() + 6 || name.compare(0, prefix.size(), prefix) != 0)
            continue;
        bool random = true;
        for (std::size_t i = prefix.size(); i < name.size(); ++i)
            random = random && std::isalnum(static_cast<unsigned char>(name[i]));
        struct stat st {};
        if (random && ::fstatat(::dirfd(d), name.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0 && S_ISREG(st.st_mode))
            ::unlinkat(::dirfd(d), name.c_str(), 0);
    }
    ::closedir(d);
}

// Replaces path by bytes so that a crash leaves either the old or the new file.
IoStatus ReplaceFile(const std::string& path, const std::string& bytes, mode_t mode)
{
    std::string pattern = path + kTempInfix + "XXXXXX";
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

// What tells one version of the file from another without reading it.
struct FileIdentity {
    dev_t dev = 0;
    ino_t ino = 0;
    off_t size = 0;
    timespec mtime{};
    timespec ctime{};

    static FileIdentity Of(const struct stat& st)
    {
        return {st.st_dev, st.st_ino, st.st_size, st.st_mtim, st.st_ctim};
    }
    bool operator==(const FileIdentity& o) const
    {
        return dev == o.dev && ino == o.ino && size == o.size && mtime.tv_sec == o.mtime.tv_sec &&
               mtime.tv_nsec == o.mtime.tv_nsec && ctime.tv_sec == o.ctime.tv_sec &&
               ctime.tv_nsec == o.ctime.tv_nsec;
    }
};

// File times come from a clock that advances in ticks of a few
// milliseconds, so two changes within one tick may carry the same time. A
// file changed this recently before it was read is read again next time.
constexpr long long kTimeTickNs = 100'000'000;

long long Nanoseconds(const timespec& t) { return static_cast<long long>(t.tv_sec) * 1'000'000'000 + t.tv_nsec; }

class FileBackend;

class FileKey : public RegKey {
public:
    FileKey(FileBackend& owner, RegRoot root, std::string path, std::shared_ptr<const RegDocument> snapshot)
        : owner_(owner), root_(root), path_(std::move(path)), snapshot_(std::move(snapshot))
    {
    }
    std::optional<RegValue> QueryValue(const std::string& name) override
    {
        return snapshot_ ? snapshot_->FindValue(root_, path_, name) : std::nullopt;
    }
    IoStatus SetValue(const std::string& name, RegKind kind, const std::string& bytes) override;

private:
    FileBackend& owner_;
    RegRoot root_;
    std::string path_;
    std::shared_ptr<const RegDocument> snapshot_; // what this one operation sees
};

class FileBackend : public RegBackend {
public:
    explicit FileBackend(std::string path) : path_(std::move(path)) {}

    std::unique_ptr<RegKey> OpenKey(RegRoot root, const std::string& path, RegAccess) override
    {
        // Writability is not asked for here: a store that cannot be written
        // still reads, and a write tells its own failure.
        bool exists = false;
        mode_t mode = 0;
        if (!Load(path_, exists, mode).ok() || !cache_ || !cache_->HasKey(root, path))
            return nullptr;
        return std::make_unique<FileKey>(*this, root, path, cache_);
    }

    std::unique_ptr<RegKey> CreateKey(RegRoot root, const std::string& path, IoStatus& status) override
    {
        status = IoStatus::Ok();
        if (auto key = OpenKey(root, path, RegAccess::ReadWrite))
            return key;
        status = Change([&](RegDocument& doc, bool& changed) {
            changed = !doc.HasKey(root, path);
            return doc.AddKey(root, path) ? IoStatus::Ok() : IoStatus::Fail(EILSEQ);
        });
        if (!status.ok())
            return nullptr;
        return std::make_unique<FileKey>(*this, root, path, cache_);
    }

    IoStatus Transact(const std::function<void()>& body) override
    {
        if (depth_ > 0) {
            body();
            return IoStatus::Ok();
        }
        if (!Lock().ok()) {
            // Without the lock every write tries it again and tells its own failure.
            body();
            return IoStatus::Ok();
        }
        struct Unlock {
            FileBackend& b;
            bool committed = false;
            ~Unlock()
            {
                if (!committed)
                    b.Discard();
            }
        } unlock{*this};
        body();
        unlock.committed = true;
        return Commit();
    }

    std::string Location() const override { return path_; }

    bool TakeOversized() override { return std::exchange(oversizedUntold_, false); }

    // Under the lock: read afresh (unless the kept version is the file as it
    // is), change, and store, now or at the end of the transaction.
    IoStatus Change(const std::function<IoStatus(RegDocument&, bool&)>& change)
    {
        const bool own = depth_ == 0;
        if (own) {
            if (IoStatus locked = Lock(); !locked.ok())
                return locked;
        }
        IoStatus s = ChangeLocked(change);
        if (own)
            s = s.ok() ? Commit() : (Discard(), s);
        return s;
    }

    const std::shared_ptr<const RegDocument> Current() const { return cache_; }

private:
    IoStatus Lock()
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
        lock_ = std::move(lock);
        depth_ = 1;
        target_ = WriteTarget(path_);
        return IoStatus::Ok();
    }

    IoStatus ChangeLocked(const std::function<IoStatus(RegDocument&, bool&)>& change)
    {
        if (!pending_) {
            // An unreadable store is never overwritten: what it holds would be lost.
            if (IoStatus s = Load(target_, exists_, mode_); !s.ok())
                return s;
        }
        if (!cache_->Decoded())
            return IoStatus::Fail(EILSEQ);
        // A key handed out earlier keeps the version it saw.
        if (cache_.use_count() > 1)
            cache_ = std::make_shared<RegDocument>(*cache_);
        bool changed = false;
        IoStatus s = change(*cache_, changed);
        if (!s.ok())
            return s;
        pending_ = pending_ || changed || !exists_;
        return IoStatus::Ok();
    }

    IoStatus Commit()
    {
        IoStatus s = IoStatus::Ok();
        if (pending_) {
            RemoveLeftTemps(target_);
            s = ReplaceFile(target_, cache_->Serialize(), exists_ ? mode_ : 0600);
            struct stat st {};
            if (s.ok() && ::stat(target_.c_str(), &st) == 0) {
                // Written under the lock: this is the file as it now is.
                id_ = FileIdentity::Of(st);
                trusted_ = true;
            } else {
                cache_.reset();
            }
        }
        pending_ = false;
        Unlocked();
        return s;
    }

    void Discard()
    {
        if (pending_)
            cache_.reset();
        pending_ = false;
        Unlocked();
    }

    void Unlocked()
    {
        lock_.reset();
        depth_ = 0;
    }

    // Makes cache_ the parsed file at path, reading it only when it is not
    // the version kept.
    IoStatus Load(const std::string& path, bool& exists, mode_t& mode)
    {
        if (pending_)
            return IoStatus::Ok(); // this transaction's own changes are the store
        struct stat st {};
        const bool found = ::stat(path.c_str(), &st) == 0;
        if (!found && errno == ENOENT) {
            cache_ = std::make_shared<RegDocument>();
            trusted_ = false;
            exists = false;
            return IoStatus::Ok();
        }
        if (found && cache_ && trusted_ && FileIdentity::Of(st) == id_) {
            exists = true;
            mode = st.st_mode & 07777;
            return IoStatus::Ok();
        }
        timespec before{};
        ::clock_gettime(CLOCK_REALTIME, &before);
        std::string bytes;
        cache_.reset();
        if (IoStatus s = ReadStore(path, bytes, exists, st); !s.ok())
            return s;
        if (!exists) {
            cache_ = std::make_shared<RegDocument>();
            trusted_ = false;
            return IoStatus::Ok();
        }
        mode = st.st_mode & 07777;
        if (bytes.size() > kOversizedStore && !oversizedSeen_)
            oversizedSeen_ = oversizedUntold_ = true;
        cache_ = std::make_shared<RegDocument>(RegDocument::Parse(bytes));
        id_ = FileIdentity::Of(st);
        trusted_ = Nanoseconds(st.st_ctim) + kTimeTickNs < Nanoseconds(before);
        return IoStatus::Ok();
    }

    std::string path_;
    std::shared_ptr<RegDocument> cache_; // null: nothing kept
    FileIdentity id_;
    bool trusted_ = false;
    bool oversizedSeen_ = false;
    bool oversizedUntold_ = false;
    // While the lock is held.
    UniqueFd lock_;
    int depth_ = 0;
    std::string target_;
    bool exists_ = false;
    mode_t mode_ = 0600;
    bool pending_ = false; // cache_ holds changes not yet stored
};

IoStatus FileKey::SetValue(const std::string& name, RegKind kind, const std::string& bytes)
{
    snapshot_.reset(); // so that the change needs no copy of the document
    IoStatus s = owner_.Change([&](RegDocument& doc, bool& changed) {
        const std::optional<RegValue> old = doc.FindValue(root_, path_, name);
        changed = !old || old->kind != kind || old->bytes != bytes;
        if (!changed)
            return IoStatus::Ok();
        return doc.SetValue(root_, path_, name, RegValue{kind, bytes}) ? IoStatus::Ok() : IoStatus::Fail(EILSEQ);
    });
    snapshot_ = owner_.Current();
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
