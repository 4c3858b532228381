// The settings work of a start of the window and of one creation (F5), with
// an ordinary store and with one of 100 MB (a junk key beside the
// program's own), in one run: the large store should cost at most 1 s more
// than the ordinary one. The window's own part of a start is bench_store
// (tests/app). Not a test: run from a Release build.
#include <benchmark/benchmark.h>

#include <string>

#include "library/history.h"
#include "settings/regstore.h"
#include "support/largestore.h"
#include "support/tempdir.h"

namespace {

constexpr std::size_t kLargeStoreBytes = 100u * 1024u * 1024u;

struct Stores {
    TempDir ordinary, large;

    Stores()
    {
        for (TempDir* dir : {&ordinary, &large}) {
            RegStore store(MakeFileBackend(dir->file("Tessarine.reg")));
            store.RegWriteString(0, kSystemKey, "Drive", "A");
            store.RegWriteString(0, kSystemKey, "Dir", dir->path() + "/Images/");
            for (int f = 0; f < kFieldCount; ++f)
                SaveHistory(store, f, {"entry one", "entry two", "entry three"});
        }
        AppendJunkKey(large.file("Tessarine.reg"), kLargeStoreBytes);
    }
    std::string PathOf(const benchmark::State& state)
    {
        return (state.range(0) ? large : ordinary).file("Tessarine.reg");
    }
};

Stores& Shared()
{
    static Stores stores;
    return stores;
}

// What the first show of the main window reads, in its order, and the
// drive table's Devices key.
void StartReads(RegStore& store)
{
    benchmark::DoNotOptimize(store.RegReadString(0, kSystemKey, "Drive", ""));
    benchmark::DoNotOptimize(store.RegReadString(0, kSystemKey, "Drive", "A"));
    benchmark::DoNotOptimize(store.RegReadString(0, kSystemKey, "Dir", ".\\Images\\"));
    benchmark::DoNotOptimize(store.RegReadInteger(0, kSystemKey, "MultiSelect", 0));
    for (const char* name : {"Column1", "Column2", "Column3", "Column4", "Column5", "Column6", "Top", "Left",
                             "Height", "Width"})
        benchmark::DoNotOptimize(store.RegReadInteger(0, kSystemKey, name, 66));
    benchmark::DoNotOptimize(ExplicitDrives(store));
}

// A process start: a store that has kept nothing yet.
void BM_StartSettings(benchmark::State& state)
{
    const std::string path = Shared().PathOf(state);
    for (auto _ : state) {
        RegStore store(MakeFileBackend(path));
        StartReads(store);
    }
}

// A creation in a running window: the drive table, the dialog's histories,
// OK merging one new title.
void BM_CreationSettings(benchmark::State& state)
{
    RegStore store(MakeFileBackend(Shared().PathOf(state)));
    StartReads(store);
    int n = 0;
    for (auto _ : state) {
        benchmark::DoNotOptimize(ExplicitDrives(store));
        for (int f = 0; f < kFieldCount; ++f)
            benchmark::DoNotOptimize(LoadHistory(store, f));
        std::array<std::string, kFieldCount> entries;
        entries[kTitle] = "Title " + std::to_string(++n);
        benchmark::DoNotOptimize(MergeHistories(store, entries));
    }
}

// The same start against a store of the old kind, parsed at every access:
// a fresh store object for every read.
void BM_StartSettingsParsingEveryAccess(benchmark::State& state)
{
    const std::string path = Shared().PathOf(state);
    for (auto _ : state) {
        for (const char* name : {"Drive", "Drive", "Dir"}) {
            RegStore store(MakeFileBackend(path));
            benchmark::DoNotOptimize(store.RegReadString(0, kSystemKey, name, ""));
        }
    }
}

} // namespace

BENCHMARK(BM_StartSettings)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(BM_CreationSettings)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond)->Iterations(10);
BENCHMARK(BM_StartSettingsParsingEveryAccess)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond)->Iterations(1);

BENCHMARK_MAIN();
