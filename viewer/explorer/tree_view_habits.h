// What every object tree of the explorer does alike: one row selected at a time, never
// edited, uniform rows (a page of a big array lays out without measuring rows), Enter
// and a double click both toggling a row, a context menu, and columns that move and keep
// their widths.
#pragma once

#include <QHeaderView>
#include <QTreeView>

inline void setTreeViewHabits(QTreeView* view)
{
    view->setUniformRowHeights(true);
    view->setAlternatingRowColors(true);
    view->setExpandsOnDoubleClick(false);  // activation toggles, for Enter and double click alike
    view->setSelectionMode(QAbstractItemView::SingleSelection);
    view->setEditTriggers(QAbstractItemView::NoEditTriggers);
    view->setContextMenuPolicy(Qt::CustomContextMenu);
    view->setAllColumnsShowFocus(true);
    view->header()->setStretchLastSection(false);
    view->header()->setSectionsMovable(true);
}
