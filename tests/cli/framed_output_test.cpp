// What vorlan-cli prints for the heap commands, as text and as JSON, from replies a
// fake agent sends.
#include <gtest/gtest.h>

#include <sstream>

#include "fake_agent.h"
#include "framed_commands.h"
#include "framed_json.h"
#include "framed_text.h"
#include "json_reader.h"

namespace {

const std::string kHello = "ok\thello\nagent\tvorlanagt\t1.1.0\nprotocol\t1\n";

FramedReply framed(const std::string& body)
{
    FramedReply reply;
    EXPECT_TRUE(readFramedReply(body, reply)) << body;
    return reply;
}

const std::string kShadowing =
    "ok\tobject\n"
    "object\t1a2b\tSub\t32\t\t\n"
    "slot\tclass\t\t\t\t\t40000001\tjava.lang.Class\t96\tclass Sub\n"
    "slot\tfield\tx\tBase\tint\t42\t\t\t\t\n"
    "slot\tfield\tname\tBase\tjava.lang.String\t\t1c\tjava.lang.String\t24\t\"a\\nb\"\n"
    "slot\tfield\tx\tSub\tlong\t-7\t\t\t\t\n"
    "slot\tfield\tnext\tSub\tSub\tnull\t\t\t\t\n";

TEST(FramedText, ShowQualifiesOnlyShadowedFieldsAndAlignsTheSlots)
{
    EXPECT_EQ(showText(objectFrom(framed(kShadowing))),
              "1a2b  Sub  32 bytes\n"
              "  class                     ->  40000001  java.lang.Class   96  class Sub\n"
              "  Base.x  int               =   42\n"
              "  name    java.lang.String  ->  1c        java.lang.String  24  \"a\\nb\"\n"
              "  Sub.x   long              =   -7\n"
              "  next    Sub               =   null\n");
}

TEST(FramedText, HistogramInJcmdsColumnsWithAShortfallNote)
{
    const std::string text = histoText(histogramFrom(framed("ok\thisto\tclasses=300\tinstances=9000\tbytes=500000\n"
                                                            "class\t[B\t1200\t96000\n"
                                                            "class\tjava.lang.String\t1100\t26400\n")));
    EXPECT_EQ(text,
              " num     #instances         #bytes  class name\n"
              "----------------------------------------------\n"
              "   1:          1200          96000  [B\n"
              "   2:          1100          26400  java.lang.String\n"
              "Total          2300         122400\n"
              "(2 of 300 classes; the heap holds 9000 instances, 500000 bytes)\n");
}

TEST(FramedText, PathIsAFlatChainRootFirstWithTheRootNamed)
{
    const std::string text = pathText(pathFrom(framed("ok\tpath\tfound=strong\tlength=3\n"
                                                      "root\tstack-local\tmain\tHeapTarget.main\n"
                                                      "step\t\t\t\t10\tHolder\t24\t\n"
                                                      "step\tfield\titems\tHolder\t11\t[Ljava.lang.Object;\t40\t[6]\n"
                                                      "step\telement\t3\t\t12\tPinned\t16\t\n")),
                                      "12");
    EXPECT_EQ(text,
              "root: local variable in HeapTarget.main (thread \"main\")\n"
              "held by  type                 object  size\n"
              "GC root  Holder               10        24\n"
              "items    [Ljava.lang.Object;  11        40  [6]\n"
              "[3]      Pinned               12        16\n");
    EXPECT_EQ(pathText(pathFrom(framed("ok\tpath\tfound=none\tlength=0\n")), "12"),
              "(no GC root reaches 12: it is garbage waiting for the next collection)\n");

    // Through a class's static field, the root is named as that field.
    const PathReply viaStatic = pathFrom(framed("ok\tpath\tfound=strong\tlength=2\n"
                                                "root\tsystem-class\t\t\n"
                                                "step\t\t\t\t40000007\tjava.lang.Class\t96\tclass app.Registry\n"
                                                "step\tstatic\tENTRIES\tapp.Registry\t1a\tjava.util.HashMap\t48\t\n"));
    EXPECT_EQ(pathText(viaStatic, "1a").substr(0, 40), "root: static field app.Registry.ENTRIES\n");
    const auto doc = readJson(pathJson(viaStatic));
    ASSERT_TRUE(doc);
    EXPECT_EQ((*doc)["root_name"].text, "static field app.Registry.ENTRIES");
}

TEST(FramedText, CollectionShowsItsEntriesWithSizeCapacityAndWhatWasUnwrapped)
{
    ObjectView view;
    view.object = {"5", "java.util.Collections$UnmodifiableMap", 24, ""};
    CollectionPage page;
    page.read = true;
    page.shape = CollectionShape::map;
    page.size = 3;
    page.capacity = 16;
    page.unwrapped = {"java.util.Collections$UnmodifiableMap @5 wraps java.util.HashMap @6"};
    page.entries = {{0, {"a", "java.lang.String", 24, "\"user7\""}, {"b", "java.lang.String", 24, "\"value-7\""}, "c"},
                    {1, {}, {"d", "java.lang.Object", 16, ""}, "e"}};
    EXPECT_EQ(collectionText(view, page),
              "5  java.util.Collections$UnmodifiableMap  24 bytes  size 3  capacity 16\n"
              "  (java.util.Collections$UnmodifiableMap @5 wraps java.util.HashMap @6)\n"
              "  [0]  \"user7\"  ->  \"value-7\"           a  b\n"
              "  [1]  null     ->  java.lang.Object@d     d\n"
              "(0-1 of 3 entries; --offset and --limit page through them; --internals shows the fields)\n");
    const auto doc = readJson(collectionJson(view, page));
    ASSERT_TRUE(doc) << collectionJson(view, page);
    EXPECT_EQ((*doc)["collection"]["entries"].items[0]["value"]["preview"].text, "\"value-7\"");
    EXPECT_EQ((*doc)["collection"]["entries"].items[1]["key"]["handle"].kind, JsonValue::Null);
}

struct FakeSession {
    FakeAgent agent;
    AgentSession session{agent.port()};
    std::ostringstream out, err;

