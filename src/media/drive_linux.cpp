// The drive access layer on Linux: drive letters name block devices or
// regular files (virtual drives) through the drive table.
#include "media/drive.h"
#include "media/deviceopen.h"
#include "media/drivetable.h"
#include "media/eject.h"
#include "media/fatboot.h"
#include "base/alignedbytes.h"
#include "base/fdio_linux.h"
#include "media/instancemark_linux.h"
#include "media/mountinfo.h"
#include "media/sysfsblock.h"
#include "media/udisksunmount.h"
#include "base/textconv.h"

#include <fcntl.h>
#include <linux/cdrom.h>
#include <linux/fs.h>
#include <scsi/sg.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstdlib>
#include <new>
#include <optional>
#include <cstring>
#include <filesystem>
#include <limits>
#include <map>
#include <utility>
#include <vector>

namespace fs = std::filesystem;

namespace {

constexpr const char* kSysfsRoot = "/sys";
constexpr const char* kMountInfo = "/proc/self/mountinfo";
// A virtual drive has 512-byte sectors unless its FAT boot sector says otherwise.
constexpr std::uint32_t kFileSectorSize = 512;
// The first FAT of larger media is not read to count free clusters.
constexpr std::uint64_t kMaxFatBytes = 64u << 20;

IoStatus LastError() { return IoStatus::Fail(errno); }

// Page-aligned memory, as unbuffered (O_DIRECT) transfers require, grown
// to the largest request so far.
class AlignedBuffer {
public:
    // At least size bytes; null when memory is short.
    std::uint8_t* Get(std::size_t size)
    {
        if (!bytes_ || bytes_->span().size() < size) {
            try {
                bytes_.emplace(size);
            } catch (const std::bad_alloc&) {
                bytes_.reset();
                return nullptr;
            }
        }
        return bytes_->span().data();
    }

private:
    std::optional<AlignedBytes> bytes_;
};

// An opened device or virtual drive and its figures.
struct Medium {
    UniqueFd fd;
    bool block = false;
    dev_t rdev = 0;
    std::uint64_t bytes = 0;
    std::uint32_t sectorSize = kFileSectorSize; // the device's logical sector size
    BrokerAnswer broker; // why the device broker did not open it either, when asked
    bool partialSector = false; // a file whose length is not a whole number of sectors
};

bool Refused(int error) { return error == EACCES || error == EPERM; }

IoStatus OpenMedium(const std::string& path, bool writing, Medium& m, BrokerWait* wait)
{
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0)
        return LastError();
    int flags = writing ? O_RDWR : O_RDONLY;
    if (S_ISBLK(st.st_mode))
        flags |= O_DIRECT; // media are read as they are, not through the page cache
    else if (S_ISDIR(st.st_mode))
        return IoStatus::Fail(EISDIR);
    else if (!S_ISREG(st.st_mode))
        return IoStatus::Fail(ENOTBLK);
    // Its last bytes would be lost on creation and never written on restoration.
    if (S_ISREG(st.st_mode) && st.st_size % kFileSectorSize != 0) {
        m.partialSector = true;
        return IoStatus::Fail(EINVAL);
    }

    m.fd.reset(OpenRetrying(path, flags));
    if (!m.fd && S_ISBLK(st.st_mode) && Refused(errno)) {
        // Devices belong to root; the desktop's broker may open it for the user.
        const int refused = errno;
        m.fd.reset(OpenThroughBroker(path, st.st_rdev, writing, O_DIRECT, m.broker, wait));
        if (!m.fd)
            return IoStatus::Fail(m.broker.error != 0 ? m.broker.error : refused);
    }
    if (!m.fd)
        return LastError();
    if (::fstat(m.fd.get(), &st) != 0)
        return LastError();
    if (S_ISBLK(st.st_mode) && (flags & O_DIRECT)) {
        std::uint64_t bytes = 0;
        int sectorSize = 0;
        if (::ioctl(m.fd.get(), BLKGETSIZE64, &bytes) != 0 || ::ioctl(m.fd.get(), BLKSSZGET, &sectorSize) != 0)
            return LastError();
        if (sectorSize <= 0)
            return IoStatus::Fail(EINVAL);
        m.block = true;
        m.rdev = st.st_rdev;
        m.bytes = bytes;
        m.sectorSize = static_cast<std::uint32_t>(sectorSize);
    } else if (S_ISREG(st.st_mode) && !(flags & O_DIRECT)) {
        m.bytes = static_cast<std::uint64_t>(st.st_size);
    } else {
        return IoStatus::Fail(ENOTBLK); // replaced between the two looks
    }
    return IoStatus::Ok();
}

