#include "object_ids.h"

#include <cctype>

#include "heap_index.h"
#include "hprof_error.h"

std::string snapshotId(uint32_t object)
{
    return "s" + std::to_string(object);
}

namespace {

bool allOf(std::string_view text, int (*test)(int))
{
    for (const char c : text) {
        if (!test(static_cast<unsigned char>(c)))
            return false;
    }
    return !text.empty();
}

}  // namespace

ParsedId parseSnapshotId(std::string_view text, const HeapIndex& index)
{
    while (!text.empty() && std::isspace(static_cast<unsigned char>(text.front())))
        text.remove_prefix(1);
    while (!text.empty() && std::isspace(static_cast<unsigned char>(text.back())))
        text.remove_suffix(1);
    ParsedId parsed;
    const uint32_t objects = index.graph.objects;
    const std::string range = objects == 0 ? "the snapshot has no objects"
                                           : "the snapshot's objects are s0 to " + snapshotId(objects - 1);
    if (text.size() > 1 && (text[0] == 's' || text[0] == 'S') && allOf(text.substr(1), isdigit)) {
        const std::string digits(text.substr(1));
        if (digits.size() > 10 || std::stoull(digits) >= objects) {
            parsed.error = std::string(text) + " names no object: " + range;
            return parsed;
        }
        parsed.object = static_cast<uint32_t>(std::stoull(digits));
        return parsed;
    }
    if (text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X') && text.size() <= 18 &&
        allOf(text.substr(2), isxdigit)) {
        const uint64_t address = std::stoull(std::string(text.substr(2)), nullptr, 16);
        parsed.object = index.objectAt(address);
        if (parsed.object == kNoObject)
            parsed.error = "no object of the snapshot is at " + hexText(address);
        return parsed;
    }
    if (allOf(text, isxdigit))
        parsed.error = std::string(text) + " is a live handle; a snapshot names its objects s1234 (or by address, 0x7f3a2c10)";
    else
        parsed.error = "\"" + std::string(text) + "\" names no snapshot object: they are named s1234, or by address, 0x7f3a2c10";
    return parsed;
}
