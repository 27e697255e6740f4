#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "protocol.h"

namespace {

Message msg(const std::string& text)
{
    Message m;
    memcpy(m.text, text.data(), std::min(text.size(), MSG_SIZE));
    m.count = static_cast<long>(std::min(text.size(), MSG_SIZE));
    return m;
}

TEST(HandleText, FollowsBase16StrtolSemantics)
{
    EXPECT_EQ(parse_handle("1a2b"), 0x1a2b);
    EXPECT_EQ(parse_handle("  \t1a2b"), 0x1a2b);
    EXPECT_EQ(parse_handle("0x1a2b"), 0x1a2b);
    EXPECT_EQ(parse_handle("0X1A2B"), 0x1a2b);
    EXPECT_EQ(parse_handle("1a2bzz"), 0x1a2b);
    EXPECT_EQ(parse_handle("+1f"), 0x1f);
    EXPECT_EQ(parse_handle("zz"), 0);
    EXPECT_EQ(parse_handle(""), 0);
    EXPECT_EQ(parse_handle("-1"), -1);
}

TEST(HandleText, SaturatesAtThirtyTwoBits)
{
    EXPECT_EQ(parse_handle("7fffffff"), 0x7fffffff);
    EXPECT_EQ(parse_handle("80000000"), 0x7fffffff);
    EXPECT_EQ(parse_handle("ffffffffffffffffffff"), 0x7fffffff);
    EXPECT_EQ(parse_handle("-80000001"), INT32_MIN);
}

TEST(Messages, ThirtyTwoByteMessageStaysWithinItsBuffer)
{
    Message m = msg(std::string(32, 'f'));
    EXPECT_EQ(m.text[32], '\0');
    EXPECT_EQ(parse_handle(m.text), 0x7fffffff);
    Request r = decide_request(msg("e"), &m);
    EXPECT_EQ(r.action, Action::Listing);
    EXPECT_EQ(r.handle, 0x7fffffff);
    EXPECT_EQ(decide_request(msg(std::string(32, 'p')), nullptr).action, Action::Listing);
}

TEST(Messages, CommandsAreWholeMessages)
{
    EXPECT_EQ(decide_request(msg("p"), nullptr).action, Action::Prepare);
    EXPECT_EQ(decide_request(msg("q"), nullptr).action, Action::Quit);
    for (const char* other : {"", "x", "pp", "P", "Q", "q\n", "e "}) {
        Request r = decide_request(msg(other), nullptr);
        EXPECT_EQ(r.action, Action::Listing) << other;
        EXPECT_EQ(r.handle, 0) << other;
    }
}

TEST(Messages, HandleMessageTakesThePlaceOfTheCommand)
{
    Message e = msg("e");
    Message h = msg("1a2b");
    Request r = decide_request(e, &h);
    EXPECT_EQ(r.action, Action::Listing);
    EXPECT_EQ(r.handle, 0x1a2b);
    Message zero = msg("0"), p = msg("p"), q = msg("q"), empty = msg("");
    EXPECT_EQ(decide_request(e, &zero).handle, 0);
    EXPECT_EQ(decide_request(e, &empty).handle, 0);
    EXPECT_EQ(decide_request(e, &p).action, Action::Prepare);
    EXPECT_EQ(decide_request(e, &q).action, Action::Quit);
}

TEST(Messages, MergedEAndHandleSelectsTheHandle)
{
    Request r = decide_request(msg("e1a2b"), nullptr);
    EXPECT_EQ(r.action, Action::Listing);
    EXPECT_EQ(r.handle, 0x1a2b);
    EXPECT_EQ(decide_request(msg("e0x10"), nullptr).handle, 0x10);
    EXPECT_EQ(decide_request(msg("exyz"), nullptr).handle, 0);
    // The same decision as "e" and then the handle text, whatever the timing.
    EXPECT_EQ(decide_request(msg("eq"), nullptr).action, Action::Quit);
    EXPECT_EQ(decide_request(msg(std::string("ep\0x", 4)), nullptr).action, Action::Prepare);
    EXPECT_EQ(decide_request(msg("eqq"), nullptr).action, Action::Listing);
}

// Only the single byte "e" waits for a handle message. A handle text that starts with a
// NUL and merged into the "e" must not make the agent wait for a message that has already
// arrived (both sides would then wait on each other).
TEST(Messages, OnlyTheOneByteEWaitsForAHandle)
{
    EXPECT_TRUE(awaits_handle(msg("e")));
    Message merged = msg(std::string("e\0bb", 4));
    EXPECT_FALSE(awaits_handle(merged));
    Request r = decide_request(merged, nullptr);
    EXPECT_EQ(r.action, Action::Listing);
    EXPECT_EQ(r.handle, 0);
    EXPECT_FALSE(awaits_handle(msg("e1a2b")));
    EXPECT_FALSE(awaits_handle(msg("p")));
    EXPECT_FALSE(awaits_handle(msg("")));
}

TEST(Header, IsDecimalLengthPaddedWithNuls)
{
    auto h = format_header(0);
    EXPECT_EQ(std::string(h.data(), h.size()), std::string("0") + std::string(31, '\0'));
    h = format_header(1000001);
    EXPECT_EQ(std::string(h.data()), "1000001");
    for (size_t i = 7; i < h.size(); i++) EXPECT_EQ(h[i], '\0');
}

}  // namespace
