// The explorer's commands, each with its shortcut and tip, and the menus that hold them.
// The window decides what they do.
#pragma once

#include <QList>

class QAction;
class QMenu;
class QMenuBar;
class QToolBar;
class QWidget;

struct ExplorerActions {
    // The actions belong to window, whose shortcuts they are.
    explicit ExplorerActions(QWidget* window);

    void addMenus(QMenuBar* bar) const;
    void addToolBar(QToolBar* bar) const;
    // The actions that need an object at hand: enabled only while one is.
    QList<QAction*> objectActions() const { return {copyHandle, showInObjects, referrers, path}; }

    QAction* attach;
    QAction* openDump;  // File → Open heap dump…
    QAction* compare;   // with a snapshot shown: compare it with an earlier dump file
    QAction* takeSnapshot;  // of the connected program, when this build can capture
    QAction* connectAgain;
    QAction* refresh;
    QAction* close;
    QAction* find;
    QAction* findValue;
    QAction* copyRow;  // while a view has the focus only; elsewhere Ctrl+C copies text
    QAction* copyHandle;
    QAction* showInObjects;
    QAction* openLive;  // a snapshot object, found again in the running program
    QAction* referrers;
    QAction* path;
    QAction* internals;     // checkable: a collection's fields instead of its entries
    QAction* closeObject;   // an opened object, in the Objects view
    QAction* closeAll;
    QAction* back;
    QAction* forward;
};