// Memory an unbuffered transfer can use as it is; anything else goes
// through the aligned buffer.
bool Aligned(const std::uint8_t* p)
{
    return reinterpret_cast<std::uintptr_t>(p) % static_cast<std::uintptr_t>(sysconf(_SC_PAGESIZE)) == 0;
}

// Reads out.size() bytes at pos, all of them or a failure.
IoStatus ReadAt(const Medium& m, AlignedBuffer& buffer, std::uint64_t pos, std::span<std::uint8_t> out)
{
    if (pos > m.bytes || out.size() > m.bytes - pos)
        return IoStatus::Fail(EIO);
    std::uint8_t* target = m.block && !Aligned(out.data()) ? buffer.Get(out.size()) : out.data();
    if (!target)
        return IoStatus::Fail(ENOMEM);
    // A medium that ends early gives EIO.
    if (IoStatus st = ReadExactlyAt(m.fd.get(), {target, out.size()}, pos, EIO); !st.ok())
        return st;
    if (target != out.data())
        std::memcpy(out.data(), target, out.size());
    return IoStatus::Ok();
}

// Writes data at pos, all of it or a failure; never beyond the medium's end.
IoStatus WriteAt(const Medium& m, AlignedBuffer& buffer, std::uint64_t pos, std::span<const std::uint8_t> data)
{
    if (pos > m.bytes || data.size() > m.bytes - pos)
        return IoStatus::Fail(ENOSPC);
    const std::uint8_t* source = data.data();
    if (m.block && !Aligned(source)) {
        std::uint8_t* aligned = buffer.Get(data.size());
        if (!aligned)
            return IoStatus::Fail(ENOMEM);
        std::memcpy(aligned, data.data(), data.size());
        source = aligned;
    }
    return WriteAllAt(m.fd.get(), {source, data.size()}, pos, ENOSPC);
}

DevNumber ToDevNumber(dev_t dev) { return {major(dev), minor(dev)}; }

std::string SysfsDevPath(dev_t dev)
{
    return std::string(kSysfsRoot) + "/dev/block/" + std::to_string(major(dev)) + ":" + std::to_string(minor(dev));
}

// The device and each of its partitions.
std::vector<DevNumber> DeviceAndPartitions(dev_t dev)
{
    std::vector<DevNumber> devices{ToDevNumber(dev)};
    std::error_code ec;
    const fs::path dir = fs::canonical(SysfsDevPath(dev), ec);
    if (ec)
        return devices;
    for (fs::directory_iterator it(dir, ec), end; !ec && it != end; it.increment(ec)) {
        std::error_code ec2;
        if (!fs::exists(it->path() / "partition", ec2))
            continue;
        if (auto part = ParseDevNumber(ReadSmallTextFile((it->path() / "dev").string())))
            devices.push_back(*part);
    }
    return devices;
}

// The block device a mount source such as FUSE's "/dev/sdb1" names.
std::optional<DevNumber> SourceDevice(const std::string& source)
{
    if (source.rfind("/dev/", 0) != 0)
        return std::nullopt;
    struct stat st {};
    if (::stat(source.c_str(), &st) != 0 || !S_ISBLK(st.st_mode))
        return std::nullopt;
    return ToDevNumber(st.st_rdev);
}

// EBUSY when a file system on the device or one of its partitions is
// mounted; another error when that cannot be told.
IoStatus MountState(dev_t dev)
{
    const std::string text = ReadSmallTextFile(kMountInfo);
    if (text.empty())
        return IoStatus::Fail(EIO); // every process has at least its root mounted
    if (AnyMounted(ParseMountInfo(text), DeviceAndPartitions(dev), SourceDevice))
        return IoStatus::Fail(EBUSY);
    return IoStatus::Ok();
}

