// The peer check's reading of /proc/net/tcp text.
#include <arpa/inet.h>

#include <cstdint>
#include <string>

#include "peer_check.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    sockaddr_in peer{}, ours{};
    peer.sin_family = ours.sin_family = AF_INET;
    peer.sin_addr.s_addr = ours.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    peer.sin_port = htons(54321);
    ours.sin_port = htons(12345);
    socket_owner(std::string(reinterpret_cast<const char*>(data), size), peer, ours);
    return 0;
}
