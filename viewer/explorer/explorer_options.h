// The explorer's command line: the word "explore" picks the explorer window, then
// key=value words. Read apart from the classic window's words, which stay as they are.
#pragma once

#include <string>
#include <vector>

struct ExplorerOptions {
    int port = 12345;
};

// True when one of the arguments (after the program name) is the word "explore".
bool wantsExplorer(const std::vector<std::string>& args);

// Reads the words around "explore": port=N (1..65535). False, with a message for the
// user in error, for any other word or a bad number.
bool parseExplorerOptions(const std::vector<std::string>& args, ExplorerOptions& options, std::string& error);
