// The client's reading of a framed reply body from arbitrary bytes: records, status,
// every typed view and type name; the argument escapes round trip, and what --json
// makes of any field is valid UTF-8 without raw control characters.
#include <cstdint>
#include <string>

#include "json_writer.h"
#include "records.h"
#include "reply_views.h"
#include "type_names.h"
#include "wire_text.h"

namespace {

// A JSON string literal of valid UTF-8 (shortest forms, no surrogates) without raw
// control characters.
bool cleanJsonText(const std::string& s)
{
    if (s.size() < 2 || s.front() != '"' || s.back() != '"') return false;
    for (size_t i = 0; i < s.size();) {
        const auto lead = static_cast<unsigned char>(s[i]);
        if (lead < 0x20) return false;
        const size_t length = lead < 0x80 ? 1 : lead >= 0xC2 && lead <= 0xDF ? 2 : lead >= 0xE0 && lead <= 0xEF ? 3
                                          : lead >= 0xF0 && lead <= 0xF4 ? 4 : 0;
        if (length == 0 || i + length > s.size()) return false;
        uint32_t cp = length == 1 ? lead : lead & (0x7F >> length);
        for (size_t k = 1; k < length; ++k) {
            const auto c = static_cast<unsigned char>(s[i + k]);
            if ((c & 0xC0) != 0x80) return false;
            cp = (cp << 6) | (c & 0x3F);
        }
        const uint32_t least[] = {0, 0, 0x80, 0x800, 0x10000};
        if (cp < least[length] || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) return false;
        i += length;
    }
    return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const std::string bytes(reinterpret_cast<const char*>(data), size);
    if (unescapeField(escapeArgument(bytes)) != bytes) __builtin_trap();

    FramedReply reply;
    if (!readFramedReply(bytes, reply)) return 0;
    helloFrom(reply);
    const ObjectView object = objectFrom(reply);
    histogramFrom(reply);
    instancesFrom(reply);
    referrersFrom(reply);
    pathFrom(reply);
    prettyTypeName(object.object.type);
    for (const Record& r : reply.records)
        for (const std::string& field : r.fields)
            if (!cleanJsonText(jsonString(field))) __builtin_trap();
    return 0;
}
