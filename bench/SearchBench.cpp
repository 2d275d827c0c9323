// One search benchmark run, in a lab's PC namespace: the main window with the tool's own
// search wiring, a first search and then `Search` presses, each timed; the window's CPU
// time and resident memory while it waits idle and while it searches. Prints one
// key=value line for bench/run.sh to put into its table.
//   zelvo_bench_search [searches]     (default 1 press of Search after the first search)
#include "app/MainDialog.h"
#include "app/ToolWiring.h"
#include "support/ScriptedMessageBoxes.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QTimer>
#include <QTreeWidget>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <memory>
#include <string>
#include <sys/resource.h>

namespace zelvo {
namespace {

long ProcStatusKb(const char* key)
{
    std::ifstream status("/proc/self/status");
    std::string word;
    while (status >> word)
        if (word == key) {
            long kb = 0;
            status >> kb;
            return kb;
        }
    return -1;
}

// Forgets the peak resident size so that VmHWM tells the peak of what follows.
void ResetPeakRss()
{
    std::ofstream("/proc/self/clear_refs") << "5";
}

double CpuMs()
{
    rusage usage{};
    ::getrusage(RUSAGE_SELF, &usage);
    return usage.ru_utime.tv_sec * 1e3 + usage.ru_utime.tv_usec / 1e3 +
           usage.ru_stime.tv_sec * 1e3 + usage.ru_stime.tv_usec / 1e3;
}

void RunEventsFor(int ms)
{
    QEventLoop loop;
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    loop.exec();
}

// The window wired by the tool's own wiring, with message boxes from a script (none expected).
struct BenchWindow : WindowCommands
{
    ScriptedMessageBoxes boxes;
    std::unique_ptr<MainDialog> dialog;
    std::unique_ptr<ToolWiring> wiring;
    int searchesDone = 0;
    qint64 lastSearchMs = 0;
    double lastSearchCpuMs = 0;
    long lastSearchPeakKb = 0;

    bool Create()
    {
        DialogState state;
        const StartupResult startup = ToolWiring::RunStartup(state, boxes, false);
        if (startup == StartupResult::Refused)
            return false;
        dialog = std::make_unique<MainDialog>(nullptr, ToolWiring::WindowServices(boxes),
                                              std::move(state), startup, *this);
        wiring = std::make_unique<ToolWiring>(*dialog, boxes);
        dialog->show();
        return true;
    }

    // The searches are timed on their way from the window to the wiring.
    void Run(int id) override
    {
        const bool search = id == kIdFirstSearchCommand || id == kIdSearch;
        if (search)
            ResetPeakRss();
        const double cpu = CpuMs();
        QElapsedTimer timer;
        timer.start();
        wiring->Run(id);
        if (!search)
            return;
        lastSearchMs = timer.elapsed();
        lastSearchCpuMs = CpuMs() - cpu;
        lastSearchPeakKb = ProcStatusKb("VmHWM:");
        ++searchesDone;
    }

    bool WaitForSearches(int count)
    {
        QEventLoop loop;
        QTimer poll;
        QObject::connect(&poll, &QTimer::timeout, [&] {
            if (searchesDone >= count)
                loop.quit();
        });
        poll.start(20);
        QTimer::singleShot(600000, &loop, &QEventLoop::quit);
        loop.exec();
        return searchesDone >= count;
    }

    int ListedUnits() const
    {
        const auto* list = dialog->findChild<QTreeWidget*>(QStringLiteral("list1001"));
        return list ? list->topLevelItemCount() - 1 : -1;
    }
};

} // namespace
} // namespace zelvo

int main(int argc, char** argv)
{
    using namespace zelvo;
    const int presses = argc > 1 ? std::atoi(argv[1]) : 1;
    QApplication app(argc, argv);
    BenchWindow w;
    if (!w.Create()) {
        std::fprintf(stderr, "zelvo_bench_search: the window did not start\n");
        return 1;
    }
    if (!w.WaitForSearches(1)) {
        std::fprintf(stderr, "zelvo_bench_search: the first search did not end\n");
        return 1;
    }
    std::printf("first_ms=%lld first_units=%d search_cpu_ms=%.0f search_peak_kb=%ld",
                static_cast<long long>(w.lastSearchMs), w.ListedUnits(), w.lastSearchCpuMs,
                w.lastSearchPeakKb);

    // The idle window: shown, its event loop running, nothing asked of it.
    constexpr int kIdleMs = 5000;
    ResetPeakRss();
    const double idleCpu = CpuMs();
    RunEventsFor(kIdleMs);
    std::printf(" idle_cpu_ms=%.0f idle_ms=%d idle_rss_kb=%ld", CpuMs() - idleCpu, kIdleMs,
                ProcStatusKb("VmRSS:"));

    long long againTotal = 0;
    for (int i = 0; i < presses; ++i) {
        w.dialog->OnCommand(kIdSearch);
        if (!w.WaitForSearches(2 + i)) {
            std::fprintf(stderr, "zelvo_bench_search: Search did not end\n");
            return 1;
        }
        againTotal += w.lastSearchMs;
    }
    if (presses > 0)
        std::printf(" again_ms=%lld again_units=%d", againTotal / presses, w.ListedUnits());
    std::printf(" boxes=%zu\n", w.boxes.ShownBoxes().size());
    return 0;
}
