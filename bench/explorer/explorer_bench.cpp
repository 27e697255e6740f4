// Times the explorer window offscreen against a live agent, as its user would see it.
// Prints one JSON object per measurement.
//
//   vorlan_explorer_bench PORT array HANDLE [RUNS]
//       opens the array (an Object[N]) in the Objects view: from the open to its first
//       page of elements laid out and painted
//   vorlan_explorer_bench PORT histo [RUNS]
//       counts the heap by class: from the reply's arrival to the rows shown and painted,
//       then a sort by name and one by instances, each painted
//   vorlan_explorer_bench PORT walk HANDLE HOPS
//       follows HOPS reference fields from HANDLE, then asks the path from a GC root to
//       the object reached: one heap walk per hop, while a 10 ms timer measures how late
//       the event loop runs it
#include <QApplication>
#include <QElapsedTimer>
#include <QHeaderView>
#include <QSettings>
#include <QTableView>
#include <QTemporaryDir>
#include <QTimer>
#include <QTreeView>

#include <sys/resource.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <string>
#include <vector>

#include "agent_session.h"
#include "classes_page.h"
#include "explorer_window.h"
#include "heap_tree_model.h"
#include "histogram_model.h"
#include "request_runner.h"
#include "event_wait.h"
#include "request_status.h"
#include "root_survey.h"

namespace {

// Lets the window finish what a run left behind (the details pane reads the object
// selected a moment later), so the next run's request does not queue behind it.
bool quiesce(ExplorerWindow& window)
{
    QElapsedTimer clock;
    clock.start();
    waitFor([&] { return clock.elapsed() > 400; });
    return waitFor([&] { return window.runner()->pending() == 0; });
}

// The window has answered hello, shown the histogram and sorted the roots by kind.
bool settle(ExplorerWindow& window)
{
    return waitFor([&] {
        return window.classesPage()->histogramModel()->rowCount() > 0 && !window.rootSurvey()->running() &&
               window.runner()->pending() == 0;
    });
}

int benchArray(ExplorerWindow& window, const std::string& handle, int runs)
{
    HeapTreeModel* model = window.objectsModel();
    for (int i = 0; i < runs; ++i) {
        QElapsedTimer clock;
        clock.start();
        window.showInObjects({handle, "[Ljava.lang.Object;", -1, ""});
        const QModelIndex row = window.objectsView()->currentIndex();
        if (!waitFor([&] { return model->itemAt(row)->fetch() != HeapTreeItem::Fetch::pending; }))
            return 1;
        paint(window.objectsView());
        const double shown = msSince(clock);
        std::printf("{\"what\": \"array\", \"rows\": %d, \"total\": %lld, \"shown_ms\": %.3f}\n", model->rowCount(row),
                    model->itemAt(row)->total(), shown);
        std::fflush(stdout);
        window.objectsView()->collapse(row);
        quiesce(window);
    }
    return 0;
}

int benchHistogram(ExplorerWindow& window, int runs)
{
    QTableView* table = window.classesPage()->classTable();
    window.tabs()->setCurrentIndex(1);
    QElapsedTimer sinceReply;
    bool shown = false;
    QObject::connect(window.runner(), &RequestRunner::finished, &window, [&](const RequestOutcome& outcome) {
        if (outcome.what.startsWith(QStringLiteral("counting")))
            sinceReply.start();  // the reply is in; the window has yet to show it
    });
    QObject::connect(&window, &ExplorerWindow::histogramShown, &window, [&] { shown = true; });
    for (int i = 0; i < runs; ++i) {
        shown = false;
        table->sortByColumn(HistogramModel::BytesColumn, Qt::DescendingOrder);
        window.refreshHistogram();
        if (!waitFor([&] { return shown; }))
            return 1;
        paint(table);
        const double toShown = msSince(sinceReply);
        QElapsedTimer clock;
        clock.start();
        table->sortByColumn(HistogramModel::ClassColumn, Qt::AscendingOrder);
        paint(table);
        const double byName = msSince(clock);
        clock.restart();
        table->sortByColumn(HistogramModel::InstancesColumn, Qt::DescendingOrder);
        paint(table);
        const double byInstances = msSince(clock);
        std::printf("{\"what\": \"histo\", \"rows\": %d, \"reply_to_shown_ms\": %.3f, \"sort_name_ms\": %.3f, "
                    "\"sort_instances_ms\": %.3f}\n",
                    window.classesPage()->histogramModel()->rowCount(), toShown, byName, byInstances);
        std::fflush(stdout);
        quiesce(window);
    }
    return 0;
}

// The object HOPS reference fields away from handle, following each object's first
// field that refers to something other than a String.
std::string followFields(int port, std::string handle, int hops)
{
    AgentSession session(port);
    for (int hop = 0; hop < hops; ++hop) {
        const Result<ObjectView> reply = session.object({handle, {}, {}});
        if (!reply.ok())
            return {};
        const auto next = std::find_if(reply.value.contents.begin(), reply.value.contents.end(), [](const Slot& s) {
            return s.how == "field" && s.refersToObject() && s.target.type != "java.lang.String";
        });
        if (next == reply.value.contents.end())
            return {};
        handle = next->target.handle;
    }
    return handle;
}

// CPU time this process has used, in ms: how much of a late tick was the window's own work.
double cpuMs()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    const auto ms = [](const timeval& t) { return static_cast<double>(t.tv_sec) * 1e3 + static_cast<double>(t.tv_usec) / 1e3; };
    return ms(usage.ru_utime) + ms(usage.ru_stime);
}