// The mounts whose file system lives on one of devices, in mount order.
std::vector<MountEntry> MountsOn(const std::vector<DevNumber>& devices)
{
    std::vector<MountEntry> found;
    for (MountEntry& m : ParseMountInfo(ReadSmallTextFile(kMountInfo)))
        if (AnyMounted({m}, devices, SourceDevice))
            found.push_back(std::move(m));
    return found;
}

// The kernel name of the block device a mount's file system lives on.
std::string KernelNameOf(const MountEntry& m)
{
    std::error_code ec;
    const fs::path dev = fs::canonical(SysfsDevPath(makedev(m.device.major, m.device.minor)), ec);
    if (!ec)
        return dev.filename().string();
    return fs::canonical(m.source, ec).filename().string();
}

// The identity of the file behind the loop device whose sysfs folder this is,
// when it is one.
std::optional<std::pair<dev_t, ino_t>> BackingFileOf(const std::string& sysfsDir)
{
    std::string backing = ReadSmallTextFile(sysfsDir + "/loop/backing_file");
    while (!backing.empty() && backing.back() == '\n')
        backing.pop_back();
    struct stat st {};
    if (backing.empty() || ::stat(backing.c_str(), &st) != 0)
        return std::nullopt;
    return std::make_pair(st.st_dev, st.st_ino);
}

// Loop devices whose backing file is the file with this device and inode:
// compared by identity, so a hard link or a bind mount of the file is found too.
std::vector<dev_t> LoopDevicesBackedBy(dev_t fileDev, ino_t fileIno)
{
    std::vector<dev_t> found;
    std::error_code ec;
    for (fs::directory_iterator it(std::string(kSysfsRoot) + "/block", ec), end; !ec && it != end; it.increment(ec)) {
        const auto file = BackingFileOf(it->path().string());
        if (!file || file->first != fileDev || file->second != fileIno)
            continue;
        if (auto dev = ParseDevNumber(ReadSmallTextFile((it->path() / "dev").string())))
            found.push_back(makedev(dev->major, dev->minor));
    }
    return found;
}

// EBUSY when any loop device over that file is mounted or claimed by
// someone else (an exclusive open, a device mapper), another error when
// that cannot be told.
IoStatus BackingFileState(dev_t fileDev, ino_t fileIno, dev_t except)
{
    for (dev_t loop : LoopDevicesBackedBy(fileDev, fileIno)) {
        if (loop == except)
            continue;
        if (IoStatus st = MountState(loop); !st.ok())
            return st;
        // The kernel refuses an exclusive open while anyone holds the device;
        // a user who may not open it at all learns nothing here.
        std::error_code ec;
        const std::string node = "/dev/" + fs::canonical(SysfsDevPath(loop), ec).filename().string();
        UniqueFd probe(ec ? -1 : OpenRetrying(node, O_RDONLY | O_EXCL));
        if (!probe && !ec && errno == EBUSY)
            return IoStatus::Fail(EBUSY);
    }
    return IoStatus::Ok();
}

// The block devices, partitions included, that writing path reaches: the
// device itself and every loop device over the same file.
std::vector<DevNumber> DevicesReached(const std::string& path)
{
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0)
        return {};
    std::vector<DevNumber> out;
    std::optional<std::pair<dev_t, ino_t>> file;
    if (S_ISBLK(st.st_mode)) {
        out = DeviceAndPartitions(st.st_rdev);
        file = BackingFileOf(SysfsDevPath(st.st_rdev));
    } else if (S_ISREG(st.st_mode)) {
        file = std::make_pair(st.st_dev, st.st_ino);
    }
    if (file)
        for (dev_t loop : LoopDevicesBackedBy(file->first, file->second))
            for (const DevNumber& d : DeviceAndPartitions(loop))
                if (std::find(out.begin(), out.end(), d) == out.end())
                    out.push_back(d);
    return out;
}

