// Why a live capture did not give a heap: one sentence for the user, and what kind of
// reason it is, so a front end can offer what helps (run as another user, start the VM
// with an agent, try again).
#pragma once

#include <stdexcept>
#include <string>

enum class CaptureFailure {
    notPossible,  // this VM cannot be captured: gone, another user's, not HotSpot, too old, attach off
    refused,      // the VM answered the dump request with an error
    local,        // no private directory, pipe or output file could be made here
    stream,       // the stream broke off or could not be read
    cancelled,    // the caller cancelled it
};

class CaptureError : public std::runtime_error {
public:
    CaptureError(CaptureFailure failure, const std::string& message) : std::runtime_error(message), failure_(failure) {}
    CaptureFailure failure() const { return failure_; }

private:
    CaptureFailure failure_;
};
