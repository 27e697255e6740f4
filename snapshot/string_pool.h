// Names kept once each (class, field, method and thread names), handed out as 32-bit
// handles so a class's fields cost a handle each and not a string.
#pragma once

#include <cstddef>
#include <cstdint>
#include <deque>
#include <string>
#include <string_view>
#include <unordered_map>

class StringPool {
public:
    StringPool() { add({}); }  // handle 0 is the empty name
    StringPool(StringPool&&) = default;
    StringPool& operator=(StringPool&&) = default;

    uint32_t add(std::string_view text);
    std::string_view get(uint32_t handle) const { return strings_[handle]; }
    size_t size() const { return strings_.size(); }

private:
    std::deque<std::string> strings_;  // a deque never moves its strings, so views stay valid
    std::unordered_map<std::string_view, uint32_t> handles_;
};
