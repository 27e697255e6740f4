// The line vorlan-cli keeps on standard error while it reads and analyses a heap dump:
// the phase, the bytes read of the file and the objects found, rewritten in place a few
// times a second, and cleared at the end. Shown only when standard error is a terminal,
// so a script's output stays clean.
#pragma once

#include <chrono>
#include <functional>
#include <ostream>
#include <string>

#include "snapshot_open.h"

// "reading heap.hprof: 312 of 602 MB, 5,123,456 objects"
std::string progressText(const std::string& what, const OpenProgress& progress);

class ProgressLine {
public:
    ProgressLine(std::ostream& err, bool shown, std::string what);
    ~ProgressLine();
    ProgressLine(const ProgressLine&) = delete;
    ProgressLine& operator=(const ProgressLine&) = delete;

    void update(const OpenProgress& progress);
    // Erases the line, so what follows starts on a clean line.
    void clear();
    std::function<void(const OpenProgress&)> callback();

private:
    std::ostream& err_;
    bool shown_;
    std::string what_;
    std::string lastPhase_;
    std::chrono::steady_clock::time_point lastWrite_{};
    bool written_ = false;
};

bool standardErrorIsTerminal();