// The file whose bytes writing path changes: the file itself, or the file
// behind a loop device.
std::optional<std::pair<dev_t, ino_t>> FileWritten(const std::string& path)
{
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0)
        return std::nullopt;
    if (S_ISREG(st.st_mode))
        return std::make_pair(st.st_dev, st.st_ino);
    if (S_ISBLK(st.st_mode))
        return BackingFileOf(SysfsDevPath(st.st_rdev));
    return std::nullopt;
}

class LinuxHandle final : public DeviceHandle {
public:
    LinuxHandle(std::string path, Medium medium, bool writing, BrokerWait* wait)
        : path_(std::move(path)), medium_(std::move(medium)), writing_(writing), wait_(wait)
    {
    }
    ~LinuxHandle() override { Close(); }

    IoStatus Lock() override
    {
        if (closed_)
            return IoStatus::Fail(EBADF);
        if (locked_)
            return IoStatus::Ok();
        // udev leaves a device alone while someone holds this lock; another
        // holder makes the drive one in use.
        if (::flock(medium_.fd.get(), LOCK_EX | LOCK_NB) != 0)
            return IoStatus::Fail(errno == EWOULDBLOCK ? EBUSY : errno);
        // Other instances see this mark in their ready test.
        if (IoStatus st = MarkInUse(medium_.fd.get(), writing_); !st.ok()) {
            ::flock(medium_.fd.get(), LOCK_UN);
            return st;
        }
        // Also for reading: an image of a medium that someone else may be
        // writing meanwhile is stale.
        if (IoStatus st = RefuseWhileInUse(); !st.ok()) {
            exclusive_.reset();
            ::flock(medium_.fd.get(), LOCK_UN);
            ClearInUseMark(medium_.fd.get());
            return st;
        }
        locked_ = true;
        return IoStatus::Ok();
    }

    IoStatus ReadSector(std::uint64_t index, std::span<std::uint8_t> sector) override
    {
        if (closed_)
            return IoStatus::Fail(EBADF);
        if (sector.empty())
            return IoStatus::Fail(EINVAL);
        if (index > std::numeric_limits<std::uint64_t>::max() / sector.size())
            return IoStatus::Fail(EIO);
        return ReadAt(medium_, buffer_, index * sector.size(), sector);
    }

    IoStatus ReadSectors(std::uint64_t first, std::uint32_t count, std::span<std::uint8_t> data) override
    {
        if (closed_)
            return IoStatus::Fail(EBADF);
        if (count == 0 || data.empty() || data.size() % count != 0)
            return IoStatus::Fail(EINVAL);
        if (first > std::numeric_limits<std::uint64_t>::max() / (data.size() / count))
            return IoStatus::Fail(EIO);
        return ReadAt(medium_, buffer_, first * (data.size() / count), data);
    }

    IoStatus WriteSectors(std::uint64_t first, std::uint32_t count, std::span<const std::uint8_t> data) override
    {
        if (closed_ || !writing_)
            return IoStatus::Fail(EBADF);
        if (count == 0 || data.empty() || data.size() % count != 0)
            return IoStatus::Fail(EINVAL);
        const std::uint64_t sectorSize = data.size() / count;
        if (first > std::numeric_limits<std::uint64_t>::max() / sectorSize)
            return IoStatus::Fail(ENOSPC);
        written_ = true;
        return WriteAt(medium_, buffer_, first * sectorSize, data);
    }

    IoStatus Flush() override
    {
        if (closed_)
            return IoStatus::Fail(EBADF);
        if (written_ && ::fsync(medium_.fd.get()) != 0)
            return LastError();
        // Block devices are read with O_DIRECT; a file's cached pages must go.
        if (!medium_.block)
            if (const int e = ::posix_fadvise(medium_.fd.get(), 0, 0, POSIX_FADV_DONTNEED); e != 0)
                return IoStatus::Fail(e);
        return IoStatus::Ok();
    }

    void Unlock() override
    {
        exclusive_.reset();
        if (locked_ && !closed_) {
            ::flock(medium_.fd.get(), LOCK_UN);
            ClearInUseMark(medium_.fd.get());
        }
        locked_ = false;
    }

