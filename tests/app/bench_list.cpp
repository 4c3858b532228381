// The library list at 10,000 and 100,000 images, each figure beside its
// natural baseline from the same run: the scan beside bare system-call
// loops over the same files, the window's model beside a QTreeWidget with
// one item per row (what the list used to be). Offscreen; run from a
// Release build: build-bench/tests/app/bench_list
#include "app/mainform.h"
#include "base/cp932.h"
#include "library/imagefile.h"
#include "library/scan.h"
#include "settings/regstore.h"
#include "support/profiles.h"

#include <benchmark/benchmark.h>

#include <QApplication>
#include <QEvent>
#include <QFile>
#include <QHeaderView>
#include <QTreeWidget>

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <fstream>
#include <map>
#include <memory>

namespace {

// Headers only, as the largest libraries hold them: every other file an
// image with a CP932 title, the rest the same size without the magic.
struct Library {
    WindowProfile profile;
    std::vector<std::string> paths;

    explicit Library(int files)
    {
        profile.configured();
        ImageTexts texts;
        texts[kTargetMachine] = "PC-9801";
        texts[kAuthor] = "\x83\x65\x83\x58\x83\x67"; // テスト in CP932
        std::string other(kImageHeaderSize, 'x');
        char name[32];
        for (int i = 0; i < files; ++i) {
            std::snprintf(name, sizeof name, "IMG%05X.TMP", i);
            const std::string path = profile.folder + name;
            std::ofstream out(path, std::ios::binary);
            if (i % 2 == 0) {
                // Titles in a scrambled order so that a sort has work to do.
                texts[kTitle] = "\x83\x51\x81\x5b\x83\x80 " + std::to_string((i * 7919) % files); // ゲーム n
                const HeaderBytes h = BuildHeader(texts, 1, 512, 1);
                out.write(reinterpret_cast<const char*>(h.data()), static_cast<std::streamsize>(h.size()));
            } else {
                out << other;
            }
            paths.push_back(path);
        }
    }
};

Library& Shared(int files)
{
    static std::map<int, std::unique_ptr<Library>> libraries;
    auto& library = libraries[files];
    if (!library)
        library = std::make_unique<Library>(files);
    return *library;
}

std::size_t PreadAndClose(int fd)
{
    if (fd < 0)
        return 0;
    char buf[kImageHeaderSize];
    const ssize_t n = pread(fd, buf, sizeof buf, 0);
    close(fd);
    return n > 0 ? static_cast<std::size_t>(n) : 0;
}

void BM_BareOpenPreadClose(benchmark::State& state)
{
    Library& lib = Shared(static_cast<int>(state.range(0)));
    for (auto _ : state) {
        std::size_t bytes = 0;
        for (const std::string& path : lib.paths)
            bytes += PreadAndClose(open(path.c_str(), O_RDONLY | O_CLOEXEC));
        benchmark::DoNotOptimize(bytes);
    }
}

// The calls a scan cannot do without: list, stat (small files must not be
// opened), open, pread 256, close; no rows built.
void BM_BareListStatOpenPreadClose(benchmark::State& state)
{
    Library& lib = Shared(static_cast<int>(state.range(0)));
    for (auto _ : state) {
        std::size_t bytes = 0;
        const int dirFd = open(lib.profile.folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        DIR* dir = fdopendir(dirFd);
        if (!dir) {
            state.SkipWithError("cannot list the folder");
            break;
        }
        while (const dirent* entry = readdir(dir)) {
            struct stat st;
            if (entry->d_type != DT_REG || fstatat(dirFd, entry->d_name, &st, 0) != 0 ||
                st.st_size < static_cast<off_t>(kImageHeaderSize))
                continue;
            bytes += PreadAndClose(openat(dirFd, entry->d_name, O_RDONLY | O_NONBLOCK | O_CLOEXEC));
        }
        closedir(dir);
        benchmark::DoNotOptimize(bytes);
    }
}

void BM_Scan(benchmark::State& state)
{
    const int files = static_cast<int>(state.range(0));
    Library& lib = Shared(files);
    for (auto _ : state) {
        std::vector<LibraryRow> rows = ScanImageFolder(lib.profile.folder);
        if (rows.size() != static_cast<std::size_t>(files / 2))
            state.SkipWithError("the scan did not find every image");
        benchmark::DoNotOptimize(rows);
    }
}

// Waits for the first paint of widget after show().
struct FirstPaint : QObject {
    bool painted = false;
    bool eventFilter(QObject*, QEvent* event) override
    {
        if (event->type() == QEvent::Paint)
            painted = true;
        return false;
    }
};

double ResidentMegabytes()
{
    std::ifstream statm("/proc/self/statm");
    long pages = 0, resident = 0;
    statm >> pages >> resident;
    return static_cast<double>(resident) * static_cast<double>(sysconf(_SC_PAGESIZE)) / (1024.0 * 1024.0);
}

// From show() to the first paint of the list: the scan, the model's fill,
// the first sort and painting the first screen. The scan alone is BM_Scan.
void BM_WindowShowToFirstPaint(benchmark::State& state)
{
    Library& lib = Shared(static_cast<int>(state.range(0)));
    double rssGrowth = 0;
    for (auto _ : state) {
        state.PauseTiming();
        const double before = ResidentMegabytes();
        auto form = std::make_unique<TMain_Form>(lib.profile.services());
        FirstPaint watch;
        form->Controls().LV1->viewport()->installEventFilter(&watch);
        state.ResumeTiming();
        form->show();
        while (!watch.painted)
            QApplication::processEvents();
        state.PauseTiming();
        if (form->Controls().LV1->RowCount() != state.range(0) / 2)
            state.SkipWithError("the window did not list every image");
        rssGrowth = ResidentMegabytes() - before;
        form.reset();
        state.ResumeTiming();
    }
    state.counters["rss_growth_MB"] = rssGrowth;
}

// A column click, with no row selected or with every row selected.
void BM_WindowColumnClick(benchmark::State& state)
{
    Library& lib = Shared(static_cast<int>(state.range(0)));
    const bool allSelected = state.range(1) != 0;
    lib.profile.store.RegWriteInteger(0, kSystemKey, "MultiSelect", allSelected ? 1 : 0);
    TMain_Form form(lib.profile.services());
    form.show();
    QApplication::processEvents();
    if (allSelected)
        form.Controls().LV1->selectAll();
    int column = 0;
    for (auto _ : state) {
        form.LV1ColumnClick(column);
        column = (column + 1) % kColumnCount;
    }
    if (allSelected && form.Controls().LV1->SelectedCount() != form.Controls().LV1->RowCount())
        state.SkipWithError("the sort lost the selection");
    lib.profile.store.RegWriteInteger(0, kSystemKey, "MultiSelect", 0);
}

// The old list: one item per row with its seven decoded texts, Qt's sort.
std::unique_ptr<QTreeWidget> ItemList(const std::vector<LibraryRow>& rows)
{
    auto list = std::make_unique<QTreeWidget>();
    list->setColumnCount(kColumnCount);
    list->setRootIsDecorated(false);
    list->setUniformRowHeights(true);
    QList<QTreeWidgetItem*> items;
    items.reserve(static_cast<qsizetype>(rows.size()));
    for (const LibraryRow& row : rows) {
        auto* item = new QTreeWidgetItem;
        for (int c = 0; c < kFileNameColumn; ++c)
            item->setText(c, QString::fromStdString(Cp932ToUtf8(row[static_cast<std::size_t>(c)])));
        item->setText(kFileNameColumn, QFile::decodeName(QByteArray::fromStdString(row[kFileNameColumn])));
        items.append(item);
    }
    list->addTopLevelItems(items);
    return list;
}

void BM_ItemListFillToFirstPaint(benchmark::State& state)
{
    Library& lib = Shared(static_cast<int>(state.range(0)));
    const std::vector<LibraryRow> rows = ScanImageFolder(lib.profile.folder);
    double rssGrowth = 0;
    for (auto _ : state) {
        const double before = ResidentMegabytes();
        auto list = ItemList(rows);
        list->sortItems(0, Qt::AscendingOrder);
        FirstPaint watch;
        list->viewport()->installEventFilter(&watch);
        list->resize(600, 400);
        list->show();
        while (!watch.painted)
            QApplication::processEvents();
        state.PauseTiming();
        rssGrowth = ResidentMegabytes() - before;
        list.reset();
        state.ResumeTiming();
    }
    state.counters["rss_growth_MB"] = rssGrowth;
}

void BM_ItemListColumnClick(benchmark::State& state)
{
    Library& lib = Shared(static_cast<int>(state.range(0)));
    auto list = ItemList(ScanImageFolder(lib.profile.folder));
    list->show();
    QApplication::processEvents();
    int column = 0;
    Qt::SortOrder order = Qt::AscendingOrder;
    for (auto _ : state) {
        list->sortItems(column, order);
        column = (column + 1) % kColumnCount;
        order = order == Qt::AscendingOrder ? Qt::DescendingOrder : Qt::AscendingOrder;
    }
}

} // namespace

BENCHMARK(BM_BareOpenPreadClose)->Arg(10000)->Arg(100000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_BareListStatOpenPreadClose)->Arg(10000)->Arg(100000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Scan)->Arg(10000)->Arg(100000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_WindowShowToFirstPaint)->Arg(10000)->Arg(100000)->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(BM_ItemListFillToFirstPaint)->Arg(10000)->Arg(100000)->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(BM_WindowColumnClick)
    ->ArgsProduct({{10000, 100000}, {0, 1}})
    ->Unit(benchmark::kMillisecond)
    ->Iterations(7);
BENCHMARK(BM_ItemListColumnClick)->Arg(10000)->Arg(100000)->Unit(benchmark::kMillisecond)->Iterations(7);

int main(int argc, char** argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
