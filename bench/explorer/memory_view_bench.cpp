// Times the explorer's Memory view offscreen on a heap dump file, each figure beside its
// anchor measured in the same run: the query the view makes, alone. Prints one JSON object.
//
//   vorlan_memory_view_bench FILE|pid=PID [RUNS]
//
//   open: the file read and analysed by the window's loader (off the GUI thread), or with
//       pid=PID a snapshot of that running VM taken as Take a snapshot takes it (its
//       capture and analysis off the GUI thread), while a 10 ms timer measures how late
//       the event loop runs it (late_ms: the worst)
//   first_rows: from the snapshot handed to the Memory view to the dominator tree's first
//       rows painted, beside dominators(top, 0, 200) alone
//   big_node: the node with the most children among the suspects' accumulation points,
//       opened in the tree to its first page painted, beside its dominators(node, 0, 200)
//   memory: what the process holds more with the snapshot in the window than without
//       (its RSS after and before), beside the library's own figure for the index and the
//       analysis; and the process's peak
#include <QApplication>
#include <QElapsedTimer>
#include <QSettings>
#include <QTemporaryDir>
#include <QTimer>

#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <vector>

#include "explorer_window.h"
#include "memory_page.h"
#include "snapshot_loader.h"
#include "event_wait.h"
#include "snapshot_taker.h"
#include "snapshot_queries.h"
#include "snapshot_tree_model.h"
#include "snapshot_tree_view.h"

namespace {

double median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    return values.empty() ? 0 : values[values.size() / 2];
}

long peakRssBytes()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss * 1024L;
}

// What the process holds now, from /proc/self/statm.
long rssBytes()
{
    long pages = 0, resident = 0;
    if (FILE* f = std::fopen("/proc/self/statm", "r")) {
        if (std::fscanf(f, "%ld %ld", &pages, &resident) != 2)
            resident = 0;
        std::fclose(f);
    }
    return resident * sysconf(_SC_PAGESIZE);
}

}  // namespace

