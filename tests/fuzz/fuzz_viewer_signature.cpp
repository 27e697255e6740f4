// convSignature on arbitrary text, with its trace on.
#include <cstdint>
#include <string>

#include "signature_names.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static const TraceLog trace(1, [](std::string_view) {});
    std::string_view text(reinterpret_cast<const char*>(data), size);
    std::string caption = convSignature(text, trace);
    if (caption.size() > 2 * text.size() + 8) __builtin_trap();  // each "[" adds two characters
    return 0;
}
