// The test's side of the agent protocol, with control over how bytes leave.
#pragma once

#include <string>
#include <vector>

struct ListingLine {
    std::string handle;
    std::string signature;
};

struct Reply {
    std::string header;  // all 32 bytes
    long length = -1;    // decimal value of the header
    std::string body;
    bool complete = false;  // header and announced body arrived

    // Lines of the body; fails the calling test on a line that is not "handle sig \n".
    std::vector<ListingLine> lines() const;
};

class AgentConnection {
public:
    explicit AgentConnection(int port);
    ~AgentConnection();
    AgentConnection(const AgentConnection&) = delete;
    AgentConnection& operator=(const AgentConnection&) = delete;

    bool connected() const { return fd_ >= 0; }
    // Sends bytes as one segment (TCP_NODELAY is on).
    void send_raw(const std::string& bytes);
    // Reads a 32-byte header and the body it announces.
    Reply read_reply(int timeout_ms = 60000);
    // One command, then its reply.
    Reply request(const std::string& command);
    // "e", then the handle text as a second message, then the reply.
    Reply expand(const std::string& handle_text);
    // True when the agent closes the connection (recv returns 0) within timeout_ms.
    bool closed_by_peer(int timeout_ms = 10000);
    void close();

private:
    bool read_exact(std::string& out, size_t n, int timeout_ms);
    int fd_ = -1;
};
