// The copy loops' own cost per sector beside dd bs=512 on the same media:
// a media file on tmpfs, and a loop device over one when running as root
// (dd then with iflag=direct / oflag=direct, as the loops bypass the page
// cache on block devices). The host pumps nothing, so what is measured is
// the loops and the drive layer. The loops are meant to stay within 1.5
// times dd's time per sector.
//
// Run from a Release build:
//   cmake -S . -B build-bench -G Ninja -DCMAKE_BUILD_TYPE=Release
//   cmake --build build-bench -j2 --target bench_transfer
//   build-bench/tests/media/bench_transfer
#include <chrono>
#include <cstdio>
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

#include "media/create.h"
#include "media/virtual_drive.h"
#include "media/fatmedia.h"
#include "media/restore.h"

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

void PerSector(benchmark::State& state, std::uint32_t sectors)
{
    state.counters["per_sector"] =
        benchmark::Counter(sectors, benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
}

Medium* Setup(benchmark::State& state)
{
    std::string why;
    Medium* m = Shared().Get(static_cast<std::uint32_t>(state.range(0)), state.range(1) != 0, &why);
    if (!m)
        state.SkipWithError(why.c_str());
    return m;
}

// Times run once per iteration and reports the time per sector. run gives
// the text of a failure, which ends the benchmark, or nothing.
template <class Run>
void TimeEach(benchmark::State& state, Run&& run)
{
    for (auto _ : state) {
        std::string failure;
        state.SetIterationTime(Seconds([&] { failure = run(); }));
        if (!failure.empty()) {
            state.SkipWithError(failure.c_str());
            return;
        }
    }
    PerSector(state, static_cast<std::uint32_t>(state.range(0)));
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
    TimeEach(state, [&] {
        const TransferResult r = CreateFromDrive(*m->drive, 'A', m->image, host);
        return r.outcome == kTransferDone ? std::string() : "creation failed: " + r.errorText();
    });
}

void BM_DdRead(benchmark::State& state)
{
    Medium* m = Setup(state);
    if (!m)
        return;
    std::vector<std::string> args = {"if=" + m->device, "of=" + m->ddCopy, "bs=512"};
    if (state.range(1))
        args.push_back("iflag=direct");
    TimeEach(state, [&] { return Dd(args); });
}

void BM_Restore(benchmark::State& state)
{
    Medium* m = Setup(state);
    if (!m || !HaveImage(state, *m))
        return;
    NullHost host;
    TimeEach(state, [&] {
        const TransferResult r = RestoreToDrive(*m->drive, 'A', m->image, host);
        return r.outcome == kTransferDone ? std::string() : "restoration failed: " + r.errorText();
    });
}

void BM_DdWrite(benchmark::State& state)
{
    Medium* m = Setup(state);
    if (!m || !HaveImage(state, *m))
        return;
    std::vector<std::string> args = {"if=" + m->image, "of=" + m->device, "bs=512", "iflag=skip_bytes", "skip=256",
                                     "conv=notrunc"};
    if (state.range(1))
        args.push_back("oflag=direct");
    TimeEach(state, [&] { return Dd(args); });
}

// {sectors, loop device}: 1.44 MB and 64 MB, media file and loop device.
void AllMedia(benchmark::internal::Benchmark* b)
{
    b->ArgNames({"sectors", "loop"});
    for (int loop : {0, 1})
        for (int sectors : {2880, 131072})
            b->Args({sectors, loop});
    b->UseManualTime()->Unit(benchmark::kMillisecond);
}

BENCHMARK(BM_Create)->Apply(AllMedia);
BENCHMARK(BM_DdRead)->Apply(AllMedia);
BENCHMARK(BM_Restore)->Apply(AllMedia);
BENCHMARK(BM_DdWrite)->Apply(AllMedia);

} // namespace

BENCHMARK_MAIN();
