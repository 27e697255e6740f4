// Which field, static or array element each reference goes through, in about one byte
// per reference. Every object's possible references are numbered by slot (0 for its
// class, then its fields, statics or elements in order), and an edge keeps only how many
// slots it skipped since the previous edge of the same object: null fields and elements,
// primitive fields, references that named no object. A skip of 255 or more is kept
// exactly in a side list, which stays short (it takes 255 null slots to need one).
#pragma once

#include <cstddef>
#include <cstdint>
#include <utility>
#include <vector>

class EdgeLabels {
public:
    static constexpr uint8_t kEscape = 255;

    void reserve(size_t edges) { skips_.reserve(edges); }
    // The next edge, `edge` its index in the graph's targets.
    void push(uint32_t edge, uint32_t skip)
    {
        if (skip < kEscape) {
            skips_.push_back(static_cast<uint8_t>(skip));
        } else {
            skips_.push_back(kEscape);
            escapes_.emplace_back(edge, skip);
        }
    }
    // The slot of `edge` in the row of references that starts at edge `first`.
    uint32_t slot(uint32_t first, uint32_t edge) const;
    // The slots of every edge of the row [first, end), in one pass.
    std::vector<uint32_t> slots(uint32_t first, uint32_t end) const;
    size_t size() const { return skips_.size(); }
    size_t memoryBytes() const { return skips_.capacity() + escapes_.capacity() * sizeof(escapes_[0]); }

private:
    uint32_t skipAt(uint32_t edge) const;

    std::vector<uint8_t> skips_;                          // 1 B/reference
    std::vector<std::pair<uint32_t, uint32_t>> escapes_;  // (edge, skip) for skips >= 255, by edge
};
