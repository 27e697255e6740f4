#include "capture_progress.h"

#include <signal.h>

#include <atomic>
#include <cstdio>

#include "agent_session.h"

namespace {

std::atomic<CaptureCancel*> gInterruptCancel{nullptr};
std::atomic<bool> gInterrupted{false};
struct sigaction gOldInt {}, gOldTerm {};

void onInterrupt(int)
{
    gInterrupted = true;
    if (CaptureCancel* cancel = gInterruptCancel.load())
        cancel->cancel();
}

std::string megabytes(uint64_t bytes)
{
    char text[32];
    std::snprintf(text, sizeof text, "%.0f", static_cast<double>(bytes) / (1 << 20));
    return text;
}

std::string objectCount(uint64_t n)
{
    char text[32];
    if (n >= 1000000)
        std::snprintf(text, sizeof text, "%.1fM", static_cast<double>(n) / 1e6);
    else
        std::snprintf(text, sizeof text, "%llu", static_cast<unsigned long long>(n));
    return text;
}

}  // namespace

std::string captureProgressText(const std::string& what, const CaptureProgress& p)
{
    std::string text = what + ": ";
    switch (p.phase) {
    case CapturePhase::Preparing:
        text += "asking the VM";
        break;
    case CapturePhase::Dumping:
        text += p.waitingFor.empty() ? capturePhaseName(p.phase) : p.waitingFor;
        break;
    case CapturePhase::Reading:
        text += "reading " + megabytes(p.bytes) + (p.heapUsed > 0 ? " of about " + megabytes(p.heapUsed) : "") + " MB";
        if (p.objects > 0)
            text += ", " + objectCount(p.objects) + " objects";
        break;
    default:
        text += std::string(capturePhaseName(p.phase)) + ", " + objectCount(p.objects) + " objects";
        break;
    }
    char seconds[32];
    std::snprintf(seconds, sizeof seconds, " (%.1f s)", p.seconds);
    return text + seconds;
}

CaptureProgressLine::CaptureProgressLine(std::ostream& err, bool isTerminal, std::string what)
    : err_(err), terminal_(isTerminal), what_(std::move(what))
{
}

std::function<void(const CaptureProgress&)> CaptureProgressLine::callback()
{
    if (!terminal_)
        return {};
    return [this](const CaptureProgress& p) {
        // \r and "erase to the end of the line": each update replaces the last.
        err_ << "\r" << captureProgressText(what_, p) << "\x1b[K" << std::flush;
        shown_ = true;
    };
}

void CaptureProgressLine::finishLine()
{
    if (shown_)
        err_ << "\r\x1b[K" << std::flush;
    shown_ = false;
}

CancelOnInterrupt::CancelOnInterrupt(CaptureCancel& cancel)
{
    gInterrupted = false;
    gInterruptCancel = &cancel;
    struct sigaction action {};
    action.sa_handler = onInterrupt;
    sigemptyset(&action.sa_mask);
    sigaction(SIGINT, &action, &gOldInt);
    sigaction(SIGTERM, &action, &gOldTerm);
}

CancelOnInterrupt::~CancelOnInterrupt()
{
    sigaction(SIGINT, &gOldInt, nullptr);
    sigaction(SIGTERM, &gOldTerm, nullptr);
    gInterruptCancel = nullptr;
}

bool CancelOnInterrupt::interrupted() const { return gInterrupted; }

long capturePid(const CliOptions& options, std::string& error)
{
    if (options.pid != 0)
        return static_cast<long>(options.pid);
    AgentSession session(options.port);
    const ClientError opened = session.open();
    if (opened.failed()) {
        error = opened.message;
        return 0;
    }
    if (session.hello().pid <= 0) {
        error = "the agent on port " + std::to_string(options.port) + " did not say its process id; give it with --pid";
        return 0;
    }
    return static_cast<long>(session.hello().pid);
}

std::string pauseText(const CaptureReport& report)
{
    if (!report.pauseKnown)
        return "the program's pause is not known (the VM runs without performance data)";
    char text[96];
    std::snprintf(text, sizeof text, "the program paused %.0f ms", report.pause.ms);
    return text;
}
