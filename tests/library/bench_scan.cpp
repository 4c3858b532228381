// Scan speed beside the least any scan must do: open, read 256 bytes and
// close every file of the same folder. The scan is meant to stay within 1.5
// times the bare loop. Run from a Release build: build-bench/tests/library/bench_scan
#include "library/scan.h"

#include "support/tempdir.h"

#include <benchmark/benchmark.h>

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <memory>
#include <vector>

namespace {

constexpr int kFiles = 10000;

// 10,000 files of 256 + 512 bytes; the even ones are images, the odd ones
// the same size without the magic, so every file is a candidate to be read.
struct Library {
    TempDir dir;
    std::vector<std::string> paths;

    Library()
    {
        ImageTexts texts;
        texts[kTitle] = "GAME DISK";
        texts[kTargetMachine] = "PC-9801";
        HeaderBytes h = BuildHeader(texts, 1, 512, 1);
        std::string image(h.begin(), h.end());
        image += std::string(512, '\xE5');
        std::string other(image.size(), 'x');
        char name[32];
        for (int i = 0; i < kFiles; ++i) {
            std::snprintf(name, sizeof name, "IMG%04X.TMP", i);
            dir.write(name, i % 2 == 0 ? image : other);
            paths.push_back(dir.file(name));
        }
    }
};

Library& Shared()
{
    static Library library;
    return library;
}

// Reads 256 bytes from fd (when open) and closes it; returns the bytes read.
std::size_t ReadAndClose(int fd)
{
    if (fd < 0)
        return 0;
    char buf[256];
    ssize_t n = read(fd, buf, sizeof buf);
    close(fd);
    return n > 0 ? static_cast<std::size_t>(n) : 0;
}

void BM_BareOpenReadClose(benchmark::State& state)
{
    Library& lib = Shared();
    for (auto _ : state) {
        std::size_t bytes = 0;
        for (const std::string& path : lib.paths) {
            bytes += ReadAndClose(open(path.c_str(), O_RDONLY));
        }
        benchmark::DoNotOptimize(bytes);
    }
    state.counters["files"] = kFiles;
}

// The system calls the scan cannot do without: list, stat (files under 256
// bytes must be rejected unopened), open, read, close; no rows are built.
// Shows how much of the scan's time is its own.
void BM_ListStatOpenReadClose(benchmark::State& state)
{
    Library& lib = Shared();
    for (auto _ : state) {
        std::size_t bytes = 0;
        int dirFd = open(lib.dir.path().c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        DIR* dir = fdopendir(dirFd);
        if (!dir) {
            state.SkipWithError("cannot list the folder");
            break;
        }
        while (const dirent* entry = readdir(dir)) {
            struct stat st;
            if (entry->d_type != DT_REG || fstatat(dirFd, entry->d_name, &st, 0) != 0 || st.st_size < 256)
                continue;
            bytes += ReadAndClose(openat(dirFd, entry->d_name, O_RDONLY | O_NONBLOCK | O_CLOEXEC));
        }
        closedir(dir);
        benchmark::DoNotOptimize(bytes);
    }
    state.counters["files"] = kFiles;
}

void BM_ScanImageFolder(benchmark::State& state)
{
    Library& lib = Shared();
    for (auto _ : state) {
        std::vector<LibraryRow> rows = ScanImageFolder(lib.dir.path());
        if (rows.size() != kFiles / 2)
            state.SkipWithError("the scan did not find every image");
        benchmark::DoNotOptimize(rows);
    }
    state.counters["files"] = kFiles;
}

} // namespace

BENCHMARK(BM_BareOpenReadClose)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ListStatOpenReadClose)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ScanImageFolder)->Unit(benchmark::kMillisecond);
BENCHMARK_MAIN();
