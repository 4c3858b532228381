// Import of 1,000 raw floppy files of mixed geometries beside `cp` of the
// same files, in one run: the import should stay within 1.5 times the copy.
// Not a test: run bench_import and compare the two lines.
#include <benchmark/benchmark.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "library/diskconvert.h"
#include "library/geometry.h"
#include "support/tempdir.h"

namespace fs = std::filesystem;

namespace {

constexpr int kFiles = 1000;

// The source files, written once: every known geometry in turn.
const TempDir& Sources()
{
    static TempDir dir;
    static bool made = false;
    if (!made) {
        fs::create_directories(dir.file("src"));
        const auto geometries = KnownGeometries();
        for (int i = 0; i < kFiles; ++i) {
            const DiskGeometry& g = geometries[static_cast<std::size_t>(i) % geometries.size()];
            std::string data(static_cast<std::size_t>(g.Bytes()), static_cast<char>(i));
            std::ofstream(dir.file("src/disk" + std::to_string(i) + "." + std::string(g.rawExtension)), std::ios::binary)
                << data;
        }
        made = true;
    }
    return dir;
}

std::string FreshTarget(const TempDir& dir)
{
    fs::remove_all(dir.file("dst"));
    fs::create_directories(dir.file("dst"));
    return dir.file("dst");
}

void BM_CopyWithCp(benchmark::State& state)
{
    const TempDir& dir = Sources();
    for (auto _ : state) {
        state.PauseTiming();
        const std::string target = FreshTarget(dir);
        state.ResumeTiming();
        if (std::system(("cp " + dir.file("src") + "/* " + target + "/").c_str()) != 0)
            state.SkipWithError("cp failed");
    }
}

// A batch import flushes its images once before it tells its success: so
// does this copy (sync -f: the file system's flush).
void BM_CopyWithCpAndSync(benchmark::State& state)
{
    const TempDir& dir = Sources();
    for (auto _ : state) {
        state.PauseTiming();
        const std::string target = FreshTarget(dir);
        state.ResumeTiming();
        if (std::system(("cp " + dir.file("src") + "/* " + target + "/ && sync -f " + target).c_str()) != 0)
            state.SkipWithError("cp or sync failed");
    }
}

// Argument 1: a batch with its flushes, as tessarine-cli import does; 0:
// image by image, each flushed before the next, as the window imports.
void BM_Import(benchmark::State& state)
{
    const TempDir& dir = Sources();
    std::vector<std::string> files;
    for (const auto& e : fs::directory_iterator(dir.file("src")))
        files.push_back(e.path().string());
    for (auto _ : state) {
        state.PauseTiming();
        const std::string target = FreshTarget(dir);
        state.ResumeTiming();
        ImportBatch batch(target);
        for (const std::string& file : files) {
            ForeignFile foreign;
            std::string made;
            const bool read = ReadForeignFile(file, foreign).ok();
            if (!read || !(state.range(0) == 1 ? batch.Add(foreign.disks[0], ImageTexts{}, made)
                                               : WriteImportedImage(target, foreign.disks[0], ImageTexts{}, made))
                              .ok()) {
                state.SkipWithError("import failed");
                return;
            }
        }
        if (!batch.Finish().ok())
            state.SkipWithError("flush failed");
    }
}

} // namespace

BENCHMARK(BM_CopyWithCp)->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(BM_CopyWithCpAndSync)->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(BM_Import)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK_MAIN();
