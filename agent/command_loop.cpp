#include "command_loop.h"

#include <poll.h>
#include <sys/socket.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "agent_state.h"
#include "attached_thread.h"
#include "classic_commands.h"
#include "client_gate.h"
#include "connection_input.h"
#include "process_exit.h"
#include "records.h"
#include "reply_sender.h"
#include "request_table.h"

namespace {

using Clock = std::chrono::steady_clock;

// How long a receive holding only the first bytes of the frame magic waits for the rest.
constexpr auto PREFIX_WAIT = std::chrono::milliseconds(200);

struct Connection {
    explicit Connection(SocketFd s) : fd(std::move(s)) {}
    SocketFd fd;
    ConnectionInput input;
    std::optional<Exchange> queued;  // decided, not yet served
    Clock::time_point undecided_since;
    bool dropped = false;
};

class CommandLoop {
public:
    CommandLoop(Agent& agent, SocketFd listener)
        : agent_(agent), listener_(std::move(listener)), gate_(agent.settings.port)
    {
    }
    void run();

private:
    void receive(Connection& c);
    void serve(Connection& c, const Exchange& e);
    int poll_timeout_ms() const;

    Agent& agent_;
    SocketFd listener_;
    ClientGate gate_;
    std::vector<std::unique_ptr<Connection>> conns_;
};

void CommandLoop::receive(Connection& c)
{
    const size_t size = c.input.receive_size();
    const bool classic = size == MSG_SIZE;
    std::vector<char> buf(size + 1, '\0');
    ssize_t n;
    do {
        n = recv(c.fd.get(), buf.data(), size, 0);
    } while (n < 0 && errno == EINTR);
    if (classic) trace("%ld, %s\n", static_cast<long>(n), buf.data());
    const bool was_undecided = c.input.undecided();
    c.input.take(buf.data(), static_cast<long>(n));
    if (c.input.undecided() && !was_undecided) c.undecided_since = Clock::now();
}

void CommandLoop::serve(Connection& c, const Exchange& e)
{
    switch (e.kind) {
    case Exchange::Classic: {
        ClassicOutcome outcome = serve_classic(agent_, c.fd, e);
        if (outcome == ClassicOutcome::Quit) {
            conns_.clear();
            listener_.reset();
            trace("server end\n");
            end_process(agent_);
        }
        if (outcome == ClassicOutcome::Dropped || e.last) c.dropped = true;
        return;
    }
    case Exchange::Framed: {
        std::string body;
        {
            AttachedThread attached(agent_.vm);
            body = serve_framed(agent_, attached.jni(), e.line);
        }
        if (!send_body(c.fd, body) || e.last) c.dropped = true;
        return;
    }
    case Exchange::FrameError:
        if (!send_body(c.fd, error_body("-", e.error_code, e.error_message)) || e.last) c.dropped = true;
        return;
    case Exchange::Drop:
        c.dropped = true;
        return;
    }
}

int CommandLoop::poll_timeout_ms() const
{
    int timeout = -1;
    for (const auto& c : conns_) {
        if (c->queued) return 0;
        if (c->input.undecided()) {
            auto left = std::chrono::duration_cast<std::chrono::milliseconds>(c->undecided_since + PREFIX_WAIT -
                                                                              Clock::now());
            int ms = left.count() < 0 ? 0 : static_cast<int>(left.count()) + 1;
            if (timeout < 0 || ms < timeout) timeout = ms;
        }
    }
    return timeout;
}

void CommandLoop::run()
{
    while (listener_) {
        std::vector<pollfd> fds;
        fds.push_back({listener_.get(), POLLIN, 0});
        for (const auto& c : conns_) fds.push_back({c->fd.get(), static_cast<short>(c->queued ? 0 : POLLIN), 0});
        int ready = poll(fds.data(), fds.size(), poll_timeout_ms());
        if (ready < 0 && errno != EINTR) {
            fprintf(stderr, "vorlanagt: poll failed: %s; the command server stops\n", strerror(errno));
            return;
        }
        const size_t polled = conns_.size();
        // Each connection gets at most one exchange per round, so a client that sends
        // many requests at once cannot starve the others.
        for (size_t i = 0; i < polled; i++) {
            Connection& c = *conns_[i];
            if (ready > 0 && (fds[i + 1].revents & (POLLIN | POLLHUP | POLLERR)) && !c.queued && !c.input.finished())
                receive(c);
            if (c.input.undecided() && Clock::now() - c.undecided_since >= PREFIX_WAIT) c.input.decide_now();
            if (!c.queued) c.queued = c.input.next();
            if (c.queued) {
                Exchange e = std::move(*c.queued);
                c.queued.reset();
                serve(c, e);
                if (!c.dropped) c.queued = c.input.next();
            }
            if (c.input.finished() && !c.queued) c.dropped = true;
        }
        for (size_t i = 0; i < conns_.size();) {
            if (conns_[i]->dropped) conns_.erase(conns_.begin() + static_cast<long>(i));
            else i++;
        }
        if (ready > 0 && (fds[0].revents & POLLIN))
            if (SocketFd client = gate_.accept_from(listener_, conns_.size()))
                conns_.push_back(std::make_unique<Connection>(std::move(client)));
    }
}

}  // namespace

void run_command_loop(Agent& agent, SocketFd listener) { CommandLoop(agent, std::move(listener)).run(); }
