// What the client reads of other processes' files from arbitrary bytes: a VM's
// performance data, an agent's port file, /proc's status and stat texts. Whatever they
// hold, nothing is read out of bounds and what is read back stays in range.
#include <cstdint>
#include <string>
#include <string_view>

#include "agent_port_file.h"
#include "perf_data.h"
#include "process_info.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    if (const auto perf = parsePerfData(bytes)) {
        for (const auto& [name, text] : perf->strings)
            if (name.size() > size || text.size() > size) __builtin_trap();
    }
    const std::string text(bytes);
    int port = 0;
    unsigned long long start = 0;
    if (parsePortFileText(text, port, start) && (port < 1 || port > 65535)) __builtin_trap();
    ProcessInfo info;
    readStatusText(text, 1, info);
    startTicksOfStat(text);
    return 0;
}
