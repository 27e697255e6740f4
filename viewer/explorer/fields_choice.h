// The collections the user asked to see as their fields ("Show internals") rather than
// as their entries, by handle; the Objects view and the details pane both follow it.
#pragma once

#include <set>
#include <string>

class FieldsChoice {
public:
    bool wantsFields(const std::string& handle) const { return handles_.count(handle) > 0; }
    void set(const std::string& handle, bool fields)
    {
        if (fields)
            handles_.insert(handle);
        else
            handles_.erase(handle);
    }
    void clear() { handles_.clear(); }

private:
    std::set<std::string> handles_;
};
