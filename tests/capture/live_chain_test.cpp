// The chain that finds a snapshot object again in the running VM, built from its path on
// a hand-written dump whose graph is known (tests/snapshot/sample_dump.h): it starts at
// the last class or named thread of the path, names each step as the agent's follow
// request takes it, and says why when the path cannot be followed.
#include <gtest/gtest.h>

#include "byte_source.h"
#include "heap_index.h"
#include "live_chain.h"
#include "sample_dump.h"
#include "snapshot_reader.h"

namespace {

class LiveChainTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        dump_ = sampleDump(VmLayout{});
        MemorySource source(dump_.bytes);
        index_ = readHeapDump(source);
    }

    uint32_t at(uint64_t address) const { return index_.objectAt(address); }
    uint32_t classObject(const char* name) const { return index_.classes[index_.classNamed(name)].object; }
    // The object from's reference of that name leads to.
    uint32_t target(uint32_t from, const std::string& edge) const
    {
        for (uint32_t e = index_.graph.firstEdge[from]; e < index_.graph.firstEdge[from + 1]; ++e)
            if (index_.edgeName(from, e) == edge)
                return index_.graph.targets[e];
        ADD_FAILURE() << "no reference " << edge;
        return kNoObject;
    }

    // A path through the given objects, each step by the first reference between them.
    RootPath pathThrough(const std::vector<uint32_t>& objects) const
    {
        RootPath path;
        path.kind = PathKind::strong;
        for (size_t i = 0; i < objects.size(); ++i) {
            PathStep step;
            step.object = objects[i];
            if (i > 0) {
                const auto edges = index_.edgesBetween(objects[i - 1], objects[i]);
                EXPECT_FALSE(edges.empty()) << "no reference from step " << i - 1 << " to step " << i;
                step.edge = edges.empty() ? kNoObject : edges.front();
            }
            path.steps.push_back(step);
        }
        return path;
    }

    SampleDump dump_;
    HeapIndex index_;
};

}  // namespace

TEST_F(LiveChainTest, StartsAtTheClassWhoseStaticHoldsThePath)
{
    // App$Node.label (a static) -> n1 -label-> the String "first".
    const LiveChainResult r = liveChainTo(index_, pathThrough({classObject("App$Node"), at(dump_.n1), at(dump_.first)}));
    ASSERT_TRUE(r.chain) << r.why;
    const FollowQuery& q = r.chain->query;
    EXPECT_EQ(q.rootKind, "class");
    EXPECT_EQ(q.rootName, "App$Node");
    ASSERT_EQ(q.steps.size(), 2u);
    EXPECT_EQ(q.steps[0].how, "static");
    EXPECT_EQ(q.steps[0].name, "label");
    EXPECT_EQ(q.steps[0].type, "App$Node");
    EXPECT_EQ(q.steps[1].how, "field");
    EXPECT_EQ(q.steps[1].name, "label");
    EXPECT_EQ(q.steps[1].declared, "App$Node");
    EXPECT_EQ(q.steps[1].type, "java.lang.String");
    EXPECT_EQ(r.chain->objects, (std::vector<uint32_t>{classObject("App$Node"), at(dump_.n1), at(dump_.first)}));
}

TEST_F(LiveChainTest, StartsAtTheLastNameOnThePath)
{
    // A thread's name field: the thread is named, so the chain starts there.
    const uint32_t thread = at(dump_.t1);
    const LiveChainResult fromThread = liveChainTo(index_, pathThrough({thread, target(thread, "name")}));
    ASSERT_TRUE(fromThread.chain) << fromThread.why;
    EXPECT_EQ(fromThread.chain->query.rootKind, "thread");
    EXPECT_EQ(fromThread.chain->query.rootName, "worker");
    ASSERT_EQ(fromThread.chain->query.steps.size(), 1u);
    EXPECT_EQ(fromThread.chain->query.steps[0].how, "field");
    EXPECT_EQ(fromThread.chain->query.steps[0].name, "name");
    EXPECT_EQ(fromThread.chain->query.steps[0].declared, "java.lang.Thread");

    // n1 -next-> n2 -next-> n3 under the class: three steps, each with its class.
    const LiveChainResult deep = liveChainTo(
        index_, pathThrough({classObject("App$Node"), at(dump_.n1), at(dump_.n2), at(dump_.n3)}));
    ASSERT_TRUE(deep.chain) << deep.why;
    ASSERT_EQ(deep.chain->query.steps.size(), 3u);
    for (size_t i = 1; i < 3; ++i) {
        EXPECT_EQ(deep.chain->query.steps[i].name, "next");
        EXPECT_EQ(deep.chain->query.steps[i].type, "App$Node");
    }
}

TEST_F(LiveChainTest, SaysWhyAPathCannotBeFollowed)
{
    // The JNI global array -> [0] -> n1: nothing on it has a name the VM knows it by.
    const LiveChainResult global = liveChainTo(index_, pathThrough({at(dump_.array), at(dump_.n1)}));
    EXPECT_FALSE(global.chain);
    EXPECT_NE(global.why.find("JNI global reference"), std::string::npos) << global.why;

    // A frame's local: n2, held by thread worker's frame.
    const LiveChainResult local = liveChainTo(index_, pathThrough({at(dump_.n2), at(dump_.n3)}));
    EXPECT_FALSE(local.chain);
    EXPECT_NE(local.why.find("local variable of thread worker"), std::string::npos) << local.why;

    const LiveChainResult none = liveChainTo(index_, RootPath{});
    EXPECT_FALSE(none.chain);
    EXPECT_NE(none.why.find("garbage"), std::string::npos) << none.why;
}
