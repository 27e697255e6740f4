// Shallow sizes in 8-byte units, two bytes per object: every object below 512 KiB, which
// is nearly all of them, fits in 16 bits, and the few larger ones (big arrays) are kept
// apart, sorted by object. Reads and appends as a std::vector<uint32_t> would.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <utility>
#include <vector>

class SizeUnits {
public:
    SizeUnits() = default;
    SizeUnits(const std::vector<uint32_t>& units) { *this = units; }  // NOLINT: reads as the vector it packs
    SizeUnits& operator=(const std::vector<uint32_t>& units)
    {
        small_.clear();
        large_.clear();
        reserve(units.size());
        for (const uint32_t u : units)
            push_back(u);
        return *this;
    }

    void reserve(size_t objects) { small_.reserve(objects); }
    // Objects come in order, so the large ones stay sorted.
    void push_back(uint32_t units)
    {
        if (units < kLarge) {
            small_.push_back(static_cast<uint16_t>(units));
        } else {
            large_.emplace_back(static_cast<uint32_t>(small_.size()), units);
            small_.push_back(kLarge);
        }
    }
    // As push_back of each, in one pass where no size is large.
    void append(const uint32_t* units, size_t count)
    {
        const size_t at = small_.size();
        small_.resize(at + count);
        bool anyLarge = false;
        for (size_t i = 0; i < count; ++i) {
            anyLarge |= units[i] >= kLarge;
            small_[at + i] = static_cast<uint16_t>(units[i]);
        }
        if (!anyLarge)
            return;
        for (size_t i = 0; i < count; ++i) {
            if (units[i] >= kLarge) {
                large_.emplace_back(static_cast<uint32_t>(at + i), units[i]);
                small_[at + i] = kLarge;
            }
        }
    }
    void pop_back()
    {
        if (!large_.empty() && large_.back().first + 1 == small_.size())
            large_.pop_back();
        small_.pop_back();
    }
    uint32_t operator[](size_t object) const
    {
        const uint16_t units = small_[object];
        return units != kLarge ? units : largeUnits(object);
    }
    size_t size() const { return small_.size(); }
    bool empty() const { return small_.empty(); }
    uint64_t memoryBytes() const { return small_.capacity() * 2 + large_.capacity() * sizeof(large_[0]); }
    bool operator==(const SizeUnits& other) const { return small_ == other.small_ && large_ == other.large_; }

private:
    static constexpr uint16_t kLarge = UINT16_MAX;

    uint32_t largeUnits(size_t object) const
    {
        const auto found = std::lower_bound(large_.begin(), large_.end(), std::make_pair(static_cast<uint32_t>(object), 0u));
        return found != large_.end() && found->first == object ? found->second : 0;
    }

    std::vector<uint16_t> small_;                        // 2 B/object
    std::vector<std::pair<uint32_t, uint32_t>> large_;  // (object, units) of 512 KiB and more
};
