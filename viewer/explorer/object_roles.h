// Item data roles every explorer model answers for its object rows, so the window's
// object actions (referrers, path, copy handle, show in Objects) work on any view.
#pragma once

#include <QModelIndex>

#include <optional>

#include "reply_views.h"

enum ObjectRole {
    HandleRole = Qt::UserRole + 1,  // QString: the object's handle; empty for a row that is none
    WireTypeRole,                    // QString: its type as the agent names it
    FirstModelRole,                  // a model's own roles start here
};

// The object a row of any explorer view names, read through these roles; none for a
// row that names none (a group, a note, a primitive value).
std::optional<ObjectRef> objectAt(const QModelIndex& index);
