#include "agent_session.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "reply_reader.h"
#include "socket_io.h"

namespace {

// How often a connect in progress looks whether abort() was called.
constexpr std::chrono::milliseconds kAbortPoll{50};

template <typename View>
Result<View> typed(const Result<FramedReply>& reply, View (*build)(const FramedReply&))
{
    Result<View> result;
    result.error = reply.error;
    if (reply.ok())
        result.value = build(reply.value);
    return result;
}

}  // namespace

AgentSession::AgentSession(int port, std::chrono::milliseconds connectTimeout)
    : port_(port), connectTimeout_(connectTimeout)
{
}

ClientError AgentSession::failure(Failure kind, std::string message) const
{
    return {kind, {}, std::move(message)};
}

std::string AgentSession::where() const
{
    return "127.0.0.1:" + std::to_string(static_cast<unsigned>(port_) & 0xFFFFu);
}

void AgentSession::replaceSocket(SocketFd socket)
{
    std::lock_guard<std::mutex> lock(abortMutex_);
    socket_ = std::move(socket);
}

void AgentSession::drop()
{
    replaceSocket(SocketFd());
    hello_ = Hello{};
}

ClientError AgentSession::connectSocket()
{
    SocketFd socket(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0));
    if (!socket.valid())
        return failure(Failure::unreachable, std::string("cannot open a socket: ") + std::strerror(errno));
    // A request line leaves at once instead of waiting for more to send.
    const int one = 1;
    ::setsockopt(socket.get(), IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);

    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(static_cast<uint16_t>(static_cast<unsigned>(port_) & 0xFFFFu));
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    const bool pending =
        ::connect(socket.get(), reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0;
    if (pending && errno != EINPROGRESS)
        return failure(Failure::unreachable, "cannot reach the agent on " + where() + ": " + std::strerror(errno));
    const int fd = socket.get();
    replaceSocket(std::move(socket));  // from here on abort() can shut it down

    if (pending) {
        const auto deadline = std::chrono::steady_clock::now() + connectTimeout_;
        for (;;) {
            if (aborted_)
                return failure(Failure::aborted, "the request was aborted");
            const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                deadline - std::chrono::steady_clock::now());
            if (left.count() <= 0) {
                drop();
                return failure(Failure::unreachable, "no answer from the agent on " + where() + " within " +
                                                         std::to_string(connectTimeout_.count()) + " ms");
            }
            pollfd wait{fd, POLLOUT, 0};
            const int n = ::poll(&wait, 1, static_cast<int>(std::min(left, kAbortPoll).count()));
            if (n > 0)
                break;
            if (n < 0 && errno != EINTR) {
                drop();
                return failure(Failure::unreachable, std::string("poll: ") + std::strerror(errno));
            }
        }
        int error = 0;
        socklen_t size = sizeof error;
        ::getsockopt(fd, SOL_SOCKET, SO_ERROR, &error, &size);
        if (error != 0) {
            drop();
            return failure(Failure::unreachable, "cannot reach the agent on " + where() + ": " + std::strerror(error));
        }
    }
    ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
    return {};
}

ClientError AgentSession::exchange(const Request& request, FramedReply& reply)
{
    const int fd = socket_.get();
    const std::string line = encodeRequest(request);
    trace_("send ");
    trace_(line);
    if (!sendAll(fd, line)) {
        drop();
        return failure(Failure::closed, "the agent on " + where() + " closed the connection");
    }
    const ReceivedReply received =
        readReply([fd](char* buffer, size_t size) { return receiveFrom(fd, buffer, size); }, trace_);
    if (!received.complete) {
        drop();
        return failure(Failure::closed,
                       "the agent on " + where() + " went away before its reply to " + request.name + " was complete");
    }
    if (!readFramedReply(received.body, reply)) {
        drop();  // the stream may be out of step
        return failure(Failure::badReply, "the agent on " + where() + " sent no framed reply to " + request.name);
    }
    if (reply.status.verb != request.name && reply.status.verb != "-") {
        drop();
        return failure(Failure::badReply, "the agent on " + where() + " answered " + request.name +
                                              " with a reply to " + reply.status.verb);
    }
    if (reply.status.ok)
        return {};
    if (reply.status.code == "too-long")
        drop();  // the agent closes the connection after this reply
    return {Failure::agentError, reply.status.code,
            reply.status.message.empty() ? reply.status.code : reply.status.message};
}

