#include "explorer_actions.h"

#include <QAction>
#include <QKeySequence>
#include <QMenu>
#include <QMenuBar>
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
    connectAgain = action(QObject::tr("&Connect again"), QKeySequence(QObject::tr("Ctrl+Shift+L")),
                          QObject::tr("Drop the connection and connect to the port in the connection line"));
    refresh = action(QObject::tr("&Refresh"), QKeySequence::Refresh,
                     QObject::tr("Read the current view again: the histogram, the GC roots, or the opened object"));
    close = action(QObject::tr("C&lose"), QKeySequence(QObject::tr("Ctrl+Q")),
                   QObject::tr("Close the explorer; the Java program goes on"));
    find = action(QObject::tr("&Find class"), QKeySequence::Find, QObject::tr("Find a class by a part of its name"));
    copyRow = action(QObject::tr("Copy &row"), QKeySequence::Copy, QObject::tr("Copy the row's cells, TAB-separated"));
    copyHandle = action(QObject::tr("Copy &handle"), QKeySequence(QObject::tr("Ctrl+Shift+C")),
                        QObject::tr("Copy the object's handle"));
    showInObjects = action(QObject::tr("&Show in Objects"), QKeySequence(QObject::tr("Ctrl+O")),
                           QObject::tr("Open the object in the Objects view"));
    referrers = action(QObject::tr("&Who refers to this"), QKeySequence(QObject::tr("Ctrl+R")),
                       QObject::tr("List the objects and GC roots that refer to the object"));
    path = action(QObject::tr("&Path to GC root"), QKeySequence(QObject::tr("Ctrl+P")),
                  QObject::tr("Show the shortest chain of references from a GC root to the object"));

    copyRow->setShortcutContext(Qt::WidgetShortcut);
    for (QAction* a : {connectAgain, refresh, close, find})
        window->addAction(a);
    for (QAction* a : objectActions())
        window->addAction(a);
}

void ExplorerActions::addMenus(QMenuBar* bar) const
{
    QMenu* file = bar->addMenu(QObject::tr("&File"));
    file->addAction(connectAgain);
    file->addAction(refresh);
    file->addSeparator();
    file->addAction(close);
    QMenu* edit = bar->addMenu(QObject::tr("&Edit"));
    edit->addAction(find);
    edit->addAction(copyRow);
    edit->addAction(copyHandle);
    QMenu* object = bar->addMenu(QObject::tr("&Object"));
    object->addAction(showInObjects);
    object->addAction(referrers);
    object->addAction(path);
}
