#include "vm_flags.h"

#include <cstdlib>
#include <map>
#include <sstream>
#include <string>

#include <poll.h>

#include <cerrno>

#include "capture_cancel.h"
#include "capture_error.h"
#include "hotspot_attach.h"

namespace {

// "     bool UseCompressedOops    = true     {product lp64_product} {ergonomic}": the
// value of every flag, by name.
std::map<std::string, std::string> flagValues(std::string_view text)
{
    std::map<std::string, std::string> values;
    std::istringstream lines{std::string(text)};
    for (std::string line; std::getline(lines, line);) {
        std::istringstream words(line);
        std::string type, name, equals, value;
        if (words >> type >> name >> equals >> value && (equals == "=" || equals == ":="))
            values[name] = value;
    }
    return values;
}

}  // namespace

std::optional<VmLayout> layoutFromFlags(std::string_view flagsText, int javaFeature)
{
    const auto values = flagValues(flagsText);
    const auto flag = [&](const char* name) -> std::optional<std::string> {
        const auto found = values.find(name);
        return found == values.end() ? std::nullopt : std::optional<std::string>(found->second);
    };
    const auto oops = flag("UseCompressedOops");
    if (!oops)
        return std::nullopt;
    VmLayout layout;
    layout.compressedOops = *oops == "true";
    layout.compressedClassPointers = flag("UseCompressedClassPointers").value_or("true") == "true";
    layout.compactHeaders = flag("UseCompactObjectHeaders").value_or("false") == "true";
    layout.arraysAlignedByElement = javaFeature >= 22 || layout.compactHeaders;
    const long alignment = std::atol(flag("ObjectAlignmentInBytes").value_or("8").c_str());
    if (alignment < 8 || alignment > 256 || (alignment & (alignment - 1)) != 0)
        return std::nullopt;
    layout.objectAlignment = static_cast<uint32_t>(alignment);
    return layout;
}

std::optional<VmLayout> askVmLayout(long pid, int javaFeature, const CaptureCancel* cancel)
{
    AttachExchange exchange;
    if (!openAttachExchange(pid, "jcmd", {"VM.flags -all"}, exchange).ok() || !exchange.send().ok())
        return std::nullopt;
    while (!exchange.readAvailable()) {
        pollfd fds[2] = {{exchange.socket(), POLLIN, 0}, {cancel ? cancel->fd() : -1, POLLIN, 0}};
        if (::poll(fds, cancel ? 2 : 1, -1) < 0 && errno != EINTR)
            return std::nullopt;
        if (cancel && cancel->cancelled())
            throw CaptureError(CaptureFailure::cancelled, "the capture was cancelled");
    }
    const AttachResult answer = exchange.finish();
    if (!answer.ok())
        return std::nullopt;
    return layoutFromFlags(answer.reply.output, javaFeature);
}
