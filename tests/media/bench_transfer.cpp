// The copy loops beside dd on the same media, in the same run: a media
// file on tmpfs, and a loop device over one when running as root, of 1.44 MB
// and 1 GiB. dd gets the program's request size (a cylinder of 36 sectors for
// the floppy, 1 MiB for the large medium, for reading and for writing) and
// its I/O mode (direct on the loop device, as the loops bypass the page
// cache on block devices); each benchmark's label gives dd's arguments, and
// "ratio" is the program's time over dd's. The host pumps nothing, so what
// is measured is the loops and the drive layer.
//
// dd hashes nothing; the loops work out CRC32, MD5 and SHA-1 of the data
// beside the transfer. BM_Hashes gives what the digests alone cost on this
// machine (one after another, and on the loops' threads), and BM_IoPath the
// creation's I/O without them: the drive layer's requests and the image
// writer, as the loop makes them.
//
// Beside them, a simulated 300 rpm floppy drive (floppy_model.h) gives the
// time to image a clean 1.44 MB disk with one-sector requests and with the
// program's track requests, against the model's lower bound; that time is
// simulated, not slept.
//
// Run from a Release build (ctest does not run it):
//   cmake -S . -B build-bench -G Ninja -DCMAKE_BUILD_TYPE=Release
//   cmake --build build-bench -j2 --target bench_transfer
//   build-bench/tests/media/bench_transfer
#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <spawn.h>
#include <string>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

#include <benchmark/benchmark.h>

#include "library/datahash.h"
#include "media/create.h"
#include "media/fatmedia.h"
#include "media/floppy_model.h"
#include "media/hashring.h"
#include "media/imagestream.h"
#include "media/restore.h"
#include "media/virtual_drive.h"

extern char** environ;

namespace {

namespace fs = std::filesystem;

class NullHost : public CreationHost {
public:
    void SetProgressRange(std::uint64_t) override {}
    void SetProgress(std::uint64_t) override {}
    void ProcessMessages() override {}
    bool CancelRequested() override { return false; }
    bool AskKeepUnreadable(std::uint64_t) override { return false; }
    bool AskImageTexts(ImageTexts& texts) override
    {
        texts = {"BENCH", "", "", "", "", ""};
        return true;
    }
};

// One medium of a given size: a media file, optionally behind a loop device,
// and the image made from it.
struct Medium {
    std::string file;
    std::unique_ptr<LoopDevice> loop;
    std::string device; // what drive A stands for
    std::string image;
    std::string ddCopy;
    std::string ioCopy; // BM_IoPath's image, without a header
    std::unique_ptr<DriveAccess> drive;
};

class Media {
public:
    Media()
    {
        dir_ = (fs::exists("/dev/shm") ? fs::path("/dev/shm") : fs::temp_directory_path()) /
               ("tessarine-bench-" + std::to_string(::getpid()));
        fs::create_directories(dir_);
    }
    ~Media()
    {
        media_.clear(); // loop devices detach before their files go
        std::error_code ec;
        fs::remove_all(dir_, ec);
    }

