// Arbitrary bytes, cut into arbitrary receives, through one connection's decoder and
// the framed request parser; every reply field escaped must come out plain ASCII.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "connection_input.h"
#include "records.h"
#include "request_frame.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    ConnectionInput in;
    size_t at = 0;
    while (at < size && !in.finished()) {
        // The first byte of each piece says how long the piece is.
        size_t len = 1 + data[at] % 48;
        at++;
        len = std::min(len, size - at);
        in.take(reinterpret_cast<const char*>(data + at), static_cast<long>(len));
        at += len;
        if (in.undecided() && at % 2) in.decide_now();
        while (auto e = in.next()) {
            if (e->kind == Exchange::Classic && e->command.text[MSG_SIZE] != '\0') abort();
            if (e->kind != Exchange::Framed) continue;
            FramedRequest req;
            std::string why;
            if (!decode_request_line(e->line, req, why)) continue;
            RequestArgs args(req, req.args.empty() ? 0 : 1, {"limit", "offset", "weak"});
            args.number("limit", 0, 0, 100000);
            args.flag("weak", false);
            parse_framed_handle(args.positional());
            std::string escaped;
            escape_text(escaped, e->line);
            for (char c : escaped)
                if (c == '\t' || c == '\n' || static_cast<unsigned char>(c) >= 0x80) abort();
        }
    }
    in.take(nullptr, 0);
    while (in.next()) {
    }
    return 0;
}
