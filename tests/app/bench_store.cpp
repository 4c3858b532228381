// A start of the main window and the settings work of one creation (F5),
// each with an ordinary settings store and with one of 100 MB (a junk key
// beside the program's own), in one run: the large store should cost at
// most 1 s more than the ordinary one. Not a test: run bench_store and
// compare the pairs of lines. Offscreen.
#include "app/mainform.h"
#include "library/history.h"
#include "library/prop.h"
#include "media/drivetable.h"
#include "settings/regstore.h"
#include "support/largestore.h"
#include "support/profiles.h"

#include <benchmark/benchmark.h>

#include <QApplication>
#include <QComboBox>

#include <map>
#include <memory>

namespace {

constexpr std::size_t kLargeStoreBytes = 100u * 1024u * 1024u;

struct Profiles {
    WindowProfile ordinary;
    WindowProfile large;

    Profiles()
    {
        for (WindowProfile* p : {&ordinary, &large}) {
            p->configured();
            for (int f = 0; f < kFieldCount; ++f)
                SaveHistory(p->store, f, {"entry one", "entry two", "entry three"});
        }
        AppendJunkKey(large.dir.file("Tessarine.reg"), kLargeStoreBytes);
    }
    WindowProfile& Of(const benchmark::State& state) { return state.range(0) ? large : ordinary; }
};

Profiles& Shared()
{
    static Profiles profiles;
    return profiles;
}

// A process start: a store that has kept nothing yet, the window, its
// first show (settings, scan) until the events are done.
void BM_Start(benchmark::State& state)
{
    WindowProfile& profile = Shared().Of(state);
    const std::string storePath = profile.dir.file("Tessarine.reg");
    for (auto _ : state) {
        RegStore store(MakeFileBackend(storePath));
        MainFormServices base = profile.services();
        MainFormServices services{store, base.messageBox, base.drives, base.driveTable, base.exePath,
                                  base.openHelp, base.configCommand};
        TMain_Form form(std::move(services));
        form.show();
        QApplication::processEvents();
        benchmark::DoNotOptimize(form.State().SourceDrive);
    }
}

// What a creation asks of the store in a running window: the drive table's
// Devices key, the dialog's histories, and OK merging its entries.
void BM_CreationSettings(benchmark::State& state)
{
    WindowProfile& profile = Shared().Of(state);
    int n = 0;
    for (auto _ : state) {
        benchmark::DoNotOptimize(ExplicitDrives(profile.store));
        auto dialog = OpenPropertyDialog(profile.store, profile.boxes);
        dialog->Edit1->setEditText(QString::number(++n % 40));
        dialog->accept();
        if (dialog->result() != QDialog::Accepted)
            state.SkipWithError("the dialog did not close with OK");
    }
    if (LoadHistory(profile.store, 0).size() != kHistoryLimit)
        state.SkipWithError("the title history did not fill");
}

} // namespace

BENCHMARK(BM_Start)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(BM_CreationSettings)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond)->Iterations(40);

int main(int argc, char** argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
