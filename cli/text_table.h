// Aligned columns for vorlan-cli's human-readable output.
#pragma once

#include <string>
#include <vector>

struct TextTable {
    std::vector<std::vector<std::string>> rows;
    std::vector<bool> rightAligned;  // per column; missing entries align left
    std::string indent;              // in front of every line
};

// One line per row, columns two blanks apart and padded to their widest cell (widths
// counted in characters, not bytes); the last column is not padded, trailing blanks
// are dropped.
std::string formatTable(const TextTable& table);
