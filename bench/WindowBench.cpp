// window_bench: how the desktop window keeps up with a big analysis.
//
//   window_bench search VOLUME
//     Opens the main window (offscreen), adds VOLUME as "salvage VOLUME"
//     does, presses Analyze and times it until SearchDone; a 5 ms timer
//     records the longest gap between its ticks (the longest stall of the
//     event loop) meanwhile. Then prints the peak resident memory.
//   window_bench sort [FILES]
//     A folder of FILES files (100,000 by default) with varied names, sizes,
//     conditions and dates: times opening it in the list and sorting it by
//     each of the ten modes, each time until the list has painted.
//
// Run through bench/window-bench.sh, which compares with salvage-cli.

#include "salvage/search/FoundFileModel.h"
#include "salvage/ui/uListModel.h"
#include "salvage/ui/uMain.h"
#include "salvage/ui/uTreeModel.h"

#include <QAction>
#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QTimer>
#include <QTreeView>

#include <sys/resource.h>

#include <cstdio>
#include <ctime>
#include <cstdlib>
#include <random>

using namespace salvage;
using namespace salvage::ui;

namespace {

// The CPU time of this thread: on a busy machine the wall time also counts
// the other programs' turns.
double CpuSeconds()
{
    timespec t{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) / 1e9;
}

long PeakKiB()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss;
}

// The resident memory now, split into the process's own (anonymous) pages
// and the pages of the files it maps (the Qt libraries, fonts), in KiB.
QString ResidentSplit()
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return {};
    QStringList parts;
    for (const QByteArray& line : status.readAll().split('\n'))
        if (line.startsWith("RssAnon:") || line.startsWith("RssFile:") || line.startsWith("RssShmem:"))
            parts << QString::fromLatin1(line.simplified());
    return parts.join(QStringLiteral(", "));
}

int Search(const QString& volume)
{
    TMainWindowSeams seams;
    seams.Drives.SysBlock = "/nonexistent";  // only the volume under test
    seams.InstanceFolder = QDir::tempPath();
    TFrmMain window(seams);
    if (!window.ShouldRun())
        return 1;
    window.show();
    if (!window.AddVolume(volume))
        return 1;

    QElapsedTimer clock;
    QElapsedTimer sinceTick;
    qint64 longestGap = 0;
    QTimer ticker;
    ticker.setTimerType(Qt::PreciseTimer);
    ticker.setInterval(5);
    QObject::connect(&ticker, &QTimer::timeout, [&] {
        longestGap = std::max(longestGap, sinceTick.elapsed());
        sinceTick.restart();
    });
    double seconds = 0;
    QObject::connect(&window, &TFrmMain::searchDone, [&] {
        seconds = static_cast<double>(clock.nsecsElapsed()) / 1e9;
        longestGap = std::max(longestGap, sinceTick.elapsed());
        QCoreApplication::quit();
    });
    QTimer::singleShot(0, [&] {
        ticker.start();
        sinceTick.start();
        clock.start();
        window.actAnalyze->trigger();
    });
    QApplication::exec();

    std::size_t folders = 0, files = 0;
    const TResultsTree& tree = window.Results().Tree();
    for (const TTreeNode* n = tree.First(); n; n = tree.NextDepthFirst(*n)) {
        ++folders;
        files += n->Data().Files.size();
    }
    std::printf("window: Analyze to SearchDone %.3f s (%zu folders, %zu files)\n", seconds, folders, files);
    std::printf("window: longest event-loop stall %lld ms (timer of 5 ms)\n", static_cast<long long>(longestGap));
    std::printf("window: peak resident memory %ld KiB (now %s)\n", PeakKiB(), qPrintable(ResidentSplit()));
    return 0;
}

int Sort(int count)
{
    TFoundFileModel results;
    TFileInfo root;
    root.Name = ".";
    TTreeNode* folder = results.AddDirRecord(root, nullptr);
    std::mt19937 random(42);
    std::uniform_int_distribution<int> letter('a', 'z');
    std::uniform_int_distribution<std::uint64_t> size(0, 20'000'000);
    std::uniform_int_distribution<int> condition(0, 2);
    std::uniform_real_distribution<double> date(29000.0, 45000.0);
    for (int i = 0; i < count; ++i) {
        TFileInfo f;
        for (int c = 0; c < 8; ++c)
            f.Name.push_back(static_cast<char>(letter(random)));
        f.Name += ".dat";
        f.Size = size(random);
        f.Condition = static_cast<std::uint8_t>(condition(random));
        f.Modified = date(random);
        f.Created = date(random);
        f.Deleted = f.Condition != 0;
        results.AddFileRecord(f, *folder);
    }

    TFileListModel list;
    list.Follow(results.Tree());
    QTreeView view;
    view.setUniformRowHeights(true);
    view.setRootIsDecorated(false);
    view.setModel(&list);
    view.resize(800, 600);
    view.show();
    QCoreApplication::processEvents();

    QElapsedTimer clock;
    clock.start();
    double cpu = CpuSeconds();
    list.SetShownFolder(folder);
    view.viewport()->repaint();
    std::printf("list: open a folder of %d files   %.3f s (CPU %.3f s)\n", count,
                static_cast<double>(clock.nsecsElapsed()) / 1e9, CpuSeconds() - cpu);
    static const char* const names[] = {"Name descending",      "Name ascending",     "Size descending",
                                        "Size ascending",       "Condition ascending", "Condition descending",
                                        "Modified descending",  "Modified ascending", "Created descending",
                                        "Created ascending"};
    // From the initial mode 1, visit every mode once (mode 1 last).
    for (int mode : {0, 2, 3, 4, 5, 6, 7, 8, 9, 1}) {
        clock.restart();
        cpu = CpuSeconds();
        list.SetSortMode(mode);
        view.viewport()->repaint();
        std::printf("list: sort by %-21s %.3f s (CPU %.3f s)\n", names[mode],
                    static_cast<double>(clock.nsecsElapsed()) / 1e9, CpuSeconds() - cpu);
    }
    return 0;
}

} // namespace

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    const QStringList args = QCoreApplication::arguments();
    if (args.size() >= 3 && args[1] == "search")
        return Search(args[2]);
    if (args.size() >= 2 && args[1] == "sort")
        return Sort(args.size() >= 3 ? args[2].toInt() : 100'000);
    std::fprintf(stderr, "usage: window_bench search VOLUME | sort [FILES]\n");
    return 2;
}
