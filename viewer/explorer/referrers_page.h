// The Referrers view: the objects that refer to one object, with the field or index
// they hold it by, and the GC roots that hold it; each referrer opens to its own
// referrers in turn. The insides of the JDK's collections (nodes, tables, element
// arrays) open by themselves, down to the collection and what holds it, so that a value
// held in a map shows its owner at once.
#pragma once

#include "explorer_page.h"

class HeapSource;
class HeapTreeModel;
class HeapTreeView;
class QLabel;

class ReferrersPage : public ExplorerPage {
    Q_OBJECT

public:
    // Rows opened by themselves for one object asked about, at most.
    static constexpr int kLookThrough = 16;

    explicit ReferrersPage(HeapSource* source, QWidget* parent = nullptr);

    // Lists what refers to object, in place of what was shown.
    void showReferrers(const ObjectRef& object);

    QList<QAbstractItemView*> views() const override;
    void refresh() override;
    void forgetHandles() override;
    void requestsDropped() override;
    void rememberLayout(RememberedLayout& layout) override;

    HeapTreeView* view() const { return view_; }
    HeapTreeModel* model() const { return model_; }

private:
    // Opens the referrers just listed under parent that are a collection's insides, or
    // the collection such insides belong to.
    void lookThrough(const QModelIndex& parent, int first, int last);

    HeapTreeModel* model_;
    HeapTreeView* view_;
    QLabel* title_;
    int lookThroughLeft_ = 0;
};
