#include "media/floppy_model.h"

#include <cerrno>
#include <cmath>
#include <cstdlib>

namespace {

constexpr double kSectorTime = FloppyModel::kRevolution / FloppyModel::kSectorsPerTrack;

class FloppyHandle : public DeviceHandle {
public:
    explicit FloppyHandle(FloppyModel& model) : model_(model) {}

    IoStatus Lock() override { return IoStatus::Ok(); }
    IoStatus ReadSector(std::uint64_t index, std::span<std::uint8_t> sector) override
    {
        return ReadSectors(index, 1, sector);
    }
    IoStatus ReadSectors(std::uint64_t first, std::uint32_t count, std::span<std::uint8_t> data) override
    {
        if (count == 0 || first + count > FloppyModel::kSectors || data.size() != std::size_t{count} * 512)
            return IoStatus::Fail(EIO);
        if (model_.oneSectorRequests)
            for (std::uint32_t i = 0; i < count; ++i)
                model_.Request(first + i, 1);
        else
            model_.Request(first, count);
        for (std::size_t b = 0; b < data.size(); ++b)
            data[b] = static_cast<std::uint8_t>((first + b / 512) * 7 + b % 512 * 13);
        return IoStatus::Ok();
    }
    IoStatus WriteSectors(std::uint64_t, std::uint32_t, std::span<const std::uint8_t>) override
    {
        return IoStatus::Fail(EROFS);
    }
    void Unlock() override {}
    IoStatus Close() override { return IoStatus::Ok(); }

private:
    FloppyModel& model_;
};

} // namespace

void FloppyModel::Request(std::uint64_t first, std::uint32_t count)
{
    ++requests;
    now += kLatency;
    for (std::uint32_t i = 0; i < count; ++i) {
        const std::uint64_t s = first + i;
        const auto cyl = static_cast<std::uint32_t>(s / (kSectorsPerTrack * kHeads));
        if (cyl != cylinder) {
            now += kStep * std::abs(static_cast<int>(cyl) - static_cast<int>(cylinder));
            cylinder = cyl;
        }
        // Wait for the sector's start to come under the head (heads switch
        // at no cost: both sides turn together).
        const double start = static_cast<double>(s % kSectorsPerTrack) * kSectorTime;
        const double angle = std::fmod(now, kRevolution);
        double wait = start - angle;
        if (wait < -1e-9)
            wait += kRevolution;
        now += std::max(wait, 0.0) + kSectorTime;
    }
}

IoStatus FloppyDrive::QueryAllocation(char, AllocationFigures& figures)
{
    figures = {1, 512, 0, FloppyModel::kSectors - 33, FloppyModel::kSectors};
    return IoStatus::Ok();
}

std::unique_ptr<DeviceHandle> FloppyDrive::Open(char, bool forWriting, IoStatus& status)
{
    status = forWriting ? IoStatus::Fail(EROFS) : IoStatus::Ok();
    return forWriting ? nullptr : std::make_unique<FloppyHandle>(model_);
}
