// How a person names a snapshot object: "s" and the object's number, "s1234". Live
// handles are bare lower-case hex ("1a2b"), and "s" is no hex digit, so the two never
// read alike; nothing in the form needs quoting in a shell. The number is the object's
// place in the dump, so the same dump always gives an object the same name. An object's
// address in the dump ("0x7f3a2c10", as other heap tools show it) names it too.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

class HeapIndex;

std::string snapshotId(uint32_t object);

struct ParsedId {
    uint32_t object = UINT32_MAX;
    std::string error;  // why the text names no object; empty when it does
};
ParsedId parseSnapshotId(std::string_view text, const HeapIndex& index);
