// Opening the explorer from main(), which also brings up the classic window and so keeps
// Qt's keywords: this header names nothing of the client library.
#pragma once

#include <QMainWindow>

#include <memory>
#include <string>

// The explorer's window, shown, connecting to the agent on port.
std::unique_ptr<QMainWindow> openExplorer(int port);
// The explorer's window, shown, opening the heap dump file hprof; connecting to the agent
// on port too when connect says so.
std::unique_ptr<QMainWindow> openExplorerOnDump(const std::string& hprof, int port, bool connect);
