#include "media/memory_drive.h"

#include <cctype>
#include <cerrno>
#include <cstring>

namespace {

class MemoryHandle : public DeviceHandle {
public:
    MemoryHandle(MemoryDrive& drive, MemoryMedium& medium, bool writable)
        : drive_(drive), medium_(medium), writable_(writable)
    {
        ++drive_.openHandles;
    }
    ~MemoryHandle() override
    {
        if (!closed_)
            Close();
    }

    IoStatus Lock() override
    {
        drive_.log.push_back("lock");
        return drive_.lockError ? IoStatus::Fail(drive_.lockError) : IoStatus::Ok();
    }

    IoStatus ReadSector(std::uint64_t index, std::span<std::uint8_t> sector) override
    {
        drive_.log.push_back("read " + std::to_string(index));
        return Read(index, 1, sector);
    }

    IoStatus ReadSectors(std::uint64_t first, std::uint32_t count, std::span<std::uint8_t> data) override
    {
        drive_.log.push_back(count == 1 ? "read " + std::to_string(first)
                                        : "read " + std::to_string(first) + " " + std::to_string(count));
        return Read(first, count, data);
    }

    IoStatus WriteSectors(std::uint64_t first, std::uint32_t count, std::span<const std::uint8_t> data) override
    {
        drive_.log.push_back("write " + std::to_string(first) + " " + std::to_string(count));
        if (drive_.onSector)
            drive_.onSector(first);
        if (closed_ || !writable_ || medium_.readOnly)
            return IoStatus::Fail(EBADF);
        if (drive_.failWriteAt && *drive_.failWriteAt >= first && *drive_.failWriteAt < first + count)
            return IoStatus::Fail(EIO);
        if (count == 0 || data.size() % count != 0)
            return IoStatus::Fail(EINVAL);
        const std::uint64_t size = data.size() / count;
        const std::uint64_t pos = first * size;
        if (pos + data.size() > medium_.bytes.size())
            return IoStatus::Fail(ENOSPC);
        for (std::uint32_t i = 0; i < count; ++i)
            if (!drive_.droppedWrites.count(first + i))
                std::memcpy(medium_.bytes.data() + pos + i * size, data.data() + i * size, size);
        return IoStatus::Ok();
    }

    void Unlock() override { drive_.log.push_back("unlock"); }

    IoStatus Close() override
    {
        if (closed_)
            return IoStatus::Ok();
        closed_ = true;
        --drive_.openHandles;
        drive_.log.push_back("close");
        return drive_.closeError ? IoStatus::Fail(drive_.closeError) : IoStatus::Ok();
    }

private:
    IoStatus Read(std::uint64_t first, std::uint32_t count, std::span<std::uint8_t> data)
    {
        if (drive_.onSector)
            drive_.onSector(first);
        if (closed_)
            return IoStatus::Fail(EBADF);
        bool failed = false;
        for (std::uint64_t s = first; s < first + count; ++s) {
            if (drive_.badSectors.count(s) || (drive_.failReadAt && *drive_.failReadAt == s))
                failed = true;
            if (auto weak = drive_.weakSectors.find(s); weak != drive_.weakSectors.end() && weak->second > 0) {
                --weak->second;
                failed = true;
            }
        }
        if (failed)
            return IoStatus::Fail(EIO);
        if (count == 0 || data.empty() || data.size() % count != 0)
            return IoStatus::Fail(EINVAL);
        const std::uint64_t pos = first * (data.size() / count);
        if (pos + data.size() > medium_.bytes.size())
            return IoStatus::Fail(EIO);
        std::memcpy(data.data(), medium_.bytes.data() + pos, data.size());
        return IoStatus::Ok();
    }

    MemoryDrive& drive_;
    MemoryMedium& medium_;
    bool writable_;
    bool closed_ = false;
};

} // namespace

MemoryMedium MemoryDrive::PatternMedium(std::uint64_t sectors, std::uint32_t bps, std::uint32_t sectorsPerCluster,
                                        std::uint32_t clusters)
{
    MemoryMedium m;
    m.bytes.resize(sectors * bps);
    for (std::uint64_t s = 0; s < sectors; ++s)
        for (std::uint32_t b = 0; b < bps; ++b)
            m.bytes[s * bps + b] = static_cast<std::uint8_t>((s * 7 + b * 13 + (s >> 8)) & 0xFF);
    m.figures.bytesPerSector = bps;
    m.figures.sectorsPerCluster = sectorsPerCluster;
    m.figures.totalClusters = clusters ? clusters : static_cast<std::uint32_t>(sectors / sectorsPerCluster);
    m.figures.freeClusters = 0;
    m.figures.totalSectors = sectors;
    return m;
}

DriveStatus MemoryDrive::DriveReady(char letter)
{
    letter = static_cast<char>(std::toupper(static_cast<unsigned char>(letter)));
    log.push_back(std::string("ready ") + letter);
    if (!readyScript.empty()) {
        DriveState r = readyScript.front();
        readyScript.erase(readyScript.begin());
        if (r == DriveState::Ready)
            return {.state = r, .device = std::string("/dev/mem") + letter};
        return {.state = r,
                .error = readyError,
                .device = std::string("/dev/mem") + letter,
                .detail = readyDetail,
                .detailText = readyDetailText};
    }
    if (media.count(letter))
        return {.state = DriveState::Ready, .device = std::string("/dev/mem") + letter};
    return {.state = DriveState::NoMedium, .error = ENOMEDIUM, .device = std::string("/dev/mem") + letter};
}

IoStatus MemoryDrive::QueryAllocation(char letter, AllocationFigures& figures)
{
    log.push_back(std::string("alloc ") + letter);
    if (allocationError)
        return IoStatus::Fail(allocationError);
    auto it = media.find(letter);
    if (it == media.end())
        return IoStatus::Fail(ENOMEDIUM);
    figures = it->second.figures;
    if (figures.totalSectors == 0 && figures.bytesPerSector)
        figures.totalSectors = it->second.bytes.size() / figures.bytesPerSector;
    return IoStatus::Ok();
}

std::unique_ptr<DeviceHandle> MemoryDrive::Open(char letter, bool forWriting, IoStatus& status)
{
    log.push_back(std::string("open ") + letter + (forWriting ? " w" : " r"));
    auto it = media.find(letter);
    if (openError || it == media.end()) {
        status = IoStatus::Fail(openError ? openError : ENOMEDIUM);
        return nullptr;
    }
    status = IoStatus::Ok();
    return std::make_unique<MemoryHandle>(*this, it->second, forWriting);
}

void MemoryDrive::Eject(char letter) { log.push_back(std::string("eject ") + letter); }
