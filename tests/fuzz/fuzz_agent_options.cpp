// The agent's option string, as the VM passes it after "=".
#include <cstdint>
#include <cstdio>
#include <string>

#include "agent_options.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static FILE* sink = fopen("/dev/null", "w");
    std::string options(reinterpret_cast<const char*>(data), size);
    AgentSettings s;
    parse_options(options.c_str(), s, sink);  // stops at an embedded NUL, as the VM's C string would
    return 0;
}
