// One exchange as the command server receives it: a command message and, after a bare
// "e", a handle message, each one receive of at most 32 bytes into a zeroed buffer.
#include <cstdint>
#include <cstdio>
#include <cstring>

#include "agent_log.h"
#include "protocol.h"

static Message receive(const uint8_t*& data, size_t& size)
{
    // The first byte says how long the message is, as a receive count would.
    Message m;
    if (size == 0) return m;
    size_t want = data[0] % (MSG_SIZE + 1);
    data++;
    size--;
    size_t n = want < size ? want : size;
    memcpy(m.text, data, n);
    m.count = static_cast<long>(n);
    data += n;
    size -= n;
    return m;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static FILE* sink = fopen("/dev/null", "w");
    trace_stream = sink;
    settings.debug = 1;  // exercise the trace formatting of every message too

    Message command = receive(data, size);
    trace("%ld, %s\n", command.count, command.text);
    Message handle;
    bool has_handle = awaits_handle(command);
    if (has_handle) {
        handle = receive(data, size);
        trace("%ld, %s\n", handle.count, handle.text);
        trace("adr=%x\n", static_cast<unsigned>(parse_handle(handle.text)));
    }
    Request r = decide_request(command, has_handle ? &handle : nullptr);
    if (command.text[MSG_SIZE] != '\0' || handle.text[MSG_SIZE] != '\0') __builtin_trap();
    if (r.action != Action::Listing && r.handle != 0) __builtin_trap();
    auto header = format_header(static_cast<size_t>(r.handle < 0 ? -(int64_t)r.handle : r.handle));
    if (header.back() != '\0') __builtin_trap();
    return 0;
}
