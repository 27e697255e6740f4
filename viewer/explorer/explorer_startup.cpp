#include "explorer_startup.h"

#include "explorer_window.h"

std::unique_ptr<QMainWindow> openExplorer(int port)
{
    auto window = std::make_unique<ExplorerWindow>(port);
    window->show();
    return window;
}

std::unique_ptr<QMainWindow> openExplorerOnDump(const std::string& hprof, int port, bool connect)
{
    auto window = std::make_unique<ExplorerWindow>(QString::fromStdString(hprof), port);
    if (connect)
        window->connectTo(port);
    window->show();
    return window;
}
