// Framed requests and record bodies: how bytes on one connection become exchanges, and
// how replies are escaped.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "connection_input.h"
#include "records.h"
#include "request_frame.h"

namespace {

// Feeds the receives in order and collects every exchange decided.
std::vector<Exchange> feed(const std::vector<std::string>& receives, bool close = false)
{
    ConnectionInput in;
    std::vector<Exchange> out;
    auto drain = [&] {
        while (auto e = in.next()) out.push_back(*e);
    };
    for (const auto& r : receives) {
        in.take(r.data(), static_cast<long>(r.size()));
        drain();
    }
    if (in.undecided()) {
        in.decide_now();
        drain();
    }
    if (close) {
        in.take(nullptr, 0);
        drain();
    }
    return out;
}

std::string kinds(const std::vector<Exchange>& es)
{
    std::string s;
    for (const auto& e : es) {
        if (!s.empty()) s += ",";
        switch (e.kind) {
        case Exchange::Classic: s += std::string("classic:") + e.command.text + (e.has_handle ? "+" + std::string(e.handle_msg.text) : ""); break;
        case Exchange::Framed: s += "framed:" + e.line; break;
        case Exchange::FrameError: s += std::string("error:") + e.error_code; break;
        case Exchange::Drop: s += "drop"; break;
        }
    }
    return s;
}

TEST(ConnectionInput, ClassicMessagesAreOneReceiveEach)
{
    EXPECT_EQ(kinds(feed({"p", "x", "e", "1a2b", "q"})), "classic:p,classic:x,classic:e+1a2b,classic:q");
    // A bare "e" waits for its handle message, even one that looks like a frame.
    EXPECT_EQ(kinds(feed({"e", "VRL1 hello\n"})), "classic:e+VRL1 hello\n");
    // The peer closing is one last unrecognised command.
    auto closed = feed({"p"}, true);
    EXPECT_EQ(kinds(closed), "classic:p,classic:");
    EXPECT_TRUE(closed.back().last);
}

TEST(ConnectionInput, FramesAreDecidedTheSameHoweverTheyArrive)
{
    const std::string two = "VRL1 hello\nVRL1 object\t1a2b\n";
    const std::string expected = "framed:hello,framed:object\t1a2b";
    EXPECT_EQ(kinds(feed({two})), expected);
    std::vector<std::string> bytes;
    for (char c : two) bytes.emplace_back(1, c);
    EXPECT_EQ(kinds(feed(bytes)), expected);
    EXPECT_EQ(kinds(feed({"VR", "L1 hel", "lo\nVRL1 obj", "ect\t1a2b\n"})), expected);
    // Classic bytes after a frame are the next message.
    EXPECT_EQ(kinds(feed({"VRL1 hello\np"})), "framed:hello,classic:p");
}

TEST(ConnectionInput, PrefixesThatAreNotFramesStayClassic)
{
    // A strict prefix of the magic, then nothing: one classic message.
    EXPECT_EQ(kinds(feed({"VRL"})), "classic:VRL");
    // Then bytes that contradict it: one classic message as if they had come together.
    EXPECT_EQ(kinds(feed({"VR", "xy"})), "classic:VRxy");
    EXPECT_EQ(kinds(feed({"VRL2 hello\n"})), "classic:VRL2 hello\n");
}

TEST(ConnectionInput, BrokenFramesGetAnErrorAndEnd)
{
    auto cut = feed({"VRL1 hist"}, true);
    ASSERT_EQ(kinds(cut), "error:framing");
    EXPECT_TRUE(cut[0].last);
    std::string huge = "VRL1 instances\t" + std::string(MAX_REQUEST_LINE + 10, 'a');
    auto too_long = feed({huge});
    ASSERT_EQ(kinds(too_long), "error:too-long");
    EXPECT_TRUE(too_long[0].last);
    ConnectionInput failed;
    failed.take(nullptr, -1);
    auto e = failed.next();
    ASSERT_TRUE(e);
    EXPECT_EQ(e->kind, Exchange::Drop);
}

TEST(RequestLine, SplitsAtTabsAndUnescapes)
{
    FramedRequest r;
    std::string why;
    ASSERT_TRUE(decode_request_line("instances\tjava.util.Map$Entry\\ttab\\x00nul\\\\\tlimit=5\r", r, why)) << why;
    EXPECT_EQ(r.name, "instances");
    ASSERT_EQ(r.args.size(), 2u);
    EXPECT_EQ(r.args[0], std::string("java.util.Map$Entry\ttab\0nul\\", 28));
    EXPECT_EQ(r.args[1], "limit=5");
    for (const char* bad : {"histo\\q", "histo\\x4", "histo\\", "\tx"}) EXPECT_FALSE(decode_request_line(bad, r, why)) << bad;
}

TEST(RequestArgs, ChecksOptionsAndRanges)
{
    FramedRequest r{"object", {"1a2b", "limit=50", "offset=x"}};
    RequestArgs a(r, 1, {"offset", "limit"});
    ASSERT_TRUE(a.ok());
    EXPECT_EQ(a.positional(), "1a2b");
    EXPECT_EQ(a.number("limit", 1000, 0, 100), 50);
    a.number("offset", 0, 0, 10);
    EXPECT_FALSE(a.ok());
    EXPECT_FALSE(RequestArgs(FramedRequest{"object", {}}, 1, {}).ok());
    EXPECT_FALSE(RequestArgs(FramedRequest{"histo", {"colour=red"}}, 0, {"match"}).ok());
    EXPECT_FALSE(RequestArgs(FramedRequest{"histo", {"match=a", "match=b"}}, 0, {"match"}).ok());
    EXPECT_EQ(parse_framed_handle("1A2b"), 0x1a2bu);
    for (const char* bad : {"", " 1", "0x1", "-1", "123456789", "g"}) EXPECT_FALSE(parse_framed_handle(bad)) << bad;
}

TEST(Records, FieldsAreEscapedToPlainAscii)
{
    RecordWriter w;
    // UTF-8, the VM's NUL (C0 80), a character outside the BMP, a lone surrogate as the
    // VM spells it, control bytes, and a byte that is no UTF-8 at all.
    w.record("x").field("a\tb\nc\\").field("\xc3\xa9\xc0\x80\xf0\x9d\x84\x9e\xed\xa0\x80").field(std::string("\x01\x7f\xff", 3));
    const uint16_t utf16[] = {'h', 0xe9, 0xd834, 0xdd1e, '\t'};
    w.field_utf16(utf16, 5).field(-42);
    EXPECT_EQ(w.take(), "x\ta\\tb\\nc\\\\\t\\u00e9\\u0000\\ud834\\udd1e\\ud800\t\\x01\\x7f\\xff\th\\u00e9\\ud834\\udd1e\\t\t-42\n");
    EXPECT_EQ(error_body("path", "usage", "bad\targ"), "error\tpath\tusage\tbad\\targ\n");
}

}  // namespace
