#include "progress_line.h"

#include <unistd.h>

#include "java_text.h"

std::string progressText(const std::string& what, const OpenProgress& p)
{
    if (p.phase == "reading") {
        std::string text = "reading " + what + ": " + bytesText(p.bytes);
        if (p.total > 0)
            text += " of " + bytesText(p.total);
        // A dump written to a file as it comes is not indexed: no objects to count.
        return p.objects > 0 || p.total > 0 ? text + ", " + groupedCount(p.objects) + " objects" : text;
    }
    // A live capture before its dump comes: asking the VM, the VM dumping, or waiting.
    if (p.bytes == 0 && p.objects == 0)
        return what + ": " + p.phase;
    if (p.phase == "resolving references" || p.phase == "computing sizes")
        return "reading " + what + ": " + p.phase + " of " + groupedCount(p.objects) + " objects";
    return "analysing " + what + " (" + groupedCount(p.objects) + " objects): " + p.phase;
}

bool standardErrorIsTerminal()
{
    return isatty(STDERR_FILENO) == 1;
}

ProgressLine::ProgressLine(std::ostream& err, bool shown, std::string what)
    : err_(err), shown_(shown), what_(std::move(what))
{
}

ProgressLine::~ProgressLine()
{
    clear();
}

void ProgressLine::update(const OpenProgress& progress)
{
    if (!shown_)
        return;
    // Every new phase, and otherwise a few times a second: enough to see it move.
    const auto now = std::chrono::steady_clock::now();
    if (progress.phase == lastPhase_ && now - lastWrite_ < std::chrono::milliseconds(200))
        return;
    lastPhase_ = progress.phase;
    lastWrite_ = now;
    err_ << "\r" << progressText(what_, progress) << "\033[K" << std::flush;
    written_ = true;
}

void ProgressLine::clear()
{
    if (written_)
        err_ << "\r\033[K" << std::flush;
    written_ = false;
}

std::function<void(const OpenProgress&)> ProgressLine::callback()
{
    return [this](const OpenProgress& progress) { update(progress); };
}
