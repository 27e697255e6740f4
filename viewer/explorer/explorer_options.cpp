#include "explorer_options.h"

#include <algorithm>
#include <cerrno>
#include <cstdlib>

namespace {

constexpr const char* kExploreWord = "explore";

bool readPort(const std::string& text, int& port)
{
    if (text.empty() || text.find_first_not_of("0123456789") != std::string::npos)
        return false;
    errno = 0;
    const long value = std::strtol(text.c_str(), nullptr, 10);
    if (errno != 0 || value < 1 || value > 65535)
        return false;
    port = static_cast<int>(value);
    return true;
}

}  // namespace

bool wantsExplorer(const std::vector<std::string>& args)
{
    return std::find(args.begin(), args.end(), kExploreWord) != args.end();
}

bool parseExplorerOptions(const std::vector<std::string>& args, ExplorerOptions& options, std::string& error)
{
    for (const std::string& word : args) {
        if (word == kExploreWord)
            continue;
        if (word.rfind("port=", 0) == 0) {
            if (!readPort(word.substr(5), options.port)) {
                error = "port wants a number from 1 to 65535, not \"" + word.substr(5) + "\"";
                return false;
            }
            continue;
        }
        error = "unknown word \"" + word + "\" (the explorer takes port=N)";
        return false;
    }
    return true;
}
