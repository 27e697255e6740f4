// One of the explorer's views, a tab of its window: the window asks every page the same
// few things, and a new view is a new page.
#pragma once

#include <QAbstractItemView>
#include <QList>
#include <QPointer>
#include <QWidget>

#include "explorer_settings.h"
#include "reply_views.h"

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
    // The connection was made anew to the same agent: the handles shown still hold, but
    // requests not yet answered never will be.
    virtual void requestsDropped() {}
    // Adds the page's column headers and splitters to what is kept between runs.
    virtual void rememberLayout(RememberedLayout& layout) = 0;

    // The view of the page the user worked in last, whose current row the object
    // actions and the details pane follow when the page comes to the front again.
    QAbstractItemView* activeView() const { return active_ ? active_.data() : views().value(0); }
    void setActiveView(QAbstractItemView* view) { active_ = view; }

Q_SIGNALS:
    // The user asks to see this object in the Objects view.
    void openObject(const ObjectRef& object);

private:
    QPointer<QAbstractItemView> active_;
};
