// Vorlan: a live heap browser for a Java VM running the Vorlan agent.
#include <QApplication>

#include <cstdio>
#include <cstring>

#include "startup.h"

namespace {

const char* const USAGE =
    "usage: Vorlan [port=N] [debug=1]\n"
    "\n"
    "Browses the heap of a Java program running the Vorlan agent on 127.0.0.1. Press\n"
    "\"refresh\" to list the roots, expand an object to see what it refers to, \"close\"\n"
    "to end the Java program and the viewer.\n"
    "\n"
    "  port=N    the agent's port (default 12345; the first attempt to connect, while the\n"
    "            window opens, always goes to 12345)\n"
    "  debug=1   open the \"log\" window and write the same trace to vllog.txt in the\n"
    "            current directory; the last word on the line decides the debug level\n"
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
    const ViewerWindows windows = startViewer(argc, argv);
    app.exec();
    return 0;
}
