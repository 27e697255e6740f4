// What the bytes arriving on one connection ask for, one exchange at a time: classic
// messages (one receive each) and framed requests (any number of receives, possibly
// several in one). Pure: the server feeds it receive results; tests and the fuzzer too.
#pragma once

#include <cstddef>
#include <optional>
#include <string>

#include "protocol.h"

struct Exchange {
    enum Kind {
        Classic,     // command (and, after a bare "e", its handle message)
        Framed,      // line: the request line between the magic and the line feed
        FrameError,  // a framed request that cannot be read; error_code and message say why
        Drop,        // nothing to answer: the connection has failed
    } kind = Classic;
    Message command;
    Message handle_msg;
    bool has_handle = false;
    std::string line;
    const char* error_code = nullptr;
    std::string error_message;
    // No further exchange can come on this connection once this one is answered.
    bool last = false;
};

class ConnectionInput {
public:
    // Receives larger than a classic message are only made inside a frame.
    static constexpr size_t FRAME_RECEIVE = 64 * 1024;

    // How many bytes the next receive may take.
    size_t receive_size() const { return in_frame_ ? FRAME_RECEIVE : MSG_SIZE; }
    // Takes one receive's result: count bytes of data, 0 when the peer has closed, or a
    // negative count for a failed receive.
    void take(const char* data, long count);

    // The next exchange the bytes so far make, if any.
    std::optional<Exchange> next();

    // True while the bytes held are a strict prefix of the frame magic: the caller waits
    // a short while for more, then calls decide_now().
    bool undecided() const { return undecided_; }
    // Decides held bytes that are still a prefix of the magic as one classic message.
    void decide_now();

    // True once an exchange marked last, or a Drop, has been handed out.
    bool finished() const { return finished_; }

private:
    std::optional<Exchange> classic(const Message& m);
    std::optional<Exchange> from_pending();
    Exchange finish(Exchange e);

    std::string pending_;        // bytes received and not yet decided
    bool in_frame_ = false;      // pending_ starts with the magic
    bool undecided_ = false;     // pending_ is a strict prefix of the magic
    bool awaiting_handle_ = false;
    Message e_command_;          // the bare "e" that waits for its handle message
    std::optional<Message> ready_;  // a classic message taken from pending_
    bool closed_ = false, failed_ = false, finished_ = false;
};