    IoStatus Close() override
    {
        if (closed_)
            return IoStatus::Ok();
        IoStatus status;
        if (written_ && ::fsync(medium_.fd.get()) != 0)
            status = LastError();
        Unlock();
        closed_ = true;
        if (::close(medium_.fd.release()) != 0 && status.ok() && errno != EINTR)
            status = LastError();
        return status;
    }

private:
    // EBUSY while the medium is mounted or claimed, here or through a loop
    // device over the same file.
    IoStatus RefuseWhileInUse()
    {
        if (!medium_.block) {
            // A file behind a loop device carries that device's file system.
            struct stat st {};
            if (::fstat(medium_.fd.get(), &st) != 0)
                return LastError();
            return BackingFileState(st.st_dev, st.st_ino, 0);
        }
        if (IoStatus st = MountState(medium_.rdev); !st.ok())
            return st;
        // A loop device shares its file with every other loop device over it.
        if (auto file = BackingFileOf(SysfsDevPath(medium_.rdev)))
            if (IoStatus st = BackingFileState(file->first, file->second, medium_.rdev); !st.ok())
                return st;
        // Fails while anyone else (a mount, another program) claims the device.
        exclusive_.reset(OpenRetrying(path_, O_RDONLY | O_EXCL));
        if (!exclusive_ && Refused(errno)) {
            BrokerAnswer answer;
            exclusive_.reset(OpenThroughBroker(path_, medium_.rdev, false, O_EXCL, answer, wait_));
            if (!exclusive_)
                return IoStatus::Fail(answer.error != 0 ? answer.error : EACCES);
        }
        if (!exclusive_)
            return LastError();
        return IoStatus::Ok();
    }

    std::string path_;
    Medium medium_;
    bool writing_;
    bool locked_ = false;
    bool written_ = false;
    bool closed_ = false;
    UniqueFd exclusive_; // held while locked
    BrokerWait* wait_;
    AlignedBuffer buffer_;
};

void SendScsiCommand(int fd, std::array<std::uint8_t, 6> cdb)
{
    std::array<std::uint8_t, 32> sense{};
    sg_io_hdr_t io{};
    io.interface_id = 'S';
    io.dxfer_direction = SG_DXFER_NONE;
    io.cmd_len = static_cast<unsigned char>(cdb.size());
    io.cmdp = cdb.data();
    io.mx_sb_len = static_cast<unsigned char>(sense.size());
    io.sbp = sense.data();
    io.timeout = 10000; // ms
    ::ioctl(fd, SG_IO, &io); // an eject reports nothing
}

class LinuxDriveAccess final : public DriveAccess {
public:
    LinuxDriveAccess(std::vector<DriveEntry> table, BrokerWait* wait) : wait_(wait)
    {
        for (auto& e : table)
            table_[e.letter] = std::move(e);
    }

    bool IsNtFamily() override { return true; }

    DriveStatus DriveReady(char letter) override
    {
        const DriveEntry* entry = Find(AsciiUpper(letter));
        if (!entry)
            return {.state = DriveState::NoDevice, .error = ENODEV};
        DriveStatus out{.device = entry->device};
        // Opened afresh each time: a changed medium is only noticed on open.
        Medium m;
        std::string path;
        if (IoStatus st = OpenEntry(*entry, false, m, path); !st.ok()) {
            out.error = st.error;
            out.state = DriveStateFor(st.error);
            out.detail = m.partialSector ? DriveDetail::PartialSector : m.broker.detail;
            out.detailText = m.broker.text;
            return out;
        }
        if (MarkedInUse(m.fd.get())) {
            out.error = EBUSY;
            out.state = DriveState::InUse;
            out.detail = DriveDetail::OtherInstance;
            return out;
        }
        if (m.bytes == 0) {
            out.error = ENOMEDIUM;
            out.state = DriveState::NoMedium;
            return out;
        }
        AlignedBuffer buffer;
        std::vector<std::uint8_t> sector(m.sectorSize);
        if (IoStatus st = ReadAt(m, buffer, 0, sector); !st.ok()) {
            // A medium is there (it has a size), so sector 0 failing is the
            // medium's fault, whatever the code says.
            out.error = st.error;
            out.state = st.error == ENOMEDIUM ? DriveState::NoMedium : DriveState::Unreadable;
        }
        return out;
    }

