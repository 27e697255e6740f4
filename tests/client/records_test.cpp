#include "records.h"

#include <gtest/gtest.h>

#include "reply_views.h"
#include "type_names.h"

namespace {

FramedReply framed(const std::string& body)
{
    FramedReply reply;
    EXPECT_TRUE(readFramedReply(body, reply)) << body;
    return reply;
}

TEST(Records, LinesSplitIntoUnescapedFieldsAndEmptyFieldsCount)
{
    const auto records = splitRecords("slot\tfield\t\t\\t\nnote\ta\\\\b\n\ntail without line feed");
    ASSERT_EQ(records.size(), 3u);
    EXPECT_EQ(records[0].fields, (std::vector<std::string>{"slot", "field", "", "\t"}));
    EXPECT_EQ(records[1].fields, (std::vector<std::string>{"note", "a\\b"}));
    EXPECT_EQ(records[2].fields, (std::vector<std::string>{""}));
    EXPECT_EQ(records[0].field(9), "");  // missing fields read as empty
}

TEST(Records, StatusRecordsOkWithFiguresAndErrors)
{
    Status ok;
    ASSERT_TRUE(readStatus(splitRecords("ok\thisto\tgc_ms=1.5\twalks=1\tbogus\n")[0], ok));
    EXPECT_TRUE(ok.ok);
    EXPECT_EQ(ok.verb, "histo");
    EXPECT_EQ(ok.figures, (Figures{{"gc_ms", "1.5"}, {"walks", "1"}}));
    EXPECT_DOUBLE_EQ(figureNumber(ok.figures, "gc_ms"), 1.5);
    EXPECT_EQ(figureNumber(ok.figures, "walk_ms", -7), -7);
    // Counts are whole numbers a long long holds; anything else is the fallback.
    const Figures counts{{"total", "9000000000"}, {"huge", "211111111111111111111111"}, {"half", "1.5"}};
    EXPECT_EQ(figureCount(counts, "total"), 9000000000LL);
    EXPECT_EQ(figureCount(counts, "huge"), -1);
    EXPECT_EQ(figureCount(counts, "half", 0), 0);

    Status error;
    ASSERT_TRUE(readStatus(splitRecords("error\tobject\tnot-found\tno live object has handle 7f\n")[0], error));
    EXPECT_FALSE(error.ok);
    EXPECT_EQ(error.verb, "object");
    EXPECT_EQ(error.code, "not-found");
    EXPECT_EQ(error.message, "no live object has handle 7f");
}

TEST(Records, AClassicAnswerIsNoFramedReply)
{
    FramedReply reply;
    EXPECT_FALSE(readFramedReply("", reply));
    EXPECT_FALSE(readFramedReply("1a2b Ljava/lang/String; \n3 [I \n", reply));
    EXPECT_FALSE(readFramedReply("ok\n", reply));
    EXPECT_FALSE(readFramedReply("error\thello\n", reply));
    EXPECT_FALSE(readFramedReply("ok\thello", reply));  // no complete line
    EXPECT_TRUE(readFramedReply("ok\thello\n", reply));
    EXPECT_TRUE(reply.records.empty());
}

TEST(ReplyViews, ObjectWithShadowedFieldsNullsAndUnknownRecords)
{
    const ObjectView view = objectFrom(framed(
        "ok\tobject\twalk_ms=0.2\n"
        "object\t1a2b\tSub\t24\t\t\n"
        "slot\tclass\t\t\t\t\t40000001\tjava.lang.Class\t96\tclass Sub\n"
        "slot\tfield\tx\tBase\tint\t42\t\t\t\t\n"
        "slot\tfield\tx\tSub\tjava.lang.String\t\t1c\tjava.lang.String\t24\t\"hi\"\n"
        "slot\tfield\tnext\tSub\tSub\tnull\t\t\t\t\n"
        "future\tkind\n"));
    EXPECT_EQ(view.object.handle, "1a2b");
    EXPECT_EQ(view.object.size, 24);
    EXPECT_EQ(view.length, -1);
    EXPECT_FALSE(view.hasText);
    ASSERT_EQ(view.contents.size(), 4u);
    EXPECT_EQ(view.contents[1].declared, "Base");
    EXPECT_EQ(view.contents[1].value, "42");
    EXPECT_FALSE(view.contents[1].refersToObject());
    EXPECT_EQ(view.contents[2].declared, "Sub");
    EXPECT_EQ(view.contents[2].target.preview, "\"hi\"");
    EXPECT_EQ(view.contents[3].value, "null");
    EXPECT_FALSE(view.contents[3].refersToObject());
}

TEST(ReplyViews, StringTextAndArrayLength)
{
    const ObjectView s = objectFrom(framed("ok\tobject\nobject\t1c\tjava.lang.String\t24\t\t\"a\\tb\"\ntext\ta\\tb\n"));
    EXPECT_TRUE(s.hasText);
    EXPECT_EQ(s.text, "a\tb");
    const ObjectView a = objectFrom(framed("ok\tobject\toffset=2\tlimit=1\nobject\t9\t[I\t56\t10\t[10]\n"
                                           "slot\telement\t2\t\tint\t7\t\t\t\t\n"));
    EXPECT_EQ(a.length, 10);
    EXPECT_EQ(figureNumber(a.figures, "offset"), 2);
    EXPECT_EQ(a.contents.at(0).name, "2");
}

TEST(ReplyViews, HistogramInstancesReferrersAndPath)
{
    const Histogram h = histogramFrom(framed("ok\thisto\tclasses=412\tinstances=9000\tbytes=123456\n"
                                             "class\t[B\t300\t40000\nclass\tjava.lang.String\t280\t6720\n"));
    EXPECT_EQ(h.classes, 412);
    EXPECT_EQ(h.bytes, 123456);
    ASSERT_EQ(h.rows.size(), 2u);
    EXPECT_EQ(h.rows[0].type, "[B");
    EXPECT_EQ(h.rows[0].instances, 300);

    const InstancesPage page = instancesFrom(framed("ok\tinstances\ttotal=3\toffset=1\tlimit=1\tclasses=1\n"
                                                    "instance\t2f\tPinned\t16\t\n"));
    EXPECT_EQ(page.total, 3);
    EXPECT_EQ(page.offset, 1);
    ASSERT_EQ(page.rows.size(), 1u);
    EXPECT_EQ(page.rows[0].handle, "2f");

    const Referrers refs = referrersFrom(framed("ok\treferrers\ttotal=5\n"
                                                "referrer\telement\t3\t\t30\t[Ljava.lang.Object;\t40\t[6]\n"
                                                "root\tstack-local\tmain\tHeapTarget.main\n"));
    EXPECT_EQ(refs.total, 5);
    EXPECT_EQ(refs.rows.at(0).how, "element");
    EXPECT_EQ(refs.rows.at(0).object.type, "[Ljava.lang.Object;");
    EXPECT_EQ(refs.roots.at(0).method, "HeapTarget.main");

    const PathReply path = pathFrom(framed("ok\tpath\tfound=weak\tlength=2\n"
                                           "note\tonly through a referent\n"
                                           "root\tjni-global\t\t\n"
                                           "step\tfield\tq\tHolder\t11\tjava.lang.ref.WeakReference\t32\t\n"
                                           "step\tfield\treferent\tjava.lang.ref.Reference\t12\tPinned\t16\t\n"));
    EXPECT_EQ(path.found, "weak");
    EXPECT_EQ(path.length, 2);
    EXPECT_TRUE(path.hasRoot);
    EXPECT_EQ(path.root.kind, "jni-global");
    ASSERT_EQ(path.steps.size(), 2u);
    EXPECT_EQ(path.steps[1].name, "referent");
    EXPECT_EQ(path.notes, (std::vector<std::string>{"only through a referent"}));
}

TEST(TypeNames, ArraysReadAsJavaWritesThem)
{
    EXPECT_EQ(prettyTypeName("[I"), "int[]");
    EXPECT_EQ(prettyTypeName("[[Z"), "boolean[][]");
    EXPECT_EQ(prettyTypeName("[[Ljava.lang.String;"), "java.lang.String[][]");
    EXPECT_EQ(prettyTypeName("[La.B/0x0000000800c01000;"), "a.B/0x0000000800c01000[]");
    for (const char* unchanged : {"java.lang.String", "int", "a.B/0x0000000800c01000", "[", "[Q", "[L;", "[Lx", ""})
        EXPECT_EQ(prettyTypeName(unchanged), unchanged);
}

}  // namespace
