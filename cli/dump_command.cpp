#include "dump_command.h"

#include <cstdio>

#include "capture_error.h"
#include "capture_progress.h"
#include "heap_capture.h"
#include "json_writer.h"
#include "progress_line.h"

namespace {

std::string fixed(double value, int decimals)
{
    char text[48];
    std::snprintf(text, sizeof text, "%.*f", decimals, value);
    return text;
}

}  // namespace

int cli_dump(const CliCommand& c, std::ostream& out, std::ostream& err, bool errIsTerminal)
{
    std::string why;
    const long pid = capturePid(c.options, why);
    if (pid == 0) {
        err << "vorlan-cli: " << why << "\n";
        return 1;
    }
    CaptureCancel cancel;
    ProgressLine line(err, errIsTerminal, "the heap of process " + std::to_string(pid));
    CaptureOptions options;
    options.cancel = &cancel;
    options.gzipLevel = c.options.gzipLevel;
    options.progress = [&line](const CaptureProgress& p) {
        if (p.phase != CapturePhase::Done)
            line.update(openProgressOf(p));
    };
    CancelOnInterrupt interrupt(cancel);
    try {
        const CaptureReport report = captureHeapToFile(pid, c.argument, c.options.force, options);
        line.clear();
        if (c.options.json) {
            JsonWriter json;
            json.beginObject().key("file").value(c.argument).key("bytes").value(static_cast<long long>(report.bytes));
            json.key("pid").value(static_cast<long long>(pid)).key("java").value(report.target.version.text);
            json.key("pause_ms");
            if (report.pauseKnown)
                json.numberText(fixed(report.pause.ms, 1));
            else
                json.null();
            json.key("seconds").numberText(fixed(report.totalMs / 1000, 3));
            json.key("vm_answer").value(report.vmAnswer).endObject();
            out << json.text();
        } else {
            out << "wrote " << c.argument << ": " << report.bytes << " bytes from process " << pid << " (Java "
                << report.target.version.text << "); " << pauseText(report) << "\n";
        }
        return 0;
    } catch (const CaptureError& e) {
        line.clear();
        err << "vorlan-cli: " << e.what() << "\n";
        return e.failure() == CaptureFailure::cancelled && interrupt.interrupted() ? 130 : 1;
    }
}
