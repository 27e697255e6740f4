#include "command_line.h"

#include <vector>

std::string joinArguments(int argc, const char* const* argv)
{
    std::string line;
    for (int i = 0; i < argc; ++i) {
        if (i > 0)
            line += ' ';
        line += argv[i];
    }
    const size_t first = line.find_first_not_of(" \t");
    return first == std::string::npos ? std::string() : line.substr(first);
}

// Only the blank separates words; a tab stays part of its word.
static std::vector<std::string_view> splitWords(std::string_view line)
{
    std::vector<std::string_view> words;
    size_t pos = 0;
    while (words.size() < kMaxWords) {
        pos = line.find_first_not_of(' ', pos);
        if (pos == std::string_view::npos)
            break;
        const size_t end = line.find(' ', pos);
        words.push_back(line.substr(pos, end == std::string_view::npos ? end : end - pos));
        pos = end;
    }
    return words;
}

// The n-th run of characters other than '=' (n = 0 for the key, 1 for the value).
static std::string_view equalsField(std::string_view word, int n)
{
    size_t pos = 0;
    for (int field = 0;; ++field) {
        pos = word.find_first_not_of('=', pos);
        if (pos == std::string_view::npos)
            return {};
        const size_t end = word.find('=', pos);
        if (field == n)
            return word.substr(pos, end == std::string_view::npos ? end : end - pos);
        pos = end;
    }
}

void parseCommandLine(std::string_view line, ViewerOptions& options)
{
    if (line.empty()) {
        options.debug = -1;
        return;
    }
    for (std::string_view word : splitWords(line)) {
        const std::string_view key = equalsField(word, 0);
        if (key.empty())
            continue;  // a word of '=' only names no key
        const std::string_view value = equalsField(word, 1);
        if (key == "port")
            options.port = decimalValue(value);
        options.debug = key == "debug" ? decimalValue(value) : -1;
    }
}
