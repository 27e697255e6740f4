// Each object's class number, two bytes per object while every number is below 65,535
// (a heap with fewer classes than that: nearly all of them), four bytes once one is not.
// Reads and appends as a std::vector<uint32_t> would.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <vector>

class ClassNumbers {
public:
    ClassNumbers() = default;
    ClassNumbers(const std::vector<uint32_t>& numbers) { *this = numbers; }  // NOLINT: reads as the vector it packs
    ClassNumbers& operator=(const std::vector<uint32_t>& numbers)
    {
        narrow_.clear();
        wide_.clear();
        isWide_ = false;
        for (const uint32_t n : numbers)
            isWide_ = isWide_ || n >= kNarrowEnd;
        if (isWide_)
            wide_ = numbers;
        else
            narrow_.assign(numbers.begin(), numbers.end());
        return *this;
    }

    void reserve(size_t objects) { isWide_ ? wide_.reserve(objects) : narrow_.reserve(objects); }
    void push_back(uint32_t number)
    {
        if (!isWide_ && number >= kNarrowEnd)
            widen();
        if (isWide_)
            wide_.push_back(number);
        else
            narrow_.push_back(static_cast<uint16_t>(number));
    }
    // As push_back of each, in one pass over narrow numbers where a loop of pushes would
    // test the width for each.
    void append(const uint32_t* numbers, size_t count)
    {
        uint32_t most = 0;
        for (size_t i = 0; i < count; ++i)
            most = std::max(most, numbers[i]);
        if (!isWide_ && most >= kNarrowEnd)
            widen();
        if (isWide_) {
            wide_.insert(wide_.end(), numbers, numbers + count);
            return;
        }
        const size_t at = narrow_.size();
        narrow_.resize(at + count);
        for (size_t i = 0; i < count; ++i)
            narrow_[at + i] = static_cast<uint16_t>(numbers[i]);
    }
    void pop_back() { isWide_ ? wide_.pop_back() : narrow_.pop_back(); }
    uint32_t operator[](size_t object) const { return isWide_ ? wide_[object] : narrow_[object]; }
    size_t size() const { return isWide_ ? wide_.size() : narrow_.size(); }
    bool empty() const { return size() == 0; }
    uint64_t memoryBytes() const { return narrow_.capacity() * 2 + wide_.capacity() * 4; }
    bool operator==(const ClassNumbers& other) const
    {
        if (size() != other.size())
            return false;
        for (size_t i = 0; i < size(); ++i) {
            if ((*this)[i] != other[i])
                return false;
        }
        return true;
    }

    // Read-only iteration, by value.
    class const_iterator {
    public:
        const_iterator(const ClassNumbers* numbers, size_t at) : numbers_(numbers), at_(at) {}
        uint32_t operator*() const { return (*numbers_)[at_]; }
        const_iterator& operator++()
        {
            ++at_;
            return *this;
        }
        bool operator!=(const const_iterator& other) const { return at_ != other.at_; }

    private:
        const ClassNumbers* numbers_;
        size_t at_;
    };
    const_iterator begin() const { return {this, 0}; }
    const_iterator end() const { return {this, size()}; }

    // The numbers themselves, for scans: one of the two is empty.
    const std::vector<uint16_t>& narrow() const { return narrow_; }
    const std::vector<uint32_t>& wide() const { return wide_; }

private:
    static constexpr uint32_t kNarrowEnd = UINT16_MAX;

    // Every number so far into the four-byte array, with room for as many as before.
    void widen()
    {
        wide_.reserve(narrow_.capacity());
        wide_.assign(narrow_.begin(), narrow_.end());
        std::vector<uint16_t>().swap(narrow_);
        isWide_ = true;
    }

    bool isWide_ = false;
    std::vector<uint16_t> narrow_;  // 2 B/object
    std::vector<uint32_t> wide_;    // 4 B/object, once a number does not fit
};
