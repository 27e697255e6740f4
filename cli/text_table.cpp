#include "text_table.h"

#include <algorithm>

namespace {

// Characters of UTF-8 text: every byte that does not continue a sequence.
size_t displayWidth(const std::string& text)
{
    return static_cast<size_t>(std::count_if(text.begin(), text.end(), [](char c) {
        return (static_cast<unsigned char>(c) & 0xC0) != 0x80;
    }));
}

}  // namespace

std::string formatTable(const TextTable& table)
{
    std::vector<size_t> widths;
    for (const auto& row : table.rows) {
        if (widths.size() < row.size())
            widths.resize(row.size(), 0);
        for (size_t c = 0; c < row.size(); ++c)
            widths[c] = std::max(widths[c], displayWidth(row[c]));
    }
    std::string out;
    for (const auto& row : table.rows) {
        std::string line = table.indent;
        for (size_t c = 0; c < row.size(); ++c) {
            const std::string padding(widths[c] - displayWidth(row[c]), ' ');
            const bool right = c < table.rightAligned.size() && table.rightAligned[c];
            if (c > 0)
                line += "  ";
            if (right)
                line += padding + row[c];
            else if (c + 1 < row.size())
                line += row[c] + padding;
            else
                line += row[c];
        }
        line.erase(line.find_last_not_of(' ') + 1);
        out += line + "\n";
    }
    return out;
}
