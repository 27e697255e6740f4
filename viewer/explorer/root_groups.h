// The Objects view's top rows: "Opened objects" (what the user opened from other views),
// then one group per GC root kind, filled as the root survey sorts the roots.
#pragma once

#include <QPersistentModelIndex>

#include <map>
#include <string>

#include "reply_views.h"
#include "root_survey.h"

class HeapTreeModel;

class RootGroups {
public:
    explicit RootGroups(HeapTreeModel* model) : model_(model) {}

    // Takes the root groups away, leaving the opened objects, and shows that a survey
    // has begun.
    void beginSurvey();
    void addBatch(const SurveyBatch& batch);
    void endSurvey();

    // Adds ref to "Opened objects" (made first if need be), unless it is there already;
    // returns its row.
    QModelIndex addOpened(const ObjectRef& ref);
    // The opened object's row with this handle; none when it is not open.
    QModelIndex openedRow(const std::string& handle) const;
    bool isOpened(const QModelIndex& index) const;
    // Closes the opened object at index; returns the row to go on from (the next opened
    // object, the one before, or the row after the group once it has gone).
    QModelIndex closeOpened(const QModelIndex& index);
    void closeAllOpened();

private:
    struct Group {
        QPersistentModelIndex index;
        int order = 0;
        long long count = 0;
    };

    Group& groupFor(const std::string& kind);
    int rowForOrder(int order) const;
    void setProgress(const QString& text, const QString& tip = {});
    void retitle(const std::string& kind, Group& group);

    HeapTreeModel* model_;
    QPersistentModelIndex opened_;
    QPersistentModelIndex progress_;
    std::map<std::string, Group> groups_;
    SurveyBatch last_;
};
