#include "symbol_table.h"

void SymbolTable::begin(uint64_t id)
{
    const auto entry = static_cast<uint32_t>(entries_.size());
    entries_.push_back({arena_.size(), 0});
    index_.set(id, entry);
}

void SymbolTable::append(const uint8_t* bytes, size_t n)
{
    arena_.insert(arena_.end(), reinterpret_cast<const char*>(bytes), reinterpret_cast<const char*>(bytes) + n);
    entries_.back().length += static_cast<uint32_t>(n);
}

bool SymbolTable::find(uint64_t id, std::string_view& text) const
{
    const uint32_t entry = index_.find(id);
    if (entry == IdHashMap::kMissing)
        return false;
    text = std::string_view(arena_.data() + entries_[entry].offset, entries_[entry].length);
    return true;
}

std::string_view SymbolTable::textOr(uint64_t id, std::string_view fallback) const
{
    std::string_view text;
    return find(id, text) ? text : fallback;
}

void SymbolTable::clear()
{
    std::vector<char>().swap(arena_);
    std::vector<Entry>().swap(entries_);
    index_.clear();
}
