#pragma once
// Blocking send and receive on a connected socket, retried on EINTR.
#include <cstddef>
#include <string_view>

// Sends every byte or returns false. MSG_NOSIGNAL: an agent that has gone away must not
// end the client with SIGPIPE.
bool sendAll(int fd, std::string_view bytes);

// recv(2) retried on EINTR: the bytes read, 0 at the peer's end, -1 on error.
long receiveFrom(int fd, char* buffer, size_t size);
