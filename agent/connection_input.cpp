#include "connection_input.h"

#include <algorithm>
#include <cstring>

#include "records.h"
#include "request_frame.h"

namespace {

Message message_of(const std::string& bytes, size_t n)
{
    Message m;
    n = std::min(n, MSG_SIZE);
    memcpy(m.text, bytes.data(), n);
    m.count = static_cast<long>(n);
    return m;
}

}  // namespace

Exchange ConnectionInput::finish(Exchange e)
{
    if (e.last || e.kind == Exchange::Drop) finished_ = true;
    return e;
}

void ConnectionInput::take(const char* data, long count)
{
    if (count < 0) {
        failed_ = true;
        return;
    }
    if (count == 0) {
        closed_ = true;
        return;
    }
    if (!in_frame_ && !undecided_ && pending_.empty()) {
        // An idle connection: this receive is one classic message, unless it opens a frame.
        std::string bytes(data, static_cast<size_t>(count));
        if (awaiting_handle_ || frame_start(bytes) == FrameStart::Classic) {
            ready_ = message_of(bytes, bytes.size());
            return;
        }
        pending_ = std::move(bytes);
    } else {
        pending_.append(data, static_cast<size_t>(count));
    }
    FrameStart s = frame_start(pending_);
    undecided_ = s == FrameStart::Undecided;
    in_frame_ = s == FrameStart::Framed;
    if (s == FrameStart::Classic) {
        // What began as a split magic is not one after all: one classic message, as if
        // its bytes had come together.
        ready_ = message_of(pending_, pending_.size());
        pending_.erase(0, std::min(pending_.size(), MSG_SIZE));
    }
}

void ConnectionInput::decide_now()
{
    if (!undecided_) return;
    undecided_ = false;
    ready_ = message_of(pending_, pending_.size());
    pending_.clear();
}

std::optional<Exchange> ConnectionInput::classic(const Message& m)
{
    Exchange e;
    if (awaiting_handle_) {
        awaiting_handle_ = false;
        e.command = e_command_;
        e.handle_msg = m;
        e.has_handle = true;
        // A zero-byte receive means the peer has closed: after its reply, nothing more.
        e.last = m.count == 0;
        return finish(e);
    }
    if (awaits_handle(m)) {
        awaiting_handle_ = true;
        e_command_ = m;
        return std::nullopt;
    }
    e.command = m;
    e.last = m.count == 0;
    return finish(e);
}

// The next message held in pending_ after a frame: another frame, or classic bytes.
std::optional<Exchange> ConnectionInput::from_pending()
{
    if (!in_frame_) return std::nullopt;
    FrameScan scan = scan_frame(pending_);
    if (scan.status == FrameScan::Incomplete) return std::nullopt;
    Exchange e;
    if (scan.status == FrameScan::TooLong) {
        e.kind = Exchange::FrameError;
        e.error_code = err::TOO_LONG;
        e.error_message = "the request line is longer than " + std::to_string(MAX_REQUEST_LINE) + " bytes";
        e.last = true;
        pending_.clear();
        in_frame_ = false;
        return finish(e);
    }
    e.kind = Exchange::Framed;
    e.line = pending_.substr(FRAME_MAGIC.size(), scan.consumed - FRAME_MAGIC.size() - 1);
    pending_.erase(0, scan.consumed);
    FrameStart s = frame_start(pending_);
    in_frame_ = !pending_.empty() && s == FrameStart::Framed;
    undecided_ = !pending_.empty() && s == FrameStart::Undecided;
    if (!pending_.empty() && s == FrameStart::Classic) {
        ready_ = message_of(pending_, pending_.size());
        pending_.erase(0, std::min(pending_.size(), MSG_SIZE));
    }
    return finish(e);
}

std::optional<Exchange> ConnectionInput::next()
{
    if (finished_) return std::nullopt;
    if (auto e = from_pending()) return e;
    if (ready_) {
        Message m = *ready_;
        ready_.reset();
        return classic(m);
    }
    if (failed_) {
        Exchange e;
        e.kind = Exchange::Drop;
        return finish(e);
    }
    if (closed_) {
        if (in_frame_ || undecided_) {
            if (undecided_) {
                // A prefix of the magic and then the end: a classic message after all.
                decide_now();
                return next();
            }
            Exchange e;
            e.kind = Exchange::FrameError;
            e.error_code = err::FRAMING;
            e.error_message = "the connection closed before the request's line feed";
            e.last = true;
            pending_.clear();
            in_frame_ = false;
            return finish(e);
        }
        // The classic zero-byte receive: an unrecognised command, answered, then the end.
        Message empty;
        empty.count = 0;
        return classic(empty);
    }
    return std::nullopt;
}
