// A connection to the agent that speaks the framed requests: connects to 127.0.0.1:port
// with a time-out, says hello first and keeps the answer, then sends one request at a
// time and returns its typed reply or why there is none. Hello has a time-out of its own
// and tells an agent too old for framed requests from a server that is no agent at all.
// Blocking: a window runs it off its GUI thread and may abort() a request in progress
// from another thread.
#pragma once

#include <atomic>
#include <chrono>
#include <mutex>
#include <string_view>
#include <vector>

#include "client_error.h"
#include "queries.h"
#include "records.h"
#include "reply_reader.h"
#include "reply_views.h"
#include "socket_fd.h"
#include "trace_log.h"

class AgentSession {
public:
    // greetTimeout bounds the wait for hello's answer only: later requests may take as
    // long as their heap walks do.
    explicit AgentSession(int port, std::chrono::milliseconds connectTimeout = std::chrono::seconds(5),
                          std::chrono::milliseconds greetTimeout = std::chrono::seconds(5));
    AgentSession(const AgentSession&) = delete;
    AgentSession& operator=(const AgentSession&) = delete;

    int port() const { return port_; }
    void setTrace(TraceLog trace) { trace_ = std::move(trace); }

    // Connects and says hello. Every request does this first when not connected, so a
    // caller needs it only to learn early whether the agent is there and new enough.
    ClientError open();
    bool isOpen() const { return socket_.valid(); }
    // What the agent said to hello on the current connection.
    const Hello& hello() const { return hello_; }
    // Whether the agent's hello listed the request (call after open()).
    bool serves(const std::string& requestName) const;

    // Any framed request, its reply as records.
    Result<FramedReply> request(const Request& request);

    Result<RootsPage> roots(const RootsQuery& query);
    Result<ObjectView> object(const ObjectQuery& query);
    Result<std::vector<ObjectView>> objects(const ObjectsQuery& query);
    Result<std::vector<ObjectRef>> classObjects(const ClassQuery& query);
    Result<Histogram> histo(const HistoQuery& query);
    Result<InstancesPage> instances(const InstancesQuery& query);
    Result<Referrers> referrers(const ReferrersQuery& query);
    Result<PathReply> path(const PathQuery& query);
    Result<FollowReply> follow(const FollowQuery& query);

    // Safe from any thread: the request in progress fails at once as aborted, and its
    // connection is dropped. With none in progress only the connection is dropped.
    // Either way the next request connects afresh.
    void abort();
    void close();

private:
    ClientError connectSocket();
    ClientError greetIfNeeded();
    ClientError exchange(const Request& request, FramedReply& reply);
    // Sends the request and reads one reply; with a deadline, a reply whose header has
    // not come by then sets timedOut.
    ClientError sendAndReceive(const Request& request, ReceivedReply& received,
                               std::chrono::milliseconds answerWithin, bool& timedOut);
    ClientError framedFrom(const Request& request, const ReceivedReply& received, FramedReply& reply);
    // Hello's answer read: a framed reply, an agent of the classic commands only,
    // something else on the port, or nothing in time.
    ClientError helloAnswer(const ReceivedReply& received, bool timedOut, FramedReply& reply);
    // Bracket every request so abort() knows whether one is in progress.
    void begin();
    ClientError finish(ClientError outcome);
    ClientError failure(Failure kind, std::string message) const;
    std::string where() const;
    void replaceSocket(SocketFd socket);
    void drop();

    int port_;
    std::chrono::milliseconds connectTimeout_;
    std::chrono::milliseconds greetTimeout_;
    TraceLog trace_;
    SocketFd socket_;
    Hello hello_;

    std::mutex abortMutex_;  // guards the descriptor against abort() from another thread
    bool inProgress_ = false;
    bool dropRequested_ = false;
    std::atomic<bool> aborted_{false};
};
