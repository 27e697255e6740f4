// A stand-in for the agent that answers framed requests from a script, on any number of
// connections at once (the explorer keeps two: its requests and the root survey). Each
// request comes to the test's responder as its name and arguments; the responder gives
// the reply's record body. What the explorer's window tests run against.
#pragma once

#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

class ScriptedAgent {
public:
    // fields[0] is the request's name, the rest its arguments, unescaped.
    using Responder = std::function<std::string(const std::vector<std::string>& fields)>;

    explicit ScriptedAgent(Responder responder);
    ~ScriptedAgent();
    ScriptedAgent(const ScriptedAgent&) = delete;
    ScriptedAgent& operator=(const ScriptedAgent&) = delete;

    int port() const { return port_; }
    // The request lines received so far (without "VRL1 " and the line feed).
    std::vector<std::string> requests();
    // How many of them start with prefix.
    size_t count(const std::string& prefix);

    // A record line: its fields TAB-separated, escaped as the agent escapes them.
    static std::string record(const std::vector<std::string>& fields);

private:
    void serve();
    void serveConnection(int fd);

    Responder responder_;
    int listenFd_ = -1;
    int port_ = 0;
    bool stopping_ = false;
    std::mutex mutex_;
    std::vector<int> connections_;
    std::vector<std::thread> threads_;
    std::vector<std::string> requests_;
    std::thread acceptor_;
};