    explicit FakeSession(const std::string& body)
    {
        agent.queueListing(kHello);
        agent.queueListing(body);
    }
};

TEST(FramedCommands, JsonIsOneDocumentThatReadsBack)
{
    FakeSession s(kShadowing);
    CliCommand c{"show", "1a2b", {}};
    c.options.json = true;
    ASSERT_EQ(cli_show(s.session, c, s.out, s.err), 0) << s.err.str();
    EXPECT_EQ(s.err.str(), "");
    const auto doc = readJson(s.out.str());
    ASSERT_TRUE(doc) << s.out.str();
    EXPECT_EQ((*doc)["handle"].text, "1a2b");
    EXPECT_EQ((*doc)["length"].kind, JsonValue::Null);
    const JsonValue& slots = (*doc)["slots"];
    ASSERT_EQ(slots.items.size(), 5u);
    EXPECT_EQ(slots[1]["declared"].text, "Base");
    EXPECT_EQ(slots[1]["value"].text, "42");
    EXPECT_EQ(slots[2]["preview"].text, "\"a\nb\"");
    EXPECT_EQ(slots[2]["size"].number, 24);
    EXPECT_EQ(slots[4]["handle"].kind, JsonValue::Null);
}

TEST(FramedCommands, AgentErrorIsOneLineAndStatusOne)
{
    FakeSession s("error\treferrers\tnot-found\tno live object has handle 7ffffff0\n");
    CliCommand c{"refs", "7ffffff0", {}};
    c.options.json = true;
    EXPECT_EQ(cli_refs(s.session, c, s.out, s.err), 1);
    EXPECT_EQ(s.err.str(), "vorlan-cli: no live object has handle 7ffffff0\n");
    EXPECT_EQ(s.out.str(), "");
    EXPECT_EQ(s.agent.requests().at(1).command, "VRL1 referrers\t7ffffff0\n");
}

}  // namespace
