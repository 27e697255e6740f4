// Bringing the viewer up once the application object exists.
#pragma once

#include <memory>

#include "command_line.h"
#include "log_window.h"
#include "tree_window.h"

struct ViewerWindows {
    std::unique_ptr<TForm2> Form2;  // declared first so it outlives Form1, which traces into it
    std::unique_ptr<TForm1> Form1;
};

// Creates the main window (its first connection attempt goes to initialPort, before
// the command line is read), reads the command line from the arguments after the
// program name, and at debug level 1 opens the log window.
ViewerWindows startViewer(int argc, const char* const* argv, int initialPort = kDefaultPort);