    IoStatus QueryAllocation(char letter, AllocationFigures& figures) override
    {
        const DriveEntry* entry = Find(letter);
        if (!entry)
            return IoStatus::Fail(ENODEV);
        Medium m;
        std::string path;
        if (IoStatus st = OpenEntry(*entry, false, m, path); !st.ok())
            return st;
        if (m.bytes == 0)
            return IoStatus::Fail(ENOMEDIUM);
        AlignedBuffer buffer;
        std::vector<std::uint8_t> boot(m.sectorSize);
        if (IoStatus st = ReadAt(m, buffer, 0, boot); !st.ok())
            return st;

        AllocationFigures out;
        if (auto fat = ParseFatBootSector(boot, m.bytes, m.block ? m.sectorSize : 0)) {
            out.bytesPerSector = fat->bytesPerSector;
            out.sectorsPerCluster = fat->sectorsPerCluster;
            out.totalClusters = fat->totalClusters;
            if (fat->FatBytesInUse() <= kMaxFatBytes) {
                const std::uint64_t sectors = (fat->FatBytesInUse() + fat->bytesPerSector - 1) / fat->bytesPerSector;
                std::vector<std::uint8_t> table(static_cast<std::size_t>(sectors * fat->bytesPerSector));
                const std::uint64_t at = std::uint64_t{fat->reservedSectors} * fat->bytesPerSector;
                if (IoStatus st = ReadAt(m, buffer, at, table); !st.ok())
                    return st;
                out.freeClusters = CountFreeClusters(table, *fat);
            }
            out.totalSectors = m.bytes / out.bytesPerSector;
        } else {
            out.bytesPerSector = m.sectorSize;
            out.sectorsPerCluster = 1;
            out.totalSectors = m.bytes / out.bytesPerSector;
            out.totalClusters = static_cast<std::uint32_t>(
                std::min<std::uint64_t>(out.totalSectors, std::numeric_limits<std::uint32_t>::max()));
        }
        figures = out;
        return IoStatus::Ok();
    }

    std::unique_ptr<DeviceHandle> Open(char letter, bool forWriting, IoStatus& status) override
    {
        const DriveEntry* entry = Find(letter);
        if (!entry) {
            status = IoStatus::Fail(ENODEV);
            return nullptr;
        }
        Medium m;
        std::string path;
        status = OpenEntry(*entry, forWriting, m, path);
        if (!status.ok())
            return nullptr;
        return std::make_unique<LinuxHandle>(path, std::move(m), forWriting, wait_);
    }

    void Eject(char letter) override
    {
        const DriveEntry* entry = Find(letter);
        std::string device;
        if (!entry || !PathOf(*entry, device).ok())
            return;
        struct stat st {};
        EjectTarget target;
        if (::stat(device.c_str(), &st) == 0 && S_ISBLK(st.st_mode)) {
            target.blockDevice = true;
            target.major = major(st.st_rdev);
            std::error_code ec;
            target.name = fs::canonical(SysfsDevPath(st.st_rdev), ec).filename().string();
            // Not knowing counts as mounted: a mounted medium stays in.
            target.mounted = !MountState(st.st_rdev).ok();
        }
        if (DecideEject(target) == EjectMethod::None)
            return;

        UniqueFd fd(OpenRetrying(device, O_RDWR | O_NONBLOCK));
        if (!fd)
            fd.reset(OpenRetrying(device, O_RDONLY | O_NONBLOCK));
        if (!fd)
            return;
        ::fsync(fd.get());
        int version = 0;
        if (::ioctl(fd.get(), SG_GET_VERSION_NUM, &version) == 0 && version >= 30000) {
            SendScsiCommand(fd.get(), {0x1E, 0, 0, 0, 0, 0});    // ALLOW MEDIUM REMOVAL
            SendScsiCommand(fd.get(), {0x1B, 0, 0, 0, 0x02, 0}); // START STOP UNIT: eject
        } else {
            ::ioctl(fd.get(), CDROMEJECT);
        }
    }