// A 10 ms timer that measures its own lateness: how long the window would take to
// answer a key or paint at that moment.
class Lateness {
public:
    static constexpr int kTickMs = 10;

    explicit Lateness(std::function<void()> onTick = {}) : onTick_(std::move(onTick))
    {
        ticker_.setTimerType(Qt::PreciseTimer);
        ticker_.setInterval(kTickMs);
        QObject::connect(&ticker_, &QTimer::timeout, [this] {
            late_.push_back(std::max(0.0, msSince(sinceTick_) - kTickMs));
            if (late_.back() >= worst_) {
                worst_ = late_.back();
                worstAt_ = msSince(sinceStart_);
            }
            sinceTick_.restart();
            if (onTick_)
                onTick_();
        });
        sinceStart_.start();
        sinceTick_.start();
        ticker_.start();
    }

    // "ticks": N, "late_max_ms": ..., as JSON fields.
    std::string summary()
    {
        ticker_.stop();
        std::sort(late_.begin(), late_.end());
        const double p99 = late_.empty() ? -1 : late_[static_cast<size_t>(0.99 * static_cast<double>(late_.size() - 1))];
        char text[200];
        std::snprintf(text, sizeof text, "\"ticks\": %zu, \"late_max_ms\": %.2f, \"late_max_at_ms\": %.1f, \"late_p99_ms\": %.2f",
                      late_.size(), worst_, worstAt_, p99);
        return text;
    }

private:
    std::function<void()> onTick_;
    QTimer ticker_;
    QElapsedTimer sinceStart_;
    QElapsedTimer sinceTick_;
    std::vector<double> late_;
    double worst_ = 0;
    double worstAt_ = -1;
};

int benchWalk(ExplorerWindow& window, const std::string& start, int hops)
{
    const std::string target = followFields(window.runner()->port(), start, hops);
    if (target.empty())
        return 1;
    bool done = false;
    RequestOutcome walk;
    QObject::connect(window.runner(), &RequestRunner::finished, &window, [&](const RequestOutcome& outcome) {
        if (outcome.what.startsWith(QStringLiteral("finding the path")))
            walk = outcome;
    });
    QObject::connect(&window, &ExplorerWindow::pathShown, &window, [&] { done = true; });

    // The same timer with nothing to do first: what the machine's own load costs.
    std::string idle;
    {
        Lateness lateness;
        QElapsedTimer clock;
        clock.start();
        waitFor([&] { return clock.elapsed() >= 2000; });
        idle = lateness.summary();
    }
    bool busySeen = false;
    Lateness lateness([&] { busySeen = busySeen || window.requestStatus()->busy(); });
    QElapsedTimer clock;
    clock.start();
    const double cpuBefore = cpuMs();
    window.showPath({target, "", -1, ""});
    if (!waitFor([&] { return done; }))
        return 1;
    const double elapsed = msSince(clock);
    const double cpu = cpuMs() - cpuBefore;
    std::printf("{\"what\": \"walk\", \"hops\": %d, \"path_rows\": %d, \"elapsed_ms\": %.1f, \"walk_ms\": %.1f, "
                "\"cpu_ms\": %.1f, %s, \"busy_shown\": %s, \"error\": \"%s\", \"idle\": {%s}}\n",
                hops, window.pathModel()->rowCount(), elapsed, walk.walkMs, cpu, lateness.summary().c_str(),
                busySeen ? "true" : "false", walk.error.message.c_str(), idle.c_str());
    std::fflush(stdout);
    return walk.error.failed() ? 1 : 0;
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc < 3) {
        std::fprintf(stderr, "usage: %s PORT array HANDLE [RUNS] | histo [RUNS] | walk HANDLE HOPS\n", argv[0]);
        return 2;
    }
    QApplication app(argc, argv);
    // The window keeps its layout in QSettings: not in the user's own.
    QTemporaryDir settings;
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, settings.path());
    const int port = std::atoi(argv[1]);
    const std::string mode = argv[2];

    ExplorerWindow window(port);
    window.resize(1200, 760);
    window.show();
    if (!settle(window)) {
        std::fprintf(stderr, "the explorer did not settle: %s\n", qPrintable(window.requestStatus()->message()));
        return 1;
    }
    if (mode == "array" && argc > 3)
        return benchArray(window, argv[3], argc > 4 ? std::atoi(argv[4]) : 1);
    if (mode == "histo")
        return benchHistogram(window, argc > 3 ? std::atoi(argv[3]) : 1);
    if (mode == "walk" && argc > 4)
        return benchWalk(window, argv[3], std::atoi(argv[4]));
    std::fprintf(stderr, "unknown mode %s\n", mode.c_str());
    return 2;
}