int main(int argc, char** argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    if (argc < 2) {
        std::fprintf(stderr, "usage: vorlan_memory_view_bench FILE|pid=PID [RUNS]\n");
        return 2;
    }
    const QString file = QString::fromLocal8Bit(argv[1]);
    const int runs = argc > 2 ? std::max(1, std::atoi(argv[2])) : 5;
    QTemporaryDir settings;
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, settings.path());
    QSettings::setPath(QSettings::IniFormat, QSettings::UserScope, settings.path());

    // Opened as a user would: the window's loader, the event loop watched meanwhile.
    ExplorerWindow window(QString(), 12345);  // no agent is connected to
    window.resize(1200, 760);
    window.show();
    std::shared_ptr<const Snapshot> snapshot;
    QObject::connect(window.snapshotLoader(), &SnapshotLoader::opened, &window,
                     [&](std::shared_ptr<const Snapshot> s, const QString&) { snapshot = std::move(s); });
    bool failed = false;
    QObject::connect(window.snapshotLoader(), &SnapshotLoader::failed, &window, [&](const QString& why, const QString&) {
        std::fprintf(stderr, "vorlan_memory_view_bench: %s\n", qPrintable(why));
        failed = true;
    });
    const bool live = file.startsWith(QStringLiteral("pid="));
    QObject::connect(window.snapshotTaker(), &SnapshotTaker::taken, &window,
                     [&](std::shared_ptr<const Snapshot> s, long, const QString&) { snapshot = std::move(s); });
    QObject::connect(window.snapshotTaker(), &SnapshotTaker::failed, &window, [&](const QString& why) {
        std::fprintf(stderr, "vorlan_memory_view_bench: %s\n", qPrintable(why));
        failed = true;
    });
    QElapsedTimer tick;
    double lateMs = 0;
    QTimer watch;
    watch.setTimerType(Qt::PreciseTimer);
    QObject::connect(&watch, &QTimer::timeout, &window, [&] {
        if (tick.isValid())
            lateMs = std::max(lateMs, msSince(tick) - 10);
        tick.restart();
    });
    QApplication::processEvents();
    const double before = static_cast<double>(rssBytes());  // the window without a snapshot
    QElapsedTimer open;
    open.start();
    watch.start(10);
    tick.start();
    if (live) {
        if (!window.snapshotTaker()->take(file.mid(4).toLong()))
            return 1;
    } else {
        window.snapshotLoader()->open(file);
    }
    if (!waitFor([&] { return snapshot || failed; }, 1800000) || failed)
        return 1;
    const double openMs = msSince(open);
    watch.stop();

    // The first rows of the dominator tree, and the same query alone.
    MemoryPage* memory = window.memoryPage();
    SnapshotTreeView* tree = memory->dominatorView();
    std::vector<double> shown, anchor;
    for (int i = 0; i < runs; ++i) {
        QElapsedTimer clock;
        clock.start();
        memory->setSnapshot(snapshot, file);
        tree->viewport()->repaint();  // lays the rows out and paints them, as the first frame does
        shown.push_back(msSince(clock));
        clock.restart();
        const DominatorsReply top = snapshot->dominators(kVirtualRoot, 0, 200);
        anchor.push_back(msSince(clock));
        if (top.rows.empty())
            return 1;
    }

    // The node with the most children the suspects name, opened to its first page.
    uint32_t big = kNoObject;
    uint64_t children = 0;
    for (const BigObjectRow& row : snapshot->suspects(0.01).rows)
        if (row.accumulationChildren > children) {
            children = row.accumulationChildren;
            big = row.accumulation.object;
        }
    std::vector<double> opened, openedAnchor;
    if (big != kNoObject) {
        for (int i = 0; i < runs; ++i) {
            memory->setSnapshot(snapshot, file);
            SnapshotTreeModel* model = tree->snapshotModel();
            const QModelIndex row = model->reveal(big);
            if (!row.isValid())
                return 1;
            paint(tree);
            QElapsedTimer clock;
            clock.start();
            tree->expand(row);
            model->fetchMore(row);
            paint(tree);
            opened.push_back(msSince(clock));
            clock.restart();
            const DominatorsReply page = snapshot->dominators(big, 0, 200);
            openedAnchor.push_back(msSince(clock));
            if (page.rows.empty() || model->rowCount(row) == 0)
                return 1;
        }
    }

    const HeapIndex::MemoryUse use = snapshot->index().memoryUse();
    const double library =
        static_cast<double>(use.graph + use.labels + use.addresses + use.classes + snapshot->analysis().memoryBytes());
    const double peak = static_cast<double>(peakRssBytes());
    const double held = static_cast<double>(rssBytes());
    const HeapSummary summary = snapshot->summary();
    std::printf("{\"source\": \"%s\", \"objects\": %llu, \"open_ms\": %.1f, \"open_late_ms\": %.1f, "
                "\"first_rows_ms\": %.3f, \"first_rows_anchor_ms\": %.3f, \"first_rows_ratio\": %.2f, "
                "\"big_node_children\": %llu, \"big_node_ms\": %.3f, \"big_node_anchor_ms\": %.3f, \"big_node_ratio\": %.2f, "
                "\"peak_rss\": %.0f, \"rss_before\": %.0f, \"rss\": %.0f, \"library_bytes\": %.0f, "
                "\"memory_ratio\": %.3f}\n",
                live ? "capture" : "file", static_cast<unsigned long long>(summary.objects), openMs, lateMs, median(shown), median(anchor),
                median(anchor) > 0 ? median(shown) / median(anchor) : 0, static_cast<unsigned long long>(children),
                median(opened), median(openedAnchor), median(openedAnchor) > 0 ? median(opened) / median(openedAnchor) : 0,
                peak, before, held, library, library > 0 ? (held - before) / library : 0);
    return 0;
}
