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

}  // namespace

OpenProgress openProgressOf(const CaptureProgress& p)
{
    OpenProgress open;
    switch (p.phase) {
    case CapturePhase::Dumping:
        open.phase = p.waitingFor.empty() ? capturePhaseName(p.phase) : p.waitingFor;
        break;
    case CapturePhase::Reading:
        open.phase = "reading";  // the progress line's own word for it
        break;
    default:
        open.phase = capturePhaseName(p.phase);
        break;
    }
    open.bytes = p.bytes;
    open.objects = p.objects;
    return open;
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
