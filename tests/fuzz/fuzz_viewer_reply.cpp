// The client's reading of one reply from an arbitrary byte stream cut into arbitrary
// receives, then the lines the tree would show.
#include <cstdint>
#include <cstring>
#include <string>

#include "reply_lines.h"
#include "reply_reader.h"
#include "signature_names.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size < 1) return 0;
    // The first byte shapes the receives: how many bytes each returns, and whether the
    // stream ends in a close or an error.
    uint32_t state = data[0] | 1u;
    const bool ends_in_error = data[0] & 0x80;
    std::string stream(reinterpret_cast<const char*>(data + 1), size - 1);
    size_t at = 0;
    Receive receive = [&](char* buffer, size_t want) -> long {
        if (at >= stream.size()) return ends_in_error ? -1 : 0;
        state = state * 1103515245u + 12345u;
        size_t n = 1 + (state >> 16) % 64;
        n = std::min({n, want, stream.size() - at});
        memcpy(buffer, stream.data() + at, n);
        at += n;
        return static_cast<long>(n);
    };
    static const TraceLog trace(1, [](std::string_view) {});
    long announced = readHeader(receive);
    if (announced <= 0) return 0;
    std::string body = readBody(receive, announced, trace);
    if (body.size() > static_cast<size_t>(announced)) __builtin_trap();
    ReplyLines lines(std::move(body));
    for (size_t i = 0; i < lines.size(); i++) {
        std::string_view line = lines[i];
        size_t blank = line.find(' ');
        if (blank == std::string_view::npos) break;
        convSignature(line.substr(blank + 1), TraceLog());
    }
    return 0;
}
