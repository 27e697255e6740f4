// A map from 64-bit keys (HPROF identifiers, megabyte numbers) to 32-bit values with
// open addressing: two arrays and no node per entry, so a few hundred thousand symbols
// or classes cost a few megabytes and a lookup is one or two cache lines.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

class IdHashMap {
public:
    static constexpr uint32_t kMissing = UINT32_MAX;

    IdHashMap() { rehash(16); }

    uint32_t find(uint64_t key) const
    {
        if (key == kEmpty)
            return hasEmptyKey_ ? emptyKeyValue_ : kMissing;
        for (size_t i = slot(key);; i = (i + 1) & mask_) {
            if (keys_[i] == key)
                return values_[i];
            if (keys_[i] == kEmpty)
                return kMissing;
        }
    }

    // Inserts key with value unless present; returns the value now stored.
    uint32_t insert(uint64_t key, uint32_t value)
    {
        if (key == kEmpty) {
            if (!hasEmptyKey_) {
                hasEmptyKey_ = true;
                emptyKeyValue_ = value;
                ++size_;
            }
            return emptyKeyValue_;
        }
        if ((size_ + 1) * 2 > keys_.size())
            rehash(keys_.size() * 2);
        size_t i = slot(key);
        for (; keys_[i] != kEmpty; i = (i + 1) & mask_) {
            if (keys_[i] == key)
                return values_[i];
        }
        keys_[i] = key;
        values_[i] = value;
        ++size_;
        return value;
    }

    // Sets key's value, inserting it if absent.
    void set(uint64_t key, uint32_t value)
    {
        if (key == kEmpty) {
            if (!hasEmptyKey_)
                ++size_;
            hasEmptyKey_ = true;
            emptyKeyValue_ = value;
            return;
        }
        if ((size_ + 1) * 2 > keys_.size())
            rehash(keys_.size() * 2);
        size_t i = slot(key);
        for (; keys_[i] != kEmpty; i = (i + 1) & mask_) {
            if (keys_[i] == key) {
                values_[i] = value;
                return;
            }
        }
        keys_[i] = key;
        values_[i] = value;
        ++size_;
    }

    size_t size() const { return size_; }
    size_t memoryBytes() const { return keys_.capacity() * sizeof(uint64_t) + values_.capacity() * sizeof(uint32_t); }

    void clear()
    {
        std::vector<uint64_t>().swap(keys_);
        std::vector<uint32_t>().swap(values_);
        size_ = 0;
        hasEmptyKey_ = false;
        rehash(16);
    }

private:
    static constexpr uint64_t kEmpty = UINT64_MAX;

    size_t slot(uint64_t key) const { return static_cast<size_t>((key * 0x9E3779B97F4A7C15ull) >> shift_); }

    void rehash(size_t capacity)
    {
        std::vector<uint64_t> oldKeys(capacity, kEmpty);
        std::vector<uint32_t> oldValues(capacity);
        oldKeys.swap(keys_);
        oldValues.swap(values_);
        mask_ = capacity - 1;
        shift_ = 64;
        for (size_t c = capacity; c > 1; c >>= 1)
            --shift_;
        for (size_t i = 0; i < oldKeys.size(); ++i) {
            if (oldKeys[i] == kEmpty)
                continue;
            size_t j = slot(oldKeys[i]);
            while (keys_[j] != kEmpty)
                j = (j + 1) & mask_;
            keys_[j] = oldKeys[i];
            values_[j] = oldValues[i];
        }
    }

    std::vector<uint64_t> keys_;
    std::vector<uint32_t> values_;
    size_t mask_ = 0;
    unsigned shift_ = 64;
    size_t size_ = 0;
    bool hasEmptyKey_ = false;
    uint32_t emptyKeyValue_ = 0;
};
