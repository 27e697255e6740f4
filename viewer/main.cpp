// Vorlan: a live heap browser for a Java VM running the Vorlan agent. Started as before
// it opens the classic window; with the word "explore" it opens the explorer.
#include <QApplication>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "explorer_options.h"
#include "explorer_startup.h"
#include "startup.h"

namespace {

const char* const USAGE =
    "usage: Vorlan [port=N] [debug=1]\n"
    "       Vorlan explore [port=N]\n"
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
    "object and its path to a GC root. Requests run in the background; closing the window\n"
    "leaves the Java program running.\n"
    "\n"
    "  port=N    the agent's port (default 12345); the window can connect to another\n"
    "\n"
    "Qt's own options (-platform offscreen and the like) are accepted too.\n";

bool wants_help(int argc, char** argv)
{
    for (int i = 1; i < argc; i++)
        if (strcmp(argv[i], "--help") == 0 || strcmp(argv[i], "-h") == 0) return true;
    return false;
}

}  // namespace

int main(int argc, char** argv)
{
    // Answered before any window or connection attempt is made.
    if (wants_help(argc, argv)) {
        fputs(USAGE, stdout);
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
        const auto window = openExplorer(options.port);
        return app.exec();
    }
    const ViewerWindows windows = startViewer(argc, argv);
    app.exec();
    return 0;
}
