// The objects opened in the Objects view, in the order they were opened, for Back and
// Forward as a browser keeps pages: opening one after going back drops what was ahead.
#pragma once

#include <optional>
#include <vector>

#include "reply_views.h"

class ObjectHistory {
public:
    static constexpr size_t kKept = 200;

    // The object opened now; opening the one that is current already changes nothing.
    void opened(const ObjectRef& object);
    bool canGoBack() const { return current_ > 0; }
    bool canGoForward() const { return current_ + 1 < objects_.size(); }
    std::optional<ObjectRef> back();
    std::optional<ObjectRef> forward();
    void clear();

private:
    std::vector<ObjectRef> objects_;
    size_t current_ = 0;  // meaningful while objects_ is not empty
};
