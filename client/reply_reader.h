// Reading one reply of the agent from any byte source: the 32-byte length header, then
// the body in chunks of at most 1023 bytes. Kept apart from the socket so the same code
// can be driven by a test or a fuzzer.
#pragma once

#include <cstddef>
#include <functional>
#include <string>

#include "trace_log.h"

constexpr size_t kHeaderSize = 32;
constexpr size_t kChunkSize = 1023;  // most bytes taken by one body receive

// Fills buffer with up to size bytes; returns the count, 0 when the peer has closed, or
// a negative number on error, as recv does.
using Receive = std::function<long(char* buffer, size_t size)>;

// The announced body length. The header may arrive in pieces; a short or failed read
// keeps what came, and text that is not a decimal number converts to 0.
long readHeader(const Receive& receive);

// The header with how many of its bytes arrived, so that a connection closed before a
// reply is told from a reply with an empty body.
struct Header {
    long announced = 0;
    size_t received = 0;
    // All 32 bytes came and they are what the agent writes: decimal digits, then NULs.
    // Anything else is no Vorlan reply at all (another server on the port).
    bool wellFormed = false;
    std::string text;  // the bytes received, for saying what came instead
};
Header receiveHeader(const Receive& receive);

// The body, never read past the announced end: later bytes would belong to no reply.
// Stops early, with what has arrived, when the peer closes or a receive fails.
std::string readBody(const Receive& receive, long announced, const TraceLog& trace);

// One whole reply, header and body; complete only when a well-formed header and the
// whole announced body arrived. After a header that is not well formed nothing more is
// read.
struct ReceivedReply {
    Header header;
    std::string body;
    bool complete = false;
};
ReceivedReply readReply(const Receive& receive, const TraceLog& trace);
