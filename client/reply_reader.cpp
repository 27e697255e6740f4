#include "reply_reader.h"

#include <algorithm>
#include <string_view>

#include "decimal_value.h"

Header receiveHeader(const Receive& receive)
{
    char header[kHeaderSize + 1] = {};
    size_t got = 0;
    while (got < kHeaderSize) {
        const long n = receive(header + got, kHeaderSize - got);
        if (n <= 0)
            break;
        got += static_cast<size_t>(n);
    }
    Header result;
    const size_t digits = std::char_traits<char>::length(header);
    result.announced = decimalValue(std::string_view(header, digits));
    result.received = got;
    result.text.assign(header, got);
    result.wellFormed = got == kHeaderSize && digits > 0 &&
                        std::all_of(header, header + digits, [](char c) { return c >= '0' && c <= '9'; }) &&
                        std::all_of(header + digits, header + kHeaderSize, [](char c) { return c == '\0'; });
    return result;
}

long readHeader(const Receive& receive)
{
    return receiveHeader(receive).announced;
}

std::string readBody(const Receive& receive, long announced, const TraceLog& trace)
{
    std::string body;
    long total = 0;
    trace("init: total=", total, "\r\n");
    char chunk[kChunkSize + 1];
    for (;;) {
        const size_t want = std::min<size_t>(kChunkSize, static_cast<size_t>(announced - total));
        const long n = receive(chunk, want);
        if (n < 0) {
            trace("SOCKET_ERROR\n");
            break;
        }
        total += n;
        trace("", total, " bytes received.\r\n");
        body.append(chunk, static_cast<size_t>(n));
        if (n == 0 || total >= announced)
            break;
        trace("next \n");
    }
    trace("", total, " bytes received.\r\n");
    return body;
}

ReceivedReply readReply(const Receive& receive, const TraceLog& trace)
{
    const Header header = receiveHeader(receive);
    trace("", header.announced, " bytes will be received.\r\n");
    ReceivedReply reply;
    reply.header = header;
    if (!header.wellFormed)
        return reply;  // no length to trust: reading on could wait for bytes that never come
    if (header.announced > 0)
        reply.body = readBody(receive, header.announced, trace);
    reply.complete = reply.body.size() == static_cast<size_t>(header.announced);
    return reply;
}
