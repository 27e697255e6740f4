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

    // Adds ref to "Opened objects" (made first if need be); returns its row.
    QModelIndex addOpened(const ObjectRef& ref);

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
