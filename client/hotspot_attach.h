// HotSpot's attach mechanism spoken directly, as jcmd speaks it: the VM's UNIX socket
// <VM's /tmp>/.java_pid<PID>, started when absent by creating .attach_pid<PID> and
// sending SIGQUIT; a request "1\0COMMAND\0ARG1\0ARG2\0ARG3\0"; a reply of a status line
// and the command's output. Before any of that the process is checked, so that another
// user's process, a VM with attach turned off, a process that is no HotSpot VM and a
// process that is gone each fail at once with one sentence.
#pragma once

#include <chrono>
#include <string>
#include <vector>

#include "socket_fd.h"

enum class AttachFailure {
    none,
    gone,            // no such process
    stopped,         // stopped by a signal or a debugger: it cannot answer
    otherUser,       // not our effective user's
    notHotSpot,      // no attach mechanism to start
    attachDisabled,  // -XX:+DisableAttachMechanism
    noAnswer,        // the socket did not appear in time, or the exchange broke off
    refused,         // the VM answered with a non-zero status
};

struct AttachReply {
    int status = -1;     // the VM's completion status: 0 when the command ran
    std::string output;  // what the command printed
};

struct AttachResult {
    AttachFailure failure = AttachFailure::none;
    std::string message;  // one sentence, without the program's name
    AttachReply reply;

    bool ok() const { return failure == AttachFailure::none; }
    // The VM could take an agent at start-up instead (-agentpath:...).
    bool agentAtStartHelps() const { return failure == AttachFailure::attachDisabled || failure == AttachFailure::notHotSpot; }
};

// The request's bytes; "" when there are more than three arguments or one is longer than
// the VM reads (1024 bytes), with why in error.
std::string attachRequestBytes(const std::string& command, const std::vector<std::string>& arguments,
                               std::string& error);

// Splits a reply into its status line and output; false when it has no status line.
bool parseAttachReply(const std::string& bytes, AttachReply& reply);

// One exchange with a VM's attach listener, in steps, for a command whose answer comes
// long after it is sent while the caller does other work (reads the heap dump the VM
// writes into a pipe): open it, send the request, poll socket() for the answer, finish.
// The listener serves one exchange at a time; another tool's exchange waits meanwhile.
class AttachExchange {
public:
    AttachExchange() = default;
    AttachExchange(AttachExchange&&) = default;
    AttachExchange& operator=(AttachExchange&&) = default;

    bool isOpen() const { return socket_.valid(); }
    // Readable when the VM has written (part of) its answer or closed the connection.
    int socket() const { return socket_.get(); }
    // Sends the request; a failure when the VM closed its socket first.
    AttachResult send();
    // Reads what has arrived without waiting; true once the VM closed the connection,
    // which ends its answer.
    bool readAvailable();
    // Waits at most replyTimeout (zero: as long as the command takes) for the rest of the
    // answer; the answer, or why there is none.
    AttachResult finish(std::chrono::milliseconds replyTimeout = std::chrono::milliseconds(0));
    // Closes the connection without waiting for an answer (the VM's command runs on).
    void abandon() { socket_.reset(); }

private:
    friend AttachResult openAttachExchange(long, const std::string&, const std::vector<std::string>&,
                                           AttachExchange&, std::chrono::milliseconds);
    SocketFd socket_;
    std::string request_;
    std::string processName_;  // "4242 (java)", for messages
    std::string commandName_;  // the command as messages name it
    std::string received_;
    bool closed_ = false;
};

// Checks process pid as attachCommand does, starts its attach listener if need be
// (waiting at most startTimeout), and connects; the request is sent by send().
AttachResult openAttachExchange(long pid, const std::string& command, const std::vector<std::string>& arguments,
                                AttachExchange& exchange,
                                std::chrono::milliseconds startTimeout = std::chrono::seconds(2));

// Sends one command to process pid, starting its attach mechanism if need be and
// waiting at most startTimeout for it, then at most replyTimeout for the reply (zero:
// as long as the command takes, as a heap dump may).
AttachResult attachCommand(long pid, const std::string& command, const std::vector<std::string>& arguments,
                           std::chrono::milliseconds startTimeout = std::chrono::seconds(2),
                           std::chrono::milliseconds replyTimeout = std::chrono::milliseconds(0));

// "load": the agent library at an absolute path with its options. ok() when the VM ran
// the load; returnCode is then what the agent's Agent_OnAttach returned (0 loaded).
AttachResult loadAgentLibrary(long pid, const std::string& library, const std::string& options, int& returnCode);

// "jcmd": one diagnostic command line ("GC.class_histogram", "GC.heap_dump -overwrite
// PATH"); its output in reply.output.
AttachResult runDiagnosticCommand(long pid, const std::string& commandLine);
