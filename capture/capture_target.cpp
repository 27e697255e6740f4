#include "capture_target.h"

#include <cstdlib>

#include "capture_error.h"
#include "hotspot_attach.h"
#include "local_jvms.h"

namespace {

// Reads a decimal number at text[at...]; false when there is none.
bool number(std::string_view text, size_t& at, int& value)
{
    const size_t start = at;
    long long n = 0;
    while (at < text.size() && text[at] >= '0' && text[at] <= '9' && at - start < 9)
        n = n * 10 + (text[at++] - '0');
    value = static_cast<int>(n);
    return at > start;
}

std::string describeProcess(const LocalJvm& jvm)
{
    std::string name = jvm.mainClass;
    if (name.empty() && !jvm.process.commandLine.empty()) {
        name = jvm.process.commandLine[0];
        name = name.substr(name.rfind('/') + 1);
    }
    return std::to_string(jvm.process.pid) + (name.empty() ? "" : " (" + name + ")");
}

[[noreturn]] void notPossible(const std::string& why)
{
    throw CaptureError(CaptureFailure::notPossible, why);
}

}  // namespace

std::optional<JavaVersion> parseJavaVersion(std::string_view text)
{
    JavaVersion version;
    version.text = std::string(text);
    size_t at = 0;
    int first = 0;
    if (!number(text, at, first))
        return std::nullopt;
    int* rest[] = {&version.interim, &version.update};
    if (first == 1) {
        // 1.8.0_292: the feature release is the second number.
        if (at >= text.size() || text[at] != '.' || !number(text, ++at, version.feature))
            return std::nullopt;
        return version;
    }
    version.feature = first;
    for (int* part : rest) {
        if (at >= text.size() || text[at] != '.')
            break;
        if (!number(text, ++at, *part))
            return std::nullopt;
    }
    return version;
}

std::optional<JavaVersion> javaVersionOfVmVersion(std::string_view output)
{
    const std::string_view prefix = "JDK ";
    size_t line = 0;
    while (line < output.size()) {
        const size_t end = std::min(output.find('\n', line), output.size());
        const std::string_view text = output.substr(line, end - line);
        if (text.substr(0, prefix.size()) == prefix)
            return parseJavaVersion(text.substr(prefix.size()));
        line = end + 1;
    }
    return std::nullopt;
}

bool dumpsIntoPipes(const JavaVersion& v)
{
    if (v.feature != 17)
        return v.feature > 17;
    return v.interim > 0 || v.update >= 1;
}

CaptureTarget checkCaptureTarget(long pid)
{
    const auto jvm = describeLocalJvm(pid);
    if (!jvm)
        notPossible("no process with id " + std::to_string(pid));
    CaptureTarget target;
    target.pid = pid;
    target.name = describeProcess(*jvm);
    if (!jvm->ours)
        notPossible("process " + target.name + " belongs to user " + jvm->user +
                    ", and only a VM's own user may capture its heap (its attach mechanism serves no one else): "
                    "run this as " + jvm->user);
    if (jvm->process.state == 'T' || jvm->process.state == 't')
        notPossible("process " + target.name + " is stopped, so it cannot write its heap: continue it first (kill -CONT " +
                    std::to_string(pid) + ")");
    if (jvm->attachDisabled)
        notPossible("process " + target.name +
                    " was started with -XX:+DisableAttachMechanism, so its heap dump cannot be asked for while it "
                    "runs; start it without that flag");
    if (!jvm->perfDataRead && !jvm->process.catchesQuit)
        notPossible("process " + target.name + " is not a HotSpot Java VM, so it has no heap dumper to ask");

    std::optional<JavaVersion> version;
    if (jvm->perfDataRead) {
        target.perfData = true;
        if (const auto perf = readVmPerfData(pid))
            version = parseJavaVersion(perf->text("java.property.java.version"));
    }
    if (!version) {
        // Started with -XX:-UsePerfData: the VM says its version through the attach mechanism.
        const AttachResult answer = runDiagnosticCommand(pid, "VM.version");
        if (!answer.ok())
            notPossible(answer.message);
        version = javaVersionOfVmVersion(answer.reply.output);
        if (!version)
            notPossible("process " + target.name + " did not say which Java release it runs");
    }
    target.version = *version;
    if (!dumpsIntoPipes(target.version))
        notPossible("process " + target.name + " runs Java " + target.version.text +
                    ", whose heap dumper cannot write into a pipe (GC.heap_dump -overwrite came with Java 17.0.1); "
                    "write a dump file with jcmd " + std::to_string(pid) +
                    " GC.heap_dump FILE and open it with --hprof FILE");
    return target;
}
