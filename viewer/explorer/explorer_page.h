// One of the explorer's views, a tab of its window: the window asks every page the same
// few things, and a new view is a new page.
#pragma once

#include <QList>
#include <QWidget>

#include "explorer_settings.h"
#include "reply_views.h"

class QAbstractItemView;

class ExplorerPage : public QWidget {
    Q_OBJECT

public:
    using QWidget::QWidget;

    // The views whose rows may name objects: the window follows their current row for
    // the details pane and gives them the object actions. The first is the one the
    // page's focus goes to.
    virtual QList<QAbstractItemView*> views() const = 0;
    // F5: reads what the page shows again.
    virtual void refresh() = 0;
    // Drops every row that shows a handle: another connection gives other handles.
    virtual void forgetHandles() = 0;
    // Adds the page's column headers and splitters to what is kept between runs.
    virtual void rememberLayout(RememberedLayout& layout) = 0;

Q_SIGNALS:
    // The user asks to see this object in the Objects view.
    void openObject(const ObjectRef& object);
};
