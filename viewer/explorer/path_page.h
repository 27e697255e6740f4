// The Path to GC root view: the shortest chain of references from a GC root down to one
// object as a flat list, root first, one row per step (held by, type, object, size),
// nothing indented, the root named as people name it; Enter on a step opens its object
// in the Objects view.
#pragma once

#include <optional>

#include "client_error.h"
#include "explorer_page.h"

class AgentHeapSource;
class HeapTreeModel;
class HeapTreeView;
class QLabel;

class PathPage : public ExplorerPage {
    Q_OBJECT

public:
    explicit PathPage(AgentHeapSource* source, QWidget* parent = nullptr);

    // Asks for the path to object and shows it when it comes.
    void showPath(const ObjectRef& object);

    QList<QAbstractItemView*> views() const override;
    void refresh() override;
    void forgetHandles() override;
    void requestsDropped() override;
    void rememberLayout(RememberedLayout& layout) override;

    HeapTreeView* view() const { return view_; }
    HeapTreeModel* model() const { return model_; }

Q_SIGNALS:
    // The path asked for is shown, or why there is none (tests and the benchmark wait for it).
    void pathShown();

private:
    void pathArrived(const ObjectRef& object, const Result<PathReply>& reply);

    AgentHeapSource* source_;
    HeapTreeModel* model_;
    HeapTreeView* view_;
    QLabel* title_;
    std::optional<ObjectRef> target_;  // what the view shows the way to
    bool waiting_ = false;             // the path to target_ is asked for
};
