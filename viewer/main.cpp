// Vorlan: a live heap browser for a Java VM running the Vorlan agent. Started as before
// it opens the classic window; with the word "explore" or a process id it opens the
// explorer.
#include <QApplication>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "explorer_options.h"
#include "explorer_startup.h"
#include "startup.h"
#include "version.h"

namespace {

const char* const USAGE =
    "usage: Vorlan [port=N] [debug=1]\n"
    "       Vorlan explore [port=N | pid=PID] [hprof=FILE]\n"
    "       Vorlan PID\n"
    "\n"
    "Browses the heap of a Java program running the Vorlan agent on 127.0.0.1.\n"
    "\n"
    "The classic window: press \"refresh\" to list the roots, expand an object to see\n"
    "what it refers to, \"close\" to end the Java program and the viewer.\n"
    "\n"
    "  port=N    the agent's port (default 12345; the first attempt to connect, while the\n"
    "            window opens, always goes to 12345)\n"
    "  debug=1   open the \"log\" window and write the same trace to vllog.txt in the\n"
    "            current directory; the last word on the line decides the debug level\n"
    "\n"
    "The explorer (the word explore anywhere on the line): the heap's GC roots and objects\n"
    "with their fields, the histogram of classes and their instances, who refers to an\n"
    "object and its path to a GC root; what holds the memory in a heap dump file. Requests run in the background; closing the window\n"
    "leaves the Java program running.\n"
    "\n"
    "  port=N    the agent's port (default 12345); the window can connect to another\n"
    "  pid=PID   the agent in the Java program with process id PID: the one listening\n"
    "            there, or the agent loaded into it now (through the VM's attach\n"
    "            mechanism, on a port the system picks); a bare PID says the same\n"
    "  hprof=FILE a heap dump file (.hprof or .hprof.gz) to open in the Memory view: the\n"
    "            biggest objects, the classes by retained size, the leak suspects; with\n"
    "            no port or pid given, no agent is connected to\n"
    "\n"
    "  --version the version\n"
    "\n"
    "Qt's own options (-platform offscreen and the like) are accepted too.\n";

bool wants(int argc, char** argv, const char* word, const char* shortWord = nullptr)
{
    for (int i = 1; i < argc; i++)
        if (strcmp(argv[i], word) == 0 || (shortWord && strcmp(argv[i], shortWord) == 0)) return true;
    return false;
}

}  // namespace

int main(int argc, char** argv)
{
    // Answered before any window or connection attempt is made.
    if (wants(argc, argv, "--help", "-h")) {
        fputs(USAGE, stdout);
        return 0;
    }
    if (wants(argc, argv, "--version")) {
        const char* slash = strrchr(argv[0], '/');
        printf("%s %s\n", slash ? slash + 1 : argv[0], vorlanVersion());
        return 0;
    }
    QApplication app(argc, argv);  // takes its own arguments (-platform and the like) out of argv
    const std::vector<std::string> words(argv + 1, argv + argc);
    if (wantsExplorer(words)) {
        ExplorerOptions options;
        std::string error;
        if (!parseExplorerOptions(words, options, error)) {
            fprintf(stderr, "Vorlan explore: %s\n", error.c_str());
            return 2;
        }
        // Before the window: a pid's agent may have to be loaded first, which takes a
        // moment, or fail with a sentence that belongs on the terminal it came from.
        if (!resolveExplorerPort(options, error)) {
            fprintf(stderr, "Vorlan: %s\n", error.c_str());
            return 1;
        }
        const bool live = options.hprof.empty() || options.portGiven || options.pid != 0;
        const auto window = options.hprof.empty() ? openExplorer(options.port)
                                                  : openExplorerOnDump(options.hprof, options.port, live);
        return app.exec();
    }
    const ViewerWindows windows = startViewer(argc, argv);
    app.exec();
    return 0;
}
