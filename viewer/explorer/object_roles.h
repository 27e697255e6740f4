// Item data roles every explorer model answers for its object rows, so the window's
// object actions (referrers, path, copy handle, show in Objects) work on any view.
#pragma once

#include <Qt>

enum ObjectRole {
    HandleRole = Qt::UserRole + 1,  // QString: the object's handle; empty for a row that is none
    WireTypeRole,                    // QString: its type as the agent names it
    FirstModelRole,                  // a model's own roles start here
};