ClientError AgentSession::greetIfNeeded()
{
    if (socket_.valid())
        return {};
    if (ClientError e = connectSocket(); e.failed())
        return e;
    FramedReply reply;
    ClientError e = exchange(helloRequest(), reply);
    if (e.failure == Failure::badReply) {
        drop();
        return failure(Failure::tooOld, "the agent on port " + std::to_string(static_cast<unsigned>(port_) & 0xFFFFu) +
                                            " is too old: it knows only the classic p/e/q commands");
    }
    if (e.failed()) {
        drop();
        return e;
    }
    hello_ = helloFrom(reply);
    return {};
}

void AgentSession::begin()
{
    std::lock_guard<std::mutex> lock(abortMutex_);
    inProgress_ = true;
    aborted_ = false;
    if (dropRequested_) {
        dropRequested_ = false;
        socket_.reset();
        hello_ = Hello{};
    }
}

ClientError AgentSession::finish(ClientError outcome)
{
    std::lock_guard<std::mutex> lock(abortMutex_);
    inProgress_ = false;
    if (!aborted_)
        return outcome;
    aborted_ = false;
    socket_.reset();
    hello_ = Hello{};
    return failure(Failure::aborted, "the request was aborted");
}

ClientError AgentSession::open()
{
    begin();
    return finish(greetIfNeeded());
}

Result<FramedReply> AgentSession::request(const Request& request)
{
    begin();
    Result<FramedReply> result;
    ClientError e = greetIfNeeded();
    if (!e.failed())
        e = exchange(request, result.value);
    result.error = finish(std::move(e));
    return result;
}

Result<RootsPage> AgentSession::roots(const RootsQuery& query)
{
    return typed(request(toRequest(query)), rootsFrom);
}

Result<ObjectView> AgentSession::object(const ObjectQuery& query)
{
    return typed(request(toRequest(query)), objectFrom);
}

Result<std::vector<ObjectView>> AgentSession::objects(const ObjectsQuery& query)
{
    return typed(request(toRequest(query)), objectsFrom);
}

Result<std::vector<ObjectRef>> AgentSession::classObjects(const ClassQuery& query)
{
    return typed(request(toRequest(query)), classObjectsFrom);
}

bool AgentSession::serves(const std::string& requestName) const
{
    for (const RequestInfo& r : hello_.requests)
        if (r.name == requestName)
            return true;
    return false;
}

Result<Histogram> AgentSession::histo(const HistoQuery& query)
{
    return typed(request(toRequest(query)), histogramFrom);
}

Result<InstancesPage> AgentSession::instances(const InstancesQuery& query)
{
    return typed(request(toRequest(query)), instancesFrom);
}

Result<Referrers> AgentSession::referrers(const ReferrersQuery& query)
{
    return typed(request(toRequest(query)), referrersFrom);
}

Result<PathReply> AgentSession::path(const PathQuery& query)
{
    return typed(request(toRequest(query)), pathFrom);
}

Result<FollowReply> AgentSession::follow(const FollowQuery& query)
{
    return typed(request(toRequest(query)), followFrom);
}

void AgentSession::abort()
{
    std::lock_guard<std::mutex> lock(abortMutex_);
    if (inProgress_)
        aborted_ = true;
    else
        dropRequested_ = true;
    if (socket_.valid())
        ::shutdown(socket_.get(), SHUT_RDWR);  // wakes a blocked send or recv
}

void AgentSession::close()
{
    drop();
}
