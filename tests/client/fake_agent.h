// A stand-in for the heap agent: listens on 127.0.0.1 on an ephemeral port, records
// each request and answers with scripted replies sent in pieces.
#pragma once

#include <chrono>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

struct AgentRequest {
    std::string command;  // bytes of the first message; a framed request's whole line
    std::string handle;   // bytes after "e", whether they came apart or merged
};

struct ScriptedReply {
    std::vector<std::string> pieces;  // each sent on its own, with a pause in between
    bool closeAfter = false;          // drop the connection once the pieces are sent
};

class FakeAgent {
public:
    FakeAgent();
    ~FakeAgent();
    FakeAgent(const FakeAgent&) = delete;
    FakeAgent& operator=(const FakeAgent&) = delete;

    int port() const { return port_; }

    // Replies are used in order, one per request other than "q"; with none queued the
    // agent answers with an empty listing.
    void queueReply(ScriptedReply reply);
    // Header and body in one piece (a classic listing or a record body alike).
    void queueListing(const std::string& body);

    std::vector<AgentRequest> requests();
    bool waitForRequests(size_t count, std::chrono::milliseconds timeout = std::chrono::seconds(10));
    int connections();

    static std::string header(const std::string& text);  // text padded with NULs to 32 bytes
    static std::string header(size_t length);

    // A port nothing listens on.
    static int unusedPort();

    std::chrono::milliseconds pause{60};

private:
    void serve();
    void serveConnection(int fd);

    int listenFd_ = -1;
    int connectionFd_ = -1;
    int port_ = 0;
    bool stopping_ = false;
    int connections_ = 0;
    std::mutex mutex_;
    std::condition_variable changed_;
    std::deque<ScriptedReply> replies_;
    std::vector<AgentRequest> requests_;
    std::thread thread_;
};
