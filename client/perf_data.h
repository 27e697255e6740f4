// A HotSpot VM's performance data (the hsperfdata file that jcmd and jps read): a
// prologue (magic 0xcafec0c0, byte order, version, entry offset and count) and entries
// of name, type and value. Only what lists a VM is kept: strings and 64-bit counters.
#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <string_view>

struct PerfData {
    std::map<std::string, std::string> strings;  // type 'B' vectors of text units
    std::map<std::string, int64_t> longs;        // type 'J' scalars

    std::string text(const std::string& name) const;
};

// Reads the bytes of a performance data file; nullopt, with why in error, when they are
// not one (a wrong magic, an entry that runs past the end). Never reads out of bounds.
std::optional<PerfData> parsePerfData(std::string_view bytes, std::string* error = nullptr);
