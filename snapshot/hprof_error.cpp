#include "hprof_error.h"

#include <cstdio>

namespace {

std::string message(uint64_t offset, const std::string& what, const std::string& detail)
{
    std::string text = what + " at byte " + std::to_string(offset);
    if (!detail.empty())
        text += ": " + detail;
    return text;
}

}  // namespace

std::string hexText(uint64_t value)
{
    char text[24];
    std::snprintf(text, sizeof text, "0x%llx", static_cast<unsigned long long>(value));
    return text;
}

HprofError::HprofError(uint64_t offset, const std::string& what, const std::string& detail)
    : std::runtime_error(message(offset, what, detail)), offset_(offset)
{
}
