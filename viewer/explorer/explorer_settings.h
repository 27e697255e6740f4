// What the explorer remembers between runs, in QSettings (~/.config/Vorlan/explorer.conf):
// the window's size and place, the splitters, and each view's column widths and order.
#pragma once

#include <QString>

#include <utility>
#include <vector>

class QHeaderView;
class QMainWindow;
class QSplitter;

struct RememberedLayout {
    QMainWindow* window = nullptr;
    std::vector<std::pair<QString, QHeaderView*>> headers;
    std::vector<std::pair<QString, QSplitter*>> splitters;
};

void saveLayout(const RememberedLayout& layout);
// False when nothing was remembered for the window: the caller's defaults stand.
bool restoreLayout(const RememberedLayout& layout);
