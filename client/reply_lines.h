// The lines of one agent reply, kept in the reply text itself: a million-line reply
// costs its text plus one offset per line, not a million separate strings.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

class ReplyLines {
public:
    ReplyLines() = default;

    // Cuts text at each '\n'. Empty lines count; text after the last '\n' is dropped.
    explicit ReplyLines(std::string text);

    size_t size() const { return ends_.size(); }
    bool empty() const { return ends_.empty(); }

    // Line i without its '\n'.
    std::string_view operator[](size_t i) const;

private:
    std::string text_;
    std::vector<size_t> ends_;  // offset of the '\n' closing each line
};
