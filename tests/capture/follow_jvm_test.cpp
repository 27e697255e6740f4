// From a snapshot object back to the live object: a capture of a JVM running the agent,
// the chain built from an object's path in the snapshot, and the agent's follow request
// finding the same object live (or saying where the program has changed since).
#include <gtest/gtest.h>

#include "agent_session.h"
#include "capture_jvm.h"
#include "heap_capture.h"
#include "live_chain.h"
#include "root_paths.h"

namespace {

class FollowJvm : public ::testing::Test {
protected:
    void SetUp() override
    {
        snapshot_ = captureHeap(target_.pid());
        paths_ = RootPaths(snapshot_.index.graph);
    }

    const HeapIndex& index() const { return snapshot_.index; }

    // The object the named reference of from leads to.
    uint32_t next(uint32_t from, const std::string& edge) const
    {
        const HeapGraph& g = index().graph;
        for (uint32_t e = g.firstEdge[from]; e < g.firstEdge[from + 1]; ++e)
            if (index().edgeName(from, e) == edge)
                return g.targets[e];
        ADD_FAILURE() << "no reference " << edge << " from a " << index().className(index().classIndexOf(from));
        return 0;
    }

    LiveChain chainTo(uint32_t object) const
    {
        const LiveChainResult r = liveChainTo(index(), paths_.pathTo(index().graph, object));
        EXPECT_TRUE(r.chain) << r.why;
        return r.chain ? *r.chain : LiveChain{};
    }

    // registry.sessions[i] in the snapshot.
    uint32_t session(int i) const
    {
        const uint32_t registryClass = index().classes[index().classNamed("CaptureTarget")].object;
        return next(next(next(registryClass, "static registry"), "sessions"), "[" + std::to_string(i) + "]");
    }

    CaptureTargetJvm target_{{}, 0, true};
    LiveSnapshot snapshot_;
    RootPaths paths_;
    AgentSession agent_{target_.port()};
};

// The text of the object's field of that name, as the agent previews it.
std::string fieldPreview(AgentSession& agent, const std::string& handle, const std::string& field)
{
    const Result<ObjectView> object = agent.object({handle, {}, {}});
    EXPECT_TRUE(object.ok()) << object.error.message;
    for (const Slot& slot : object.value.contents)
        if (slot.how == "field" && slot.name == field)
            return slot.target.preview;
    ADD_FAILURE() << "no field " << field;
    return {};
}

}  // namespace

TEST_F(FollowJvm, FindsTheObjectLiveAndSaysWhereTheProgramChangedSince)
{
    const uint32_t user = next(session(3), "user");
    const LiveChain chain = chainTo(user);
    EXPECT_EQ(chain.query.rootKind, "class");
    EXPECT_EQ(chain.query.rootName, "CaptureTarget");
    ASSERT_EQ(chain.query.steps.size(), 4u);
    EXPECT_EQ(chain.query.steps[0].how, "static");
    EXPECT_EQ(chain.query.steps[2].how, "element");
    EXPECT_EQ(chain.query.steps[2].name, "3");
    EXPECT_EQ(chain.query.steps[3].type, "User");

    const Result<FollowReply> live = agent_.follow(chain.query);
    ASSERT_TRUE(live.ok()) << live.error.message;
    ASSERT_TRUE(live.value.found) << (live.value.notes.empty() ? "" : live.value.notes[0]);
    ASSERT_EQ(live.value.chain.size(), 5u);
    EXPECT_EQ(live.value.chain.front().how, "class");
    const ObjectRef& found = live.value.chain.back().object;
    EXPECT_EQ(found.type, "User");
    EXPECT_EQ(fieldPreview(agent_, found.handle, "name"), "\"user-3\"");

    // The program puts a Guest where the session was: the chain breaks at that step.
    ASSERT_TRUE(target_.swap());
    const Result<FollowReply> changed = agent_.follow(chain.query);
    ASSERT_TRUE(changed.ok()) << changed.error.message;
    EXPECT_FALSE(changed.value.found);
    EXPECT_EQ(changed.value.followed, 2);
    ASSERT_FALSE(changed.value.notes.empty());
    EXPECT_NE(changed.value.notes[0].find("step 3 ([3]) leads to a Guest now; the snapshot had a Session there"),
              std::string::npos)
        << changed.value.notes[0];
    EXPECT_EQ(changed.value.chain.back().object.type, "Guest");
}

TEST_F(FollowJvm, FromAThreadByNameAndNotFromAJniReference)
{
    uint32_t keeper = kNoObject;
    for (const ThreadInfo& t : index().threads)
        if (t.name != 0 && index().name(t.name) == "capture-keeper")
            keeper = t.object;
    ASSERT_NE(keeper, kNoObject) << "the snapshot has no thread capture-keeper";
    const LiveChain chain = chainTo(next(keeper, "held"));
    EXPECT_EQ(chain.query.rootKind, "thread");
    EXPECT_EQ(chain.query.rootName, "capture-keeper");
    const Result<FollowReply> live = agent_.follow(chain.query);
    ASSERT_TRUE(live.ok()) << live.error.message;
    ASSERT_TRUE(live.value.found) << (live.value.notes.empty() ? "" : live.value.notes[0]);
    EXPECT_EQ(fieldPreview(agent_, live.value.chain.back().object.handle, "id"), "\"kept\"");

    // The Marker only a JNI global reference holds cannot be named again.
    uint32_t pinned = kNoObject;
    const uint32_t markerClass = index().classNamed("Marker");
    for (uint32_t o = 0; o < index().graph.objects; ++o)
        if (index().classIndexOf(o) == markerClass)
            pinned = o;
    ASSERT_NE(pinned, kNoObject);
    const LiveChainResult global = liveChainTo(index(), paths_.pathTo(index().graph, pinned));
    EXPECT_FALSE(global.chain);
    EXPECT_NE(global.why.find("JNI global reference"), std::string::npos) << global.why;

    // A chain whose names are wrong is answered, not failed.
    FollowQuery wrong = chain.query;
    wrong.steps[0].name = "nothing";
    const Result<FollowReply> broken = agent_.follow(wrong);
    ASSERT_TRUE(broken.ok()) << broken.error.message;
    EXPECT_FALSE(broken.value.found);
    ASSERT_FALSE(broken.value.notes.empty());
    EXPECT_NE(broken.value.notes[0].find("Keeper has no field Keeper.nothing"), std::string::npos)
        << broken.value.notes[0];
    FollowQuery absent{"thread", "no-such-thread", {}};
    const Result<FollowReply> none = agent_.follow(absent);
    EXPECT_FALSE(none.ok());
    EXPECT_EQ(none.error.code, "not-found");
}
