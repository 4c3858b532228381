#pragma once
// A simulated 300 rpm 1.44 MB floppy drive for the request-size benchmark:
// 80 cylinders of two 18-sector tracks, 200 ms a revolution, 3 ms per
// cylinder stepped, no read cache, and a command latency per request (the
// host and the controller setting up), during which the disk turns on. Time
// is counted, never slept.
#include <cstdint>

#include "media/drive.h"

struct FloppyModel {
    static constexpr std::uint32_t kSectorsPerTrack = 18;
    static constexpr std::uint32_t kHeads = 2;
    static constexpr std::uint32_t kCylinders = 80;
    static constexpr std::uint32_t kSectors = kSectorsPerTrack * kHeads * kCylinders; // 2880
    static constexpr double kRevolution = 0.200;                                      // s
    static constexpr double kStep = 0.003;                                            // s per cylinder
    static constexpr double kLatency = 0.001; // s from one request's end to the next one's start

    // Every request is cut into one-sector requests (as a drive layer that
    // asks for one sector at a time does).
    bool oneSectorRequests = false;

    double now = 0; // simulated seconds
    std::uint32_t cylinder = 0;
    std::uint64_t requests = 0;

    // One request of count sectors from first: the seek, the wait for the
    // first sector to come round, then the sectors as they pass the head.
    void Request(std::uint64_t first, std::uint32_t count);

    // One revolution per track and the steps between cylinders: what no
    // request size can beat.
    static double LowerBound() { return kCylinders * kHeads * kRevolution + (kCylinders - 1) * kStep; }
};

// The model as a drive: letter A holds a clean 1.44 MB disk of pattern sectors.
class FloppyDrive : public DriveAccess {
public:
    explicit FloppyDrive(FloppyModel& model) : model_(model) {}
    bool IsNtFamily() override { return true; }
    DriveStatus DriveReady(char) override { return {}; }
    IoStatus QueryAllocation(char letter, AllocationFigures& figures) override;
    std::unique_ptr<DeviceHandle> Open(char letter, bool forWriting, IoStatus& status) override;
    void Eject(char) override {}

private:
    FloppyModel& model_;
};
