#include "hprof_error.h"

namespace {

std::string message(uint64_t offset, const std::string& what, const std::string& detail)
{
    std::string text = what + " at byte " + std::to_string(offset);
    if (!detail.empty())
        text += ": " + detail;
    return text;
}

}  // namespace

HprofError::HprofError(uint64_t offset, const std::string& what, const std::string& detail)
    : std::runtime_error(message(offset, what, detail)), offset_(offset)
{
}
