// Times the viewer expanding one object of a live agent, as a user's click would: from
// the expand request to the rows laid out and painted (offscreen), with the process's
// peak memory growth. Prints one JSON object per expansion.
//
//   vorlan_viewer_bench PORT HANDLE [EXPANSIONS]
#include <QApplication>
#include <QPushButton>
#include <QTreeView>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>

#include "object_tree_model.h"
#include "tree_window.h"

namespace {

long status_kb(const char* field)
{
    std::ifstream status("/proc/self/status");
    std::string line;
    const std::string prefix = std::string(field) + ":";
    while (std::getline(status, line))
        if (line.rfind(prefix, 0) == 0) return std::stol(line.substr(prefix.size()));
    return -1;
}

// Resets VmHWM to the current RSS, so each expansion's own peak is seen.
void reset_peak()
{
    std::ofstream("/proc/self/clear_refs") << "5";
}

QModelIndex find_node(ObjectTreeModel* model, const std::string& handle)
{
    const QModelIndex root = model->rootIndex();
    for (int row = 0; row < model->rowCount(root); ++row) {
        QModelIndex index = model->index(row, 0, root);
        if (model->handle(index) == handle) return index;
    }
    return {};
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc < 3) {
        std::fprintf(stderr, "usage: %s PORT HANDLE [EXPANSIONS]\n", argv[0]);
        return 2;
    }
    const int port = std::atoi(argv[1]);
    const std::string handle = argv[2];
    const int expansions = argc > 3 ? std::atoi(argv[3]) : 1;
    QApplication app(argc, argv);

    TForm1 form(port);
    form.configure(ViewerOptions{-1, port}, nullptr);
    form.refresh_btn->click();
    QApplication::processEvents();
    const QModelIndex node = find_node(form.model(), handle);
    if (!node.isValid()) {
        std::fprintf(stderr, "no root node with handle %s\n", handle.c_str());
        return 1;
    }

    for (int i = 0; i < expansions; ++i) {
        form.tree->collapse(node);
        QApplication::processEvents();
        reset_peak();
        const long base_kb = status_kb("VmRSS");
        const auto start = std::chrono::steady_clock::now();
        form.tree->expand(node);
        QApplication::processEvents();  // lays out and paints the new rows
        const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        std::printf("{\"rows\": %d, \"seconds\": %.6f, \"base_kb\": %ld, \"peak_kb\": %ld}\n",
                    form.model()->rowCount(node), seconds, base_kb, status_kb("VmHWM"));
        std::fflush(stdout);
    }
    return 0;
}
