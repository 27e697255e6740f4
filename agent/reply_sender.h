// Sending replies: the 32-byte header and the body, whole, never raising SIGPIPE in the VM.
#pragma once

#include <cstddef>
#include <string>

#include "socket_fd.h"

// Sends all of data; returns the bytes sent or -1.
long send_all(const SocketFd& client, const char* data, size_t length);

// The header and the body of a framed reply, with the progress line "N bytes sent.";
// false when the connection has to be dropped.
bool send_body(const SocketFd& client, const std::string& body);