    // nullptr when a loop device is asked for and cannot be had.
    Medium* Get(std::uint32_t sectors, bool loop, std::string* why)
    {
        const auto key = std::make_pair(sectors, loop);
        if (auto it = media_.find(key); it != media_.end())
            return it->second.get();
        if (loop) {
            if (std::string reason = LoopDevicesUnavailable(); !reason.empty()) {
                *why = reason;
                return nullptr;
            }
        }
        auto m = std::make_unique<Medium>();
        const std::string stem = (dir_ / (std::to_string(sectors) + (loop ? "-loop" : "-file"))).string();
        m->file = stem + ".fd";
        m->image = stem + ".img";
        m->ddCopy = stem + ".dd";
        m->ioCopy = stem + ".io";
        {
            std::ofstream out(m->file, std::ios::binary);
            std::vector<char> sector(512);
            for (std::uint32_t s = 0; s < sectors; ++s) {
                for (std::size_t b = 0; b < sector.size(); ++b)
                    sector[b] = static_cast<char>(s * 7 + b * 13);
                out.write(sector.data(), static_cast<std::streamsize>(sector.size()));
            }
        }
        m->device = m->file;
        if (loop) {
            m->loop = std::make_unique<LoopDevice>(m->file);
            if (m->loop->path().empty()) {
                *why = m->loop->error();
                return nullptr;
            }
            m->device = m->loop->path();
        }
        m->drive = DrivesOver({{'A', m->device}});
        return (media_[key] = std::move(m)).get();
    }

private:
    fs::path dir_;
    std::map<std::pair<std::uint32_t, bool>, std::unique_ptr<Medium>> media_;
};

Media& Shared()
{
    static Media media;
    return media;
}

template <class F>
double Seconds(F&& f)
{
    const auto start = std::chrono::steady_clock::now();
    f();
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

bool RunDd(const std::vector<std::string>& args)
{
    std::vector<char*> argv;
    std::vector<std::string> all = {"dd"};
    all.insert(all.end(), args.begin(), args.end());
    all.push_back("status=none");
    for (auto& a : all)
        argv.push_back(a.data());
    argv.push_back(nullptr);
    pid_t pid;
    if (::posix_spawnp(&pid, "dd", nullptr, nullptr, argv.data(), environ) != 0)
        return false;
    int status = 0;
    ::waitpid(pid, &status, 0);
    return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

// Other programs on the machine may detach a loop device and attach one
// of theirs under its name; writing to it then would be writing to theirs.
std::string StillOurs(const Medium& m)
{
    if (!m.loop)
        return "";
    const std::string name = fs::path(m.device).filename().string();
    std::ifstream in("/sys/block/" + name + "/loop/backing_file");
    std::string backing;
    std::getline(in, backing);
    return backing == m.file ? "" : m.device + " no longer stands for " + m.file;
}

Medium* Setup(benchmark::State& state)
{
    std::string why;
    Medium* m = Shared().Get(static_cast<std::uint32_t>(state.range(0)), state.range(1) != 0, &why);
    if (!m)
        state.SkipWithError(why.c_str());
    else if (why = StillOurs(*m); !why.empty()) {
        state.SkipWithError(why.c_str());
        return nullptr;
    }
    return m;
}

std::uint32_t Sectors(benchmark::State& state) { return static_cast<std::uint32_t>(state.range(0)); }

// The program's read and write requests in bytes for this medium, as dd's bs.
std::string ReadBytes(benchmark::State& state) { return std::to_string(ReadRequestSectors(Sectors(state), 512) * 512); }
std::string WriteBytes(benchmark::State& state)
{
    return std::to_string(WriteRequestSectors(Sectors(state), 512, true) * 512);
}

// "dd if=... bs=... iflag=direct" without the paths, for the label.
std::string DdLabel(const std::vector<std::string>& args)
{
    std::string label = "dd";
    for (const std::string& a : args)
        if (a.rfind("if=", 0) != 0 && a.rfind("of=", 0) != 0)
            label += " " + a;
    return label;
}

// Times program and dd once per iteration each; the program's time is the
// benchmark's, dd's and the ratio are counters. A run gives the text of a
// failure, which ends the benchmark, or nothing.
template <class Program, class Dd>
void Beside(benchmark::State& state, const Medium& m, Program&& program, Dd&& dd)
{
    double programTotal = 0, ddTotal = 0;
    for (auto _ : state) {
        std::string failure;
        if (failure = StillOurs(m); !failure.empty()) {
            state.SkipWithError(failure.c_str());
            return;
        }
        const double p = Seconds([&] { failure = program(); });
        if (failure.empty()) {
            const double d = Seconds([&] { failure = dd(); });
            ddTotal += d;
        }
        if (!failure.empty()) {
            state.SkipWithError(failure.c_str());
            return;
        }
        programTotal += p;
        state.SetIterationTime(p);
    }
    const double bytes = static_cast<double>(state.range(0)) * 512;
    state.counters["dd_ms"] = benchmark::Counter(ddTotal * 1000, benchmark::Counter::kAvgIterations);
    state.counters["ratio"] = ddTotal > 0 ? programTotal / ddTotal : 0;
    state.counters["MB/s"] = benchmark::Counter(bytes / 1e6, benchmark::Counter::kIsIterationInvariantRate);
}

std::string Dd(const std::vector<std::string>& args) { return RunDd(args) ? "" : "dd failed"; }

// The writing benchmarks need an image of the medium; the first makes it.
bool HaveImage(benchmark::State& state, Medium& m)
{
    NullHost host;
    if (fs::exists(m.image) || CreateFromDrive(*m.drive, 'A', m.image, host).outcome == kTransferDone)
        return true;
    state.SkipWithError("no image to write");
    return false;
}

void BM_Create(benchmark::State& state)
{
    Medium* m = Setup(state);
    if (!m)
        return;
    NullHost host;
    std::vector<std::string> dd = {"if=" + m->device, "of=" + m->ddCopy, "bs=" + ReadBytes(state)};
    if (state.range(1))
        dd.push_back("iflag=direct");
    state.SetLabel(DdLabel(dd));
    Beside(
        state, *m,
        [&] {
            const TransferResult r = CreateFromDrive(*m->drive, 'A', m->image, host);
            return r.outcome == kTransferDone ? std::string() : "creation failed: " + r.errorText();
        },
        [&] {
            std::string failure = Dd(dd);
            fs::remove(m->ddCopy); // tmpfs holds it in memory
            return failure;
        });
}

// Writing in the program's write requests, flushing, then reading the
// medium back in its read requests.
void BM_Restore(benchmark::State& state)
{
    Medium* m = Setup(state);
    if (!m || !HaveImage(state, *m))
        return;
    NullHost host;
    std::vector<std::string> write = {"if=" + m->image, "of=" + m->device, "bs=" + WriteBytes(state),
                                      "iflag=skip_bytes", "skip=256", "conv=notrunc,fsync"};
    std::vector<std::string> readBack = {"if=" + m->device, "of=/dev/null", "bs=" + ReadBytes(state)};
    if (state.range(1)) {
        write.push_back("oflag=direct");
        readBack.push_back("iflag=direct");
    }
    state.SetLabel(DdLabel(write) + " + " + DdLabel(readBack));
    Beside(
        state, *m,
        [&] {
            const TransferResult r = RestoreToDrive(*m->drive, 'A', m->image, host);
            return r.outcome == kTransferDone ? std::string() : "restoration failed: " + r.errorText();
        },
        [&] {
            std::string failure = Dd(write);
            return failure.empty() ? Dd(readBack) : failure;
        });
}

// Creation's I/O without the hashes: the medium read through the drive
// layer in the loop's requests into aligned memory, appended to a new image
// file and synced, beside dd as BM_Create.
void BM_IoPath(benchmark::State& state)
{
    Medium* m = Setup(state);
    if (!m)
        return;
    std::vector<std::string> dd = {"if=" + m->device, "of=" + m->ddCopy, "bs=" + ReadBytes(state)};
    if (state.range(1))
        dd.push_back("iflag=direct");
    state.SetLabel(DdLabel(dd));
    const std::uint32_t count = Sectors(state);
    const std::uint32_t perRequest = ReadRequestSectors(count, 512);
    AlignedBytes buffer(std::size_t{perRequest} * 512);
    Beside(
        state, *m,
        [&]() -> std::string {
            IoStatus st;
            auto device = m->drive->Open('A', false, st);
            auto file = device ? CreateImageFile(m->ioCopy, st) : nullptr;
            for (std::uint32_t first = 0; file && st.ok() && first < count; first += perRequest) {
                const auto data = buffer.span().first(std::size_t{std::min(perRequest, count - first)} * 512);
                if (st = device->ReadSectors(first, static_cast<std::uint32_t>(data.size() / 512), data); st.ok())
                    st = file->Append(data);
            }
            if (file && st.ok())
                st = file->Finish();
            if (device && st.ok())
                st = device->Close();
            fs::remove(m->ioCopy);
            return st.ok() ? "" : "I/O path failed: " + st.message();
        },
        [&] {
            std::string failure = Dd(dd);
            fs::remove(m->ddCopy);
            return failure;
        });
}

// The three digests over the medium's bytes in memory, in the loops'
// requests: {sectors, ring}: 0 one after another on this thread, 1 on the
// ring's threads.
void BM_Hashes(benchmark::State& state)
{
    const std::uint32_t count = Sectors(state);
    const std::size_t request = std::size_t{ReadRequestSectors(count, 512)} * 512;
    std::vector<std::uint8_t> medium(std::size_t{count} * 512);
    for (std::size_t i = 0; i < medium.size(); ++i)
        medium[i] = static_cast<std::uint8_t>(i * 7 + i / 512);
    for (auto _ : state) {
        DataHashes h;
        const double t = Seconds([&] {
            if (state.range(1) == 0) {
                DataHasher hasher;
                for (std::size_t at = 0; at < medium.size(); at += request)
                    hasher.Update(std::span(medium).subspan(at, std::min(request, medium.size() - at)));
                h = hasher.Finish();
            } else {
                HashingRing ring(request);
                for (std::size_t at = 0; at < medium.size(); at += request) {
                    const std::size_t n = std::min(request, medium.size() - at);
                    std::memcpy(ring.Next().data(), medium.data() + at, n); // the read's copy
                    ring.Submit(n);
                }
                h = ring.Finish();
            }
        });
        benchmark::DoNotOptimize(h);
        state.SetIterationTime(t);
    }
    state.counters["MB/s"] = benchmark::Counter(static_cast<double>(medium.size()) / 1e6,
                                                benchmark::Counter::kIsIterationInvariantRate);
}

// {sectors, loop device}: 1.44 MB and 1 GiB, media file and loop device.
void AllMedia(benchmark::internal::Benchmark* b)
{
    b->ArgNames({"sectors", "loop"});
    for (int loop : {0, 1})
        for (int sectors : {2880, 2097152})
            b->Args({sectors, loop});
    b->UseManualTime()->Unit(benchmark::kMillisecond);
}

// Imaging a clean disk in the simulated drive; {track requests}: 0 one
// sector per request, 1 the program's own requests. The iteration time is
// the simulated time.
void BM_SimulatedFloppy(benchmark::State& state)
{
    FloppyModel model;
    model.oneSectorRequests = state.range(0) == 0;
    const std::string image = (fs::temp_directory_path() / ("tessarine-floppy-" + std::to_string(::getpid()))).string();
    NullHost host;
    for (auto _ : state) {
        model.now = 0;
        model.requests = 0;
        model.cylinder = 0;
        FloppyDrive drive(model);
        if (CreateFromDrive(drive, 'A', image, host).outcome != kTransferDone) {
            state.SkipWithError("creation failed");
            break;
        }
        state.SetIterationTime(model.now);
    }
    fs::remove(image);
    state.counters["simulated_s"] = model.now;
    state.counters["lower_bound_s"] = FloppyModel::LowerBound();
    state.counters["over_bound"] = model.now / FloppyModel::LowerBound();
    state.counters["requests"] = static_cast<double>(model.requests);
}

BENCHMARK(BM_Create)->Apply(AllMedia);
BENCHMARK(BM_IoPath)->Apply(AllMedia);
BENCHMARK(BM_Restore)->Apply(AllMedia);
BENCHMARK(BM_Hashes)
    ->ArgNames({"sectors", "ring"})
    ->ArgsProduct({{2880, 2097152}, {0, 1}})
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond);
BENCHMARK(BM_SimulatedFloppy)->ArgName("track")->Arg(0)->Arg(1)->UseManualTime()->Unit(benchmark::kSecond)->Iterations(1);

} // namespace

BENCHMARK_MAIN();
