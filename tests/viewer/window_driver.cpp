// Runs the viewer as the program does and works its controls from a script, for tests
// that need the viewer as a process of its own (its exit) and for the screenshot.
//
//   vorlan_window_driver [--initial-port=N] [--step=S]... [viewer words...]
//
// Steps, run in order once the event loop is up:
//   refresh          click "refresh"
//   expand=CAPTION   expand the first child captioned CAPTION of the node expanded last
//                    (at first the root), as a user would, and continue from it
//   select=CAPTION   select that child, scrolled into view, without expanding it
//   list             print the captions of the current node's children, one per line
//   wait=MS          let the event loop run for MS milliseconds
//   close            click "close"
// A step that cannot be carried out ends the driver with status 2.
#include <QApplication>
#include <QPushButton>
#include <QTimer>
#include <QTreeView>

#include <cstdio>
#include <cstring>
#include <deque>
#include <string>
#include <vector>

#include "object_tree_model.h"
#include "startup.h"

namespace {

struct Driver {
    TForm1* form = nullptr;
    QPersistentModelIndex current;
    std::deque<std::string> steps;

    QModelIndex child(const std::string& caption) const
    {
        const QAbstractItemModel* model = form->model();
        for (int row = 0; row < model->rowCount(current); ++row) {
            const QModelIndex index = model->index(row, 0, current);
            if (index.data().toString().toStdString() == caption)
                return index;
        }
        std::fprintf(stderr, "no child captioned %s\n", caption.c_str());
        std::exit(2);
    }

    void next()
    {
        if (steps.empty())
            return;
        const std::string step = steps.front();
        steps.pop_front();
        int delay = 0;
        if (step == "refresh") {
            form->refresh_btn->click();
            current = form->model()->rootIndex();
        } else if (step.rfind("expand=", 0) == 0) {
            current = child(step.substr(7));
            form->tree->expand(current);
            form->tree->setCurrentIndex(current);
            form->tree->scrollTo(current, QAbstractItemView::PositionAtTop);
        } else if (step.rfind("select=", 0) == 0) {
            const QModelIndex index = child(step.substr(7));
            form->tree->setCurrentIndex(index);
            form->tree->scrollTo(index);
        } else if (step == "list") {
            std::printf("children of %s:\n", current.data().toString().toUtf8().constData());
            for (int row = 0; row < form->model()->rowCount(current); ++row)
                std::printf("  %s\n", form->model()->index(row, 0, current).data().toString().toUtf8().constData());
            std::fflush(stdout);
        } else if (step.rfind("wait=", 0) == 0) {
            delay = std::stoi(step.substr(5));
        } else if (step == "close") {
            form->close_btn->click();
        } else {
            std::fprintf(stderr, "unknown step %s\n", step.c_str());
            std::exit(2);
        }
        QTimer::singleShot(delay, [this] { next(); });
    }
};

}  // namespace

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    Driver driver;
    int initialPort = kDefaultPort;
    std::vector<const char*> viewerArgs = {argv[0]};
    for (int i = 1; i < argc; ++i) {
        if (std::strncmp(argv[i], "--initial-port=", 15) == 0)
            initialPort = std::atoi(argv[i] + 15);
        else if (std::strncmp(argv[i], "--step=", 7) == 0)
            driver.steps.emplace_back(argv[i] + 7);
        else
            viewerArgs.push_back(argv[i]);
    }
    const ViewerWindows windows = startViewer(static_cast<int>(viewerArgs.size()), viewerArgs.data(), initialPort);
    driver.form = windows.Form1.get();
    driver.current = driver.form->model()->rootIndex();
    QTimer::singleShot(0, [&driver] { driver.next(); });
    app.exec();
    return 0;
}
