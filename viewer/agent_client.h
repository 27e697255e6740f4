// The viewer's side of the agent protocol: one TCP connection to 127.0.0.1, one-letter
// commands, a 32-byte decimal length header and a body of listing lines.
#pragma once

#include <cstdint>
#include <string_view>

#include "command_line.h"
#include "reply_lines.h"
#include "reply_reader.h"
#include "socket_fd.h"
#include "trace_log.h"


// The TCP port a configured port value selects: its low 16 bits.
uint16_t tcpPort(int port);

class AgentClient {
public:
    explicit AgentClient(int port = kDefaultPort) : port_(port) {}

    void setPort(int port) { port_ = port; }
    int port() const { return port_; }
    void setTrace(TraceLog trace) { trace_ = std::move(trace); }

    // One connection attempt on a new socket; 1 when connected, else 0.
    int sockconnect();

    // Tries to connect while not connected yet. Once connected the client never
    // reconnects, even when the agent has gone away.
    void connectIfNeeded();
    bool connected() const { return connected_; }

    // Sends command ('p' or 'e'; the handle text goes with 'e' only) and reads the whole
    // reply. Failures give the lines complete so far, or none.
    ReplyLines getClasses(char command, std::string_view handle);

    // Number of lines in the last reply.
    int strcnt() const { return strcnt_; }

    // Sends "q", which ends the agent's Java process. Nothing may follow.
    void disconnectJvmti();

private:
    int port_;
    SocketFd socket_;
    bool connected_ = false;
    int strcnt_ = 0;
    TraceLog trace_;
};
