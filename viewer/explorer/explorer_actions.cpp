#include "explorer_actions.h"

#include <QAction>
#include <QKeySequence>
#include <QMenu>
#include <QMenuBar>
#include <QToolBar>
#include <QWidget>

ExplorerActions::ExplorerActions(QWidget* window)
{
    auto action = [window](const QString& text, const QKeySequence& keys, const QString& tip) {
        auto* a = new QAction(text, window);
        a->setShortcut(keys);
        a->setStatusTip(tip);
        a->setToolTip(tip);
        return a;
    };
    attach = action(QObject::tr("&Attach to a Java process…"), QKeySequence(QObject::tr("Ctrl+Shift+A")),
                    QObject::tr("List the Java processes of this machine and connect to one, loading Vorlan's "
                                "agent into it if need be"));
    openDump = action(QObject::tr("&Open heap dump…"), QKeySequence(QObject::tr("Ctrl+Shift+O")),
                      QObject::tr("Read a heap dump file (.hprof or .hprof.gz) and show what holds its memory in "
                                  "the Memory view; no Java program is needed"));
    compare = action(QObject::tr("Co&mpare with an earlier snapshot…"), QKeySequence(),
                     QObject::tr("Read an earlier heap dump of the same program and show, per class, how the "
                                 "objects and their sizes grew since"));
    compare->setEnabled(false);
    takeSnapshot = action(QObject::tr("&Take a snapshot"), QKeySequence(QObject::tr("Ctrl+Shift+S")),
                          QObject::tr("Capture the connected program's heap and show what holds its memory in the "
                                      "Memory view; the program pauses about as long as a heap dump of it takes"));
    takeSnapshot->setEnabled(false);
    connectAgain = action(QObject::tr("&Connect again"), QKeySequence(QObject::tr("Ctrl+Shift+L")),
                          QObject::tr("Drop the connection and connect to the port in the connection line"));
    refresh = action(QObject::tr("&Refresh"), QKeySequence::Refresh,
                     QObject::tr("Read the current view again: the histogram, the GC roots, or the opened object"));
    close = action(QObject::tr("C&lose"), QKeySequence(QObject::tr("Ctrl+Q")),
                   QObject::tr("Close the explorer; the Java program goes on"));
    find = action(QObject::tr("&Find class or object"), QKeySequence::Find,
                  QObject::tr("Find a class by a part of its name (* for any run of characters), or an object "
                              "by its handle (@1a2b)"));
    findValue = action(QObject::tr("Find by &value"), QKeySequence(QObject::tr("Ctrl+Shift+F")),
                       QObject::tr("List the instances of the class listed that hold a text"));
    copyRow = action(QObject::tr("Copy &row"), QKeySequence::Copy, QObject::tr("Copy the row's cells, TAB-separated"));
    copyHandle = action(QObject::tr("Copy &handle"), QKeySequence(QObject::tr("Ctrl+Shift+C")),
                        QObject::tr("Copy the object's handle"));
    showInObjects = action(QObject::tr("&Show in Objects"), QKeySequence(QObject::tr("Ctrl+O")),
                           QObject::tr("Open the object in the Objects view"));
    openLive = action(QObject::tr("Open &live"), QKeySequence(QObject::tr("Ctrl+L")),
                      QObject::tr("Find the snapshot object in the running program, by the references that reached "
                                  "it, and open it in the Objects view with its values now"));
    openLive->setEnabled(false);
    referrers = action(QObject::tr("&Who refers to this"), QKeySequence(QObject::tr("Ctrl+R")),
                       QObject::tr("List the objects and GC roots that refer to the object"));
    path = action(QObject::tr("&Path to GC root"), QKeySequence(QObject::tr("Ctrl+P")),
                  QObject::tr("Show the shortest chain of references from a GC root to the object"));
    internals = action(QObject::tr("Show &internals"), QKeySequence(QObject::tr("Ctrl+I")),
                       QObject::tr("Show the collection's fields instead of its entries"));
    internals->setCheckable(true);
    closeObject = action(QObject::tr("Close &opened object"), QKeySequence(QObject::tr("Ctrl+W")),
                         QObject::tr("Take the object off the opened objects"));
    closeAll = action(QObject::tr("Close &all opened objects"), QKeySequence(QObject::tr("Ctrl+Shift+W")),
                      QObject::tr("Take every object off the opened objects"));
    back = action(QObject::tr("&Back"), QKeySequence(QObject::tr("Alt+Left")),
                  QObject::tr("The object opened before this one"));
    forward = action(QObject::tr("&Forward"), QKeySequence(QObject::tr("Alt+Right")),
                     QObject::tr("The object opened after this one"));

    copyRow->setShortcutContext(Qt::WidgetShortcut);
    for (QAction* a : {attach, openDump, compare, takeSnapshot, openLive, connectAgain, refresh, close, find, findValue, internals, closeObject, closeAll, back,
                       forward})
        window->addAction(a);
    for (QAction* a : objectActions())
        window->addAction(a);
}

void ExplorerActions::addMenus(QMenuBar* bar) const
{
    QMenu* file = bar->addMenu(QObject::tr("&File"));
    file->addAction(attach);
    file->addAction(openDump);
    file->addAction(takeSnapshot);
    file->addAction(compare);
    file->addAction(connectAgain);
    file->addAction(refresh);
    file->addSeparator();
    file->addAction(close);
    QMenu* edit = bar->addMenu(QObject::tr("&Edit"));
    edit->addAction(find);
    edit->addAction(findValue);
    edit->addAction(copyRow);
    edit->addAction(copyHandle);
    QMenu* object = bar->addMenu(QObject::tr("&Object"));
    object->addAction(showInObjects);
    object->addAction(openLive);
    object->addAction(referrers);
    object->addAction(path);
    object->addSeparator();
    object->addAction(internals);
    object->addSeparator();
    object->addAction(closeObject);
    object->addAction(closeAll);
    QMenu* go = bar->addMenu(QObject::tr("&Go"));
    go->addAction(back);
    go->addAction(forward);
}

void ExplorerActions::addToolBar(QToolBar* bar) const
{
    bar->addAction(takeSnapshot);
    bar->addAction(openDump);
    bar->addAction(compare);
}
