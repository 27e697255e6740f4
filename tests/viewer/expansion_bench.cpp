// Expanding a node whose reply has a million lines: how long it takes and how much the
// viewer's peak resident memory grows. Fails above 300 MB of growth.
#include <QApplication>
#include <QPushButton>
#include <QTreeView>

#include <chrono>
#include <cstdio>
#include <fstream>
#include <string>

#include "fake_agent.h"
#include "object_tree_model.h"
#include "tree_window.h"

namespace {

// A field of /proc/self/status in kB.
long statusKb(const char* field)
{
    std::ifstream status("/proc/self/status");
    std::string line;
    const std::string prefix = std::string(field) + ":";
    while (std::getline(status, line))
        if (line.rfind(prefix, 0) == 0)
            return std::stol(line.substr(prefix.size()));
    return -1;
}

}  // namespace

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    constexpr size_t kLines = 1000000;
    const char* types[] = {"Ljava/lang/String; ", "[I ", "Ljava/util/HashMap$Node; ", "[Ljava/lang/Object; ",
                           "LVorlanDemo$Person; "};
    std::string body;
    body.reserve(kLines * 32);
    for (size_t i = 0; i < kLines; ++i) {
        char handle[16];
        std::snprintf(handle, sizeof handle, "%zx ", 0x40000000 + i);
        body += handle;
        body += types[i % 5];
        body += '\n';
    }

    FakeAgent agent;
    agent.queueListing("1a2b [Ljava/lang/Object; \n");
    agent.queueListing(body);
    agent.queueListing(body);
    std::string().swap(body);

    TForm1 form(agent.port());
    form.configure(ViewerOptions{-1, agent.port()}, nullptr);
    form.refresh_btn->click();
    const QModelIndex node = form.model()->index(0, 0, form.model()->rootIndex());
    QApplication::processEvents();

    const long baseKb = statusKb("VmRSS");
    auto start = std::chrono::steady_clock::now();
    form.tree->expand(node);
    QApplication::processEvents();  // lays out and paints the million rows
    const double firstSeconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    const long firstPeakKb = statusKb("VmHWM");

    form.tree->collapse(node);
    start = std::chrono::steady_clock::now();
    form.tree->expand(node);  // fetches afresh, replacing the million rows
    QApplication::processEvents();
    const double againSeconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    const long peakKb = statusKb("VmHWM");

    const int rows = form.model()->rowCount(node);
    const long growthMb = (peakKb - baseKb) / 1024;
    std::printf("rows: %d\nfirst expansion: %.2f s, peak growth %ld MB\nsecond expansion: %.2f s, peak growth %ld MB\n",
                rows, firstSeconds, (firstPeakKb - baseKb) / 1024, againSeconds, growthMb);
    return rows == static_cast<int>(kLines) && growthMb < 300 ? 0 : 1;
}
