// How a request to the agent can fail, with a message a front end shows as it is.
#pragma once

#include <string>

enum class Failure {
    none,
    unreachable,  // nothing answered on the port, or the connect timed out
    closed,       // the agent went away before its reply was complete
    tooOld,       // the agent knows only the classic p/e/q commands
    notAgent,     // what listens on the port is no Vorlan agent: it answered hello otherwise
    noAnswer,     // something accepted the connection but did not answer hello in time
    agentError,   // the agent answered with an error record: code and message are its own
    badReply,     // a reply that is not a framed reply, or answers another request
    aborted,      // abort() ended the request
};

struct ClientError {
    Failure failure = Failure::none;
    std::string code;     // agentError: framing, usage, not-found, too-large, jvm...
    std::string message;  // one line, without the program's name

    bool failed() const { return failure != Failure::none; }
};

// A typed reply, or why there is none.
template <typename View>
struct Result {
    View value{};
    ClientError error;

    bool ok() const { return !error.failed(); }
};