    std::string DescribeTarget(char letter) override
    {
        const DriveEntry* entry = Find(letter);
        if (!entry)
            return {};
        std::string path;
        if (!PathOf(*entry, path).ok())
            return entry->device; // away: the identity it is bound to
        return DescribeDevice(path, kSysfsRoot);
    }

    std::vector<std::string> MountPoints(char letter) override
    {
        std::vector<std::string> points;
        std::string path;
        if (const DriveEntry* entry = Find(letter); entry && PathOf(*entry, path).ok())
            for (const MountEntry& m : MountsOn(DevicesReached(path)))
                points.push_back(m.mountPoint);
        return points;
    }

    DriveStatus UnmountAll(char letter) override
    {
        const DriveEntry* entry = Find(letter);
        std::string path;
        if (!entry || !PathOf(*entry, path).ok())
            return {};
        const std::vector<MountEntry> mounts = MountsOn(DevicesReached(path));
        // Newest first: a mount on top of another goes before it.
        for (auto it = mounts.rbegin(); it != mounts.rend(); ++it) {
            if (::geteuid() == 0) {
                if (::umount2(it->mountPoint.c_str(), 0) != 0)
                    return {.state = DriveStateFor(errno), .error = errno, .device = it->mountPoint};
                continue;
            }
            BrokerAnswer answer;
            if (!UnmountThroughBroker(KernelNameOf(*it), answer)) {
                // Still mounted. A refusal has no system error behind it: the
                // daemon's words say why.
                const bool refused = answer.detail == DriveDetail::BrokerRefused;
                return {.state = DriveState::InUse, .error = refused ? 0 : answer.error, .device = it->mountPoint,
                        .detail = refused ? DriveDetail::UnmountRefused : answer.detail, .detailText = answer.text};
            }
        }
        return {.device = path};
    }

    bool Reaches(char letter, const std::vector<std::string>& paths) override
    {
        const DriveEntry* entry = Find(letter);
        std::string path;
        if (!entry || !PathOf(*entry, path).ok())
            return false;
        const auto target = FileWritten(path);
        if (!target)
            return false;
        auto same = [&](const fs::path& p) {
            struct stat st {};
            return ::stat(p.c_str(), &st) == 0 && S_ISREG(st.st_mode) && st.st_dev == target->first &&
                   st.st_ino == target->second;
        };
        for (const std::string& p : paths) {
            if (p.empty())
                continue;
            if (same(p))
                return true;
            std::error_code ec;
            if (!fs::is_directory(p, ec))
                continue;
            for (fs::recursive_directory_iterator it(p, fs::directory_options::skip_permission_denied, ec), end;
                 !ec && it != end; it.increment(ec))
                if (same(it->path()))
                    return true;
        }
        return false;
    }

private:
    // The path to open for entry: a USB identity is looked up now, as the
    // device may have come back under another name.
    static IoStatus PathOf(const DriveEntry& entry, std::string& path)
    {
        path = IsUsbIdentity(entry.device) ? ResolveUsbIdentity(entry.device, kSysfsRoot) : entry.device;
        return path.empty() ? IoStatus::Fail(ENOMEDIUM) : IoStatus::Ok();
    }

    // A bound device that is away has no medium; it is never another device.
    IoStatus OpenEntry(const DriveEntry& entry, bool writing, Medium& m, std::string& path) const
    {
        if (IoStatus st = PathOf(entry, path); !st.ok())
            return st;
        IoStatus st = OpenMedium(path, writing, m, wait_);
        if (st.error == ENOENT && NamesRemovableIdentity(entry.device))
            return IoStatus::Fail(ENOMEDIUM);
        return st;
    }

    const DriveEntry* Find(char letter) const
    {
        auto it = table_.find(letter);
        return it == table_.end() ? nullptr : &it->second;
    }

    std::map<char, DriveEntry> table_;
    BrokerWait* wait_;
};

} // namespace

std::unique_ptr<DriveAccess> MakeDriveAccess(std::vector<DriveEntry> table, BrokerWait* wait)
{
    return std::make_unique<LinuxDriveAccess>(std::move(table), wait);
}
