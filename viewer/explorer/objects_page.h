// The Objects view: at the top the objects opened from the other views, below them the
// GC roots grouped by kind, as the root survey lists them; each object row opens to
// its fields, elements or statics.
#pragma once

#include <memory>

#include "explorer_page.h"

class FieldsChoice;
class HeapSource;
class HeapTreeModel;
class HeapTreeView;
class RequestRunner;
class RootGroups;
class RootSurvey;

class ObjectsPage : public ExplorerPage {
    Q_OBJECT

public:
    ObjectsPage(HeapSource* source, RequestRunner* runner, const FieldsChoice* fields, QWidget* parent = nullptr);
    ~ObjectsPage() override;

    // Shows the object under "Opened objects", selected and opened; an object opened
    // already is selected where it is.
    void showObject(const ObjectRef& object);
    // Whether the row is an opened object, which can be closed.
    bool isOpened(const QModelIndex& index) const;
    // Closes the opened object at the current row, or every opened object.
    void closeCurrent();
    void closeAll();
    // Reads the current row again, a collection as its entries or its fields as the
    // fields choice now says.
    void rereadCurrent();
    // Lists the GC roots afresh, on the runner's port.
    void listRoots();

    QList<QAbstractItemView*> views() const override;
    // F5 on an opened object reads it again; anywhere else it lists the roots again.
    void refresh() override;
    void forgetHandles() override;
    void requestsDropped() override;
    void rememberLayout(RememberedLayout& layout) override;

    HeapTreeView* view() const { return view_; }
    HeapTreeModel* model() const { return model_; }
    RootSurvey* survey() const { return survey_; }

private:
    RequestRunner* runner_;
    HeapTreeModel* model_;
    std::unique_ptr<RootGroups> roots_;
    RootSurvey* survey_;
    HeapTreeView* view_;
};
