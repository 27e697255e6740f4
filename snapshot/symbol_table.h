// The dump's UTF8 records (class, field and method names by identifier) while reading:
// the text in one arena, an identifier's entry found through an open-addressing map.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>
#include <vector>

#include "id_hash_map.h"

class SymbolTable {
public:
    // Starts a symbol whose text follows in pieces; a later one with the same id wins.
    void begin(uint64_t id);
    void append(const uint8_t* bytes, size_t n);
    // The text of a symbol, or nullptr-data view if the dump has none with that id.
    bool find(uint64_t id, std::string_view& text) const;
    std::string_view textOr(uint64_t id, std::string_view fallback) const;
    size_t memoryBytes() const { return arena_.capacity() + entries_.capacity() * sizeof(Entry) + index_.memoryBytes(); }
    void clear();

private:
    struct Entry {
        uint64_t offset;
        uint32_t length;
    };
    std::vector<char> arena_;
    std::vector<Entry> entries_;
    IdHashMap index_;
};
