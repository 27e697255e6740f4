#include "explorer_startup.h"

#include "explorer_window.h"

std::unique_ptr<QMainWindow> openExplorer(int port)
{
    auto window = std::make_unique<ExplorerWindow>(port);
    window->show();
    return window;
}
