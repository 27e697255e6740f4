#include "agent_session.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>

#include <algorithm>
#include <cctype>
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

// Whether fd has something to read (or has been closed) before deadline.
bool readableBefore(int fd, std::chrono::steady_clock::time_point deadline)
{
    for (;;) {
        const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0)
            return false;
        pollfd wait{fd, POLLIN, 0};
        const int n = ::poll(&wait, 1, static_cast<int>(left.count()));
        if (n > 0)
            return true;
        if (n < 0 && errno != EINTR)
            return true;  // the receive itself will say what is wrong
    }
}

// Lines as the classic commands list objects: a hex handle, a blank, a signature, a blank.
bool isClassicListing(std::string_view body)
{
    while (!body.empty()) {
        const size_t end = body.find('\n');
        if (end == std::string_view::npos)
            return false;
        const std::string_view line = body.substr(0, end);
        const size_t blank = line.find(' ');
        if (blank == 0 || blank == std::string_view::npos || line.size() < blank + 3 || line.back() != ' ' ||
            line.find(' ', blank + 1) != line.size() - 1)
            return false;
        for (size_t i = 0; i < blank; ++i)
            if (!std::isxdigit(static_cast<unsigned char>(line[i])))
                return false;
        body.remove_prefix(end + 1);
    }
    return true;
}

// The start of what a server said, quoted for a message: printable ASCII, the rest blanks.
std::string excerpt(std::string_view bytes)
{
    constexpr size_t kMost = 40;
    std::string text;
    for (size_t i = 0; i < bytes.size() && i < kMost; ++i) {
        const char c = bytes[i];
        if (c == '\0')
            break;
        text += c >= 0x20 && c < 0x7F ? c : ' ';
    }
    if (text.empty())
        return "nothing readable";
    return "\"" + text + (bytes.size() > kMost ? "…\"" : "\"");
}

std::string secondsText(std::chrono::milliseconds ms)
{
    if (ms.count() % 1000 == 0)
        return std::to_string(ms.count() / 1000) + " s";
    return std::to_string(ms.count()) + " ms";
}

}  // namespace

AgentSession::AgentSession(int port, std::chrono::milliseconds connectTimeout, std::chrono::milliseconds greetTimeout)
    : port_(port), connectTimeout_(connectTimeout), greetTimeout_(greetTimeout)
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

ClientError AgentSession::sendAndReceive(const Request& request, ReceivedReply& received,
                                         std::chrono::milliseconds answerWithin, bool& timedOut)
{
    const int fd = socket_.get();
    const std::string line = encodeRequest(request);
    trace_("send ");
    trace_(line);
    timedOut = false;
    if (!sendAll(fd, line)) {
        drop();
        return failure(Failure::closed, "the agent on " + where() + " closed the connection");
    }
    const auto deadline = std::chrono::steady_clock::now() + answerWithin;
    received = readReply(
        [&](char* buffer, size_t size) -> long {
            if (answerWithin.count() > 0 && !readableBefore(fd, deadline)) {
                timedOut = true;
                return -1;
            }
            return receiveFrom(fd, buffer, size);
        },
        trace_);
    return {};
}

ClientError AgentSession::framedFrom(const Request& request, const ReceivedReply& received, FramedReply& reply)
{
    if (received.header.received == kHeaderSize && !received.header.wellFormed) {
        drop();  // the stream is no reply at all
        return failure(Failure::badReply, "the agent on " + where() + " sent no framed reply to " + request.name);
    }
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

ClientError AgentSession::exchange(const Request& request, FramedReply& reply)
{
    ReceivedReply received;
    bool timedOut = false;
    if (ClientError e = sendAndReceive(request, received, std::chrono::milliseconds(0), timedOut); e.failed())
        return e;
    return framedFrom(request, received, reply);
}

ClientError AgentSession::helloAnswer(const ReceivedReply& received, bool timedOut, FramedReply& reply)
{
    if (timedOut)
        return failure(Failure::noAnswer, "no answer to hello from " + where() + " within " +
                                              secondsText(greetTimeout_) +
                                              ": what listens there is not a Vorlan agent, or its program is "
                                              "stopped or busy with another client's request");
    if (received.header.received == 0)
        return failure(Failure::closed, where() + " closed the connection without answering hello: what listens "
                                                  "there is not a Vorlan agent, or an agent that serves only its "
                                                  "VM's user");
    if (received.header.wellFormed && received.complete && !readFramedReply(received.body, reply) &&
        isClassicListing(received.body))
        return failure(Failure::tooOld, "the agent on port " + std::to_string(static_cast<unsigned>(port_) & 0xFFFFu) +
                                            " is too old: it knows only the classic p/e/q commands");
    if (!received.header.wellFormed || (received.complete && !readFramedReply(received.body, reply)))
        return failure(Failure::notAgent, "what listens on " + where() +
                                              " is not a Vorlan agent: it answered hello with " +
                                              excerpt(received.header.wellFormed ? received.body
                                                                                 : received.header.text));
    return framedFrom(helloRequest(), received, reply);
}

ClientError AgentSession::greetIfNeeded()
{
    if (socket_.valid())
        return {};
    if (ClientError e = connectSocket(); e.failed())
        return e;
    ReceivedReply received;
    bool timedOut = false;
    FramedReply reply;
    ClientError e = sendAndReceive(helloRequest(), received, greetTimeout_, timedOut);
    if (!e.failed())
        e = helloAnswer(received, timedOut, reply);
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
