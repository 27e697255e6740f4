// The explorer's command line: the word "explore", or a bare process id, picks the
// explorer window, then key=value words. Read apart from the classic window's words,
// which stay as they are.
#pragma once

#include <string>
#include <vector>

struct ExplorerOptions {
    int port = 12345;
    long pid = 0;  // the agent in this process, found or loaded; 0: the port alone
    std::string hprof;  // a heap dump file to open in the Memory view
    bool portGiven = false;  // port= was on the line: with hprof=, connect too
};

// True when one of the arguments (after the program name) is the word "explore", a whole
// number (a process id) or hprof=FILE.
bool wantsExplorer(const std::vector<std::string>& args);

// Reads the words around "explore": port=N (1..65535), pid=PID or a bare PID, hprof=FILE
// (a heap dump file; without port or pid no agent is connected to). False,
// with a message for the user in error, for any other word, a bad number, or both a
// port and a pid.
bool parseExplorerOptions(const std::vector<std::string>& args, ExplorerOptions& options, std::string& error);

// With a pid, sets the port to its agent's: the one listening there (its port file), or
// the agent loaded into it now. False, with one sentence in error, when there is none.
bool resolveExplorerPort(ExplorerOptions& options, std::string& error);
