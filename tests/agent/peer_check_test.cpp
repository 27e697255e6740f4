#include <gtest/gtest.h>

#include <arpa/inet.h>

#include "peer_check.h"

namespace {

sockaddr_in endpoint(const char* ip, uint16_t port)
{
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_port = htons(port);
    inet_pton(AF_INET, ip, &a.sin_addr);
    return a;
}

// Rows as the kernel prints them: the agent listening on 12345 (0x3039), two viewers
// connected from ports 54321 (0xD431) and 54322, and a closed one in TIME_WAIT.
const char* TABLE =
    "  sl  local_address rem_address   st tx_queue rx_queue tr tm->when retrnsmt   uid  timeout inode\n"
    "   0: 0100007F:3039 00000000:0000 0A 00000000:00000000 00:00000000 00000000     0        0 1 1 0 100 0 0 10 0\n"
    "   1: 0100007F:D431 0100007F:3039 01 00000000:00000000 00:00000000 00000000  1000        0 2 1 0 20 4 30 10 -1\n"
    "   2: 0100007F:3039 0100007F:D431 01 00000000:00000000 00:00000000 00000000     0        0 3 1 0 20 4 30 10 -1\n"
    "   3: 0100007F:D432 0100007F:3039 01 00000000:00000000 00:00000000 00000000 65534        0 4 1 0 20 4 30 10 -1\n"
    "   4: 0100007F:D433 0100007F:3039 06 00000000:00000000 03:00000ECE 00000000     0        0 0 3 0\n";

TEST(PeerCheck, FindsThePeersSocketByBothEnds)
{
    sockaddr_in agent = endpoint("127.0.0.1", 12345);
    EXPECT_EQ(socket_owner(TABLE, endpoint("127.0.0.1", 54321), agent), 1000u);
    EXPECT_EQ(socket_owner(TABLE, endpoint("127.0.0.1", 54322), agent), 65534u);
    // Our own end of the first connection is a different row.
    EXPECT_EQ(socket_owner(TABLE, agent, endpoint("127.0.0.1", 54321)), 0u);
}

TEST(PeerCheck, UnknownOrTimeWaitSocketsHaveNoOwner)
{
    sockaddr_in agent = endpoint("127.0.0.1", 12345);
    EXPECT_FALSE(socket_owner(TABLE, endpoint("127.0.0.1", 54323), agent));  // TIME_WAIT shows uid 0
    EXPECT_FALSE(socket_owner(TABLE, endpoint("127.0.0.1", 1), agent));
    EXPECT_FALSE(socket_owner(TABLE, endpoint("127.0.0.2", 54321), agent));
    EXPECT_FALSE(socket_owner("", endpoint("127.0.0.1", 54321), agent));
    EXPECT_FALSE(socket_owner("title\n   1: 0100007F:D431 0100007F:3039 01 garbage\n", endpoint("127.0.0.1", 54321), agent));
}

}  // namespace
