// The Referrers view: the objects that refer to one object, with the field or index
// they hold it by, and the GC roots that hold it; each referrer opens to its own
// referrers in turn.
#pragma once

#include "explorer_page.h"

class HeapSource;
class HeapTreeModel;
class HeapTreeView;
class QLabel;

class ReferrersPage : public ExplorerPage {
    Q_OBJECT

public:
    explicit ReferrersPage(HeapSource* source, QWidget* parent = nullptr);

    // Lists what refers to object, in place of what was shown.
    void showReferrers(const ObjectRef& object);

    QList<QAbstractItemView*> views() const override;
    void refresh() override;
    void forgetHandles() override;
    void rememberLayout(RememberedLayout& layout) override;

    HeapTreeView* view() const { return view_; }
    HeapTreeModel* model() const { return model_; }

private:
    HeapTreeModel* model_;
    HeapTreeView* view_;
    QLabel* title_;
};
