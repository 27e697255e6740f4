#include "server.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstring>

#include "agent_state.h"
#include "command_loop.h"

namespace {

void report_setup_failure(const Agent& agent, const char* step)
{
    const int cause = errno;
    fprintf(stderr, "vorlanagt: cannot listen on 127.0.0.1:%d (%s: %s); the command server stops, the program runs on\n",
            static_cast<uint16_t>(agent.settings.port), step, strerror(cause));
    errno = cause;
}

}  // namespace

SocketFd open_listener(const Agent& agent)
{
    trace("WSAStartup\n");  // the socket layer needs no start-up call here
    SocketFd listener(socket(AF_INET, SOCK_STREAM, 0));
    trace("socket\n");
    if (!listener) {
        report_setup_failure(agent, "socket");
        return listener;
    }
    int on = 1;
    setsockopt(listener.get(), SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);

    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_port = htons(static_cast<uint16_t>(agent.settings.port));
    // Loopback only: whoever reaches the port can read the heap and end the program.
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    progress("port=%d\n", agent.settings.port);
    if (bind(listener.get(), reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0) {
        report_setup_failure(agent, "bind");
        const int cause = errno;
        listener.reset();
        errno = cause;
        return listener;
    }
    progress("bind\n");
    if (listen(listener.get(), 5) != 0) {
        report_setup_failure(agent, "listen");
        const int cause = errno;
        listener.reset();
        errno = cause;
        return listener;
    }
    progress("listen\n");
    return listener;
}

void server(Agent& agent)
{
    trace("server\n");
    SocketFd listener = open_listener(agent);
    if (!listener) return;
    serve_on(agent, std::move(listener));
}

void serve_on(Agent& agent, SocketFd listener)
{
    agent.serving = true;
    run_command_loop(agent, std::move(listener));
    agent.serving = false;
}
