// The viewer's command line: arguments split at NUL bytes, joined and parsed.
#include <cstdint>
#include <string>
#include <vector>

#include "command_line.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    std::string text(reinterpret_cast<const char*>(data), size);
    std::vector<std::string> args;
    size_t start = 0;
    for (size_t i = 0; i <= text.size(); i++) {
        if (i == text.size() || text[i] == '\0') {
            args.push_back(text.substr(start, i - start));
            start = i + 1;
        }
    }
    std::vector<const char*> argv;
    for (auto& a : args) argv.push_back(a.c_str());
    ViewerOptions options;
    parseCommandLine(joinArguments(static_cast<int>(argv.size()), argv.data()), options);
    if (options.debug == 1 && text.find("debug") == std::string::npos) __builtin_trap();
    parseCommandLine(text, options);  // also with blanks, tabs and NULs inside one text
    return 0;
}
