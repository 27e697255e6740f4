// The snapshot's queries on a hand-built dump of a program that leaks (leaky_dump.h),
// whose answers are known: the biggest object and its sentence, paths and how roots are
// named, the dominator tree's pages, the histogram with retained sizes, instances in
// order, show with and without values, referrers, notes, suspects and comparing.
#include <gtest/gtest.h>

#include <algorithm>
#include <memory>

#include "byte_source.h"
#include "hprof_error.h"
#include "java_text.h"
#include "leaky_dump.h"
#include "object_ids.h"
#include "snapshot_queries.h"
#include "snapshot_reader.h"

namespace {

std::unique_ptr<Snapshot> snapshotOf(const std::vector<uint8_t>& bytes, bool values = true, bool weak = false)
{
    MemorySource source(bytes);
    HeapIndex index = readHeapDump(source);
    ValueReader reader;
    if (values) {
        reader = [bytes](const std::vector<uint64_t>& addresses, size_t maxArrayBytes) {
            MemorySource again(bytes);
            return readObjectValues(again, addresses, maxArrayBytes);
        };
    }
    SnapshotOptions options;
    options.weakAsStrong = weak;
    return std::make_unique<Snapshot>(std::move(index), reader, options);
}

class Leaky : public ::testing::Test {
protected:
    void SetUp() override
    {
        d = leakyDump();
        snapshot = snapshotOf(d.bytes);
    }
    uint32_t at(uint64_t address) const
    {
        const uint32_t o = snapshot->index().objectAt(address);
        EXPECT_NE(o, kNoObject) << std::hex << address;
        return o;
    }
    uint64_t shallow(uint64_t address) const { return snapshot->index().graph.shallowSize(at(address)); }
    uint32_t classObject(uint64_t address) const { return at(address); }
    // What the map alone keeps alive, by its definition: the map, its table, the nodes,
    // their keys and sessions and the sessions' data; not the guest every session shares
    // with a static.
    uint64_t mapRetained() const
    {
        uint64_t bytes = shallow(d.map) + shallow(d.table);
        for (size_t i = 0; i < d.nodes.size(); ++i)
            bytes += shallow(d.nodes[i]) + shallow(d.keys[i]) + shallow(d.keyBytes[i]) + shallow(d.sessions[i]) +
                     shallow(d.data[i]);
        return bytes;
    }

    LeakyDump d;
    std::unique_ptr<Snapshot> snapshot;
};

TEST_F(Leaky, TopNamesTheMapWhoHoldsItAndWhereItsMemoryIs)
{
    const TopReply top = snapshot->top(5);
    ASSERT_FALSE(top.rows.empty());
    const BigObjectRow& big = top.rows[0];
    EXPECT_EQ(big.object.object, at(d.map));
    EXPECT_EQ(big.object.id, snapshotId(at(d.map)));
    EXPECT_EQ(big.object.type, "java.util.HashMap");
    EXPECT_EQ(big.object.retained, mapRetained());
    EXPECT_DOUBLE_EQ(big.object.share, static_cast<double>(mapRetained()) / top.heap.reachableBytes);
    EXPECT_EQ(big.accumulation.object, at(d.table));
    EXPECT_EQ(big.accumulationChildren, 19u);  // the last node hangs from the one before
    EXPECT_EQ(big.sentence, "one java.util.HashMap held by LeakyCache.SESSIONS retains " + bytesText(mapRetained()) +
                                " (" + shareText(big.object.share) +
                                "): 19 java.util.HashMap$Node holding LeakyCache$Session objects in its "
                                "java.util.HashMap$Node[]");
    // From the loader's system class, through its static, its classes, to LeakyCache's static.
    std::vector<std::string> vias;
    for (const PathHop& hop : big.path.steps)
        vias.push_back(hop.via);
    EXPECT_EQ(vias, (std::vector<std::string>{"", "static APP_LOADER", "classes", "[0]", "static SESSIONS"}));
    EXPECT_EQ(big.path.steps[3].object.object, classObject(d.leakyClass));
    ASSERT_FALSE(big.path.roots.empty());
    EXPECT_EQ(big.path.roots[0].description, "system class jdk.internal.loader.ClassLoaders$AppClassLoader");

    // No object reported holds another.
    const DominatorTree& tree = snapshot->analysis().tree;
    for (const BigObjectRow& a : top.rows) {
        for (const BigObjectRow& b : top.rows) {
            for (uint32_t up = tree.dominatorOf(b.object.object); up < kVirtualRoot; up = tree.dominatorOf(up))
                EXPECT_NE(up, a.object.object) << a.object.id << " holds " << b.object.id;
        }
        EXPECT_LE(a.object.retained, big.object.retained);
    }
}

TEST_F(Leaky, PathsNameTheirRootsAsPeopleDo)
{
    const RootPathReply sub = snapshot->path(at(d.sub));
    EXPECT_EQ(sub.found, "strong");
    ASSERT_EQ(sub.steps.size(), 2u);
    EXPECT_EQ(sub.steps[0].object.object, at(d.locals));
    EXPECT_EQ(sub.steps[1].via, "[0]");
    ASSERT_EQ(sub.roots.size(), 1u);
    EXPECT_EQ(sub.roots[0].kind, "Java frame");
    EXPECT_EQ(sub.roots[0].thread, "main");
    EXPECT_EQ(sub.roots[0].method, "LeakyCache.main");
    EXPECT_EQ(sub.roots[0].description, "Java frame of thread \"main\" in LeakyCache.main");
    EXPECT_EQ(sub.heldBy, "element 0 of a java.lang.Object[]");

    const RootPathReply data = snapshot->path(at(d.data[2]));
    ASSERT_GE(data.steps.size(), 2u);
    EXPECT_EQ(data.steps.back().via, "data");
    EXPECT_EQ(data.heldBy, "LeakyCache$Session.data");

    const RootPathReply weak = snapshot->path(at(d.weak));
    ASSERT_EQ(weak.roots.size(), 1u);
    EXPECT_EQ(weak.roots[0].description, "JNI global reference");
    EXPECT_EQ(weak.heldBy, "JNI global reference");

    const RootPathReply weakly = snapshot->path(at(d.weakly));
    EXPECT_EQ(weakly.found, "weak");
    ASSERT_EQ(weakly.steps.size(), 2u);
    EXPECT_EQ(weakly.steps[1].via, "referent");
    EXPECT_TRUE(weakly.steps[1].weak);
    EXPECT_NE(weakly.notes.front().find("reachable only through"), std::string::npos);

    const RootPathReply garbage = snapshot->path(at(d.garbage));
    EXPECT_EQ(garbage.found, "none");
    EXPECT_TRUE(garbage.steps.empty());
    EXPECT_EQ(garbage.notes.front(), "no chain of references from a GC root reaches " + snapshotId(at(d.garbage)) +
                                         ": it is garbage the next collection frees");
    EXPECT_FALSE(garbage.target.reachable);
    EXPECT_EQ(garbage.target.retained, 0u);
}

TEST_F(Leaky, ObjectsAreNamedByNumberOrAddressAndNothingElse)
{
    const uint32_t map = at(d.map);
    EXPECT_EQ(snapshot->objectNamed(snapshotId(map)), map);
    EXPECT_EQ(snapshot->objectNamed(" " + snapshotId(map) + " "), map);
    EXPECT_EQ(snapshot->objectNamed(hexText(d.map)), map);
    auto error = [&](const std::string& id) {
        try {
            snapshot->objectNamed(id);
        } catch (const SnapshotError& e) {
            return std::string(e.what());
        }
        return std::string("no error");
    };
    const uint32_t objects = snapshot->index().graph.objects;
    EXPECT_EQ(error(snapshotId(objects)), snapshotId(objects) + " names no object: the snapshot's objects are s0 to " +
                                              snapshotId(objects - 1));
    EXPECT_NE(error("1a2b").find("is a live handle"), std::string::npos);
    EXPECT_NE(error("#12").find("names no snapshot object"), std::string::npos);
    EXPECT_NE(error(hexText(d.absent)).find("no object of the snapshot is at"), std::string::npos);
    EXPECT_NE(error("s").find("names no snapshot object"), std::string::npos);
    EXPECT_NE(error("s99999999999999999999").find("names no object"), std::string::npos);
}

TEST_F(Leaky, DominatorsComeInPagesLargestFirst)
{
    const DominatorsReply first = snapshot->dominators(at(d.table), 0, 2);
    EXPECT_FALSE(first.top);
    EXPECT_EQ(first.parent.object, at(d.table));
    EXPECT_EQ(first.total, 19u);
    ASSERT_EQ(first.rows.size(), 2u);
    // Node 18 holds node 19 and the largest data; then node 17, and so on down.
    EXPECT_EQ(first.rows[0].object.object, at(d.nodes[18]));
    EXPECT_EQ(first.rows[0].dominated, 3u);  // its key, its session, node 19
    EXPECT_EQ(first.rows[1].object.object, at(d.nodes[17]));
    const DominatorsReply last = snapshot->dominators(at(d.table), 17, 5);
    ASSERT_EQ(last.rows.size(), 2u);
    EXPECT_EQ(last.offset, 17u);
    EXPECT_EQ(last.rows[0].object.object, at(d.nodes[1]));
    EXPECT_EQ(last.rows[1].object.object, at(d.nodes[0]));
    EXPECT_TRUE(snapshot->dominators(at(d.table), 19, 2).rows.empty());

    const DominatorsReply top = snapshot->dominators(kVirtualRoot, 0, 1000);
    EXPECT_TRUE(top.top);
    EXPECT_EQ(top.rows.size(), top.total);
    auto listed = [&](uint32_t o) {
        return std::any_of(top.rows.begin(), top.rows.end(), [&](const DominatedRow& r) { return r.object.object == o; });
    };
    EXPECT_TRUE(listed(at(d.locals)) && listed(at(d.weak)) && listed(at(d.thread)));
    EXPECT_FALSE(listed(at(d.map)) || listed(classObject(d.leakyClass)));
    for (size_t i = 1; i < top.rows.size(); ++i)
        EXPECT_GE(top.rows[i - 1].object.retained, top.rows[i].object.retained);

    const DominatorsReply garbage = snapshot->dominators(at(d.garbage), 0, 10);
    EXPECT_EQ(garbage.total, 0u);
    EXPECT_NE(garbage.notes.front().find("not reachable"), std::string::npos);
}

TEST_F(Leaky, HistogramGivesRetainedBytesBesideShallowOnes)
{
    const HistogramReply all = snapshot->histogram({});
    EXPECT_EQ(all.objects, snapshot->index().graph.objects);
    EXPECT_EQ(all.rows.size(), all.classes);
    auto rowOf = [](const HistogramReply& h, const std::string& name) {
        auto found = std::find_if(h.rows.begin(), h.rows.end(), [&](const HistogramRow& r) { return r.className == name; });
        return found == h.rows.end() ? HistogramRow{} : *found;
    };
    const HistogramRow sessions = rowOf(all, "LeakyCache$Session");
    EXPECT_EQ(sessions.objects, 20u);
    uint64_t shallowSum = 0, retainedSum = 0;
    for (size_t i = 0; i < d.sessions.size(); ++i) {
        shallowSum += shallow(d.sessions[i]);
        retainedSum += snapshot->row(at(d.sessions[i])).retained;
    }
    EXPECT_EQ(sessions.shallow, shallowSum);
    EXPECT_EQ(sessions.retained, retainedSum);
    // Nested instances count once: node 19 is inside node 18.
    uint64_t nodes = 0;
    for (int i = 0; i < 19; ++i)
        nodes += snapshot->row(at(d.nodes[i])).retained;
    EXPECT_EQ(rowOf(all, "java.util.HashMap$Node").retained, nodes);
    for (size_t i = 1; i < all.rows.size(); ++i)
        EXPECT_GE(all.rows[i - 1].shallow, all.rows[i].shallow);

    HistogramQuery query;
    query.byRetained = true;
    query.match = "HashMap";
    const HistogramReply maps = snapshot->histogram(query);
    ASSERT_EQ(maps.rows.size(), 3u);
    EXPECT_EQ(maps.rows[0].className, "java.util.HashMap");
    EXPECT_EQ(maps.rows[0].retained, mapRetained());
    EXPECT_EQ(maps.rows[1].type, "java.util.HashMap$Node[]");
    EXPECT_EQ(maps.rows[1].className, "[Ljava.util.HashMap$Node;");
    EXPECT_EQ(maps.classes, all.classes);
    query.limit = 1;
    EXPECT_EQ(snapshot->histogram(query).rows.size(), 1u);
    EXPECT_EQ(snapshot->histogram(query).matched, 3u);
}

TEST_F(Leaky, InstancesComeLargestRetainedFirstWithSubclassesIfAsked)
{
    const InstancesReply sessions = snapshot->instances("LeakyCache$Session", false, 0, 30);
    EXPECT_EQ(sessions.total, 20u);
    ASSERT_EQ(sessions.rows.size(), 20u);
    for (int i = 0; i < 20; ++i)
        EXPECT_EQ(sessions.rows[i].object, at(d.sessions[19 - i]));
    const InstancesReply page = snapshot->instances("LeakyCache$Session", false, 1, 2);
    EXPECT_EQ(page.total, 20u);
    ASSERT_EQ(page.rows.size(), 2u);
    EXPECT_EQ(page.rows[0].object, at(d.sessions[18]));
    EXPECT_EQ(page.rows[1].object, at(d.sessions[17]));

    EXPECT_EQ(snapshot->instances("App$Base", false, 0, 10).total, 1u);
    const InstancesReply family = snapshot->instances("App$Base", true, 0, 10);
    EXPECT_EQ(family.total, 2u);
    EXPECT_EQ(family.classes, 2u);
    EXPECT_EQ(snapshot->instances("byte[]", false, 0, 1).className, "[B");
    EXPECT_EQ(snapshot->instances("java/util/HashMap", false, 0, 1).rows.at(0).object, at(d.map));
    EXPECT_EQ(snapshot->instances("java.util.HashMap$Node[]", false, 0, 1).total, 1u);
    EXPECT_THROW(snapshot->instances("no.such.Type", false, 0, 1), SnapshotError);
}

TEST_F(Leaky, ShowGivesValuesReadAgainAndTheirTargetsSizes)
{
    auto slot = [](const ObjectReply& r, const std::string& how, const std::string& name) {
        auto found = std::find_if(r.slots.begin(), r.slots.end(),
                                  [&](const ObjectSlot& s) { return s.how == how && s.name == name; });
        return found == r.slots.end() ? ObjectSlot{} : *found;
    };
    const ObjectReply sub = snapshot->show(at(d.sub));
    EXPECT_TRUE(sub.values);
    EXPECT_EQ(sub.address, hexText(d.sub));
    EXPECT_EQ(slot(sub, "field", "y").value, "4886718345");
    EXPECT_EQ(slot(sub, "field", "y").declaredType, "long");
    EXPECT_EQ(slot(sub, "field", "x").value, "-7");
    EXPECT_EQ(slot(sub, "field", "x").declaringClass, "App$Base");
    EXPECT_EQ(slot(sub, "class", "").target.preview, "class App$Sub");

    const ObjectReply session = snapshot->show(at(d.sessions[1]));
    EXPECT_EQ(slot(session, "field", "id").target.preview, "\"s1\"");
    EXPECT_EQ(slot(session, "field", "data").target.object, at(d.data[1]));
    EXPECT_EQ(slot(session, "field", "data").target.retained, shallow(d.data[1]));
    EXPECT_EQ(session.dominator.object, at(d.nodes[1]));

    const ObjectReply key = snapshot->show(at(d.keys[3]));
    EXPECT_TRUE(key.hasText);
    EXPECT_EQ(key.text, "s3");

    const ObjectReply table = snapshot->show(at(d.table), 0, 3);
    EXPECT_EQ(table.length, 32);
    EXPECT_EQ(table.elements, 32u);
    EXPECT_EQ(slot(table, "element", "0").value, "(" + hexText(d.absent) + ", which the dump leaves out)");
    EXPECT_EQ(slot(table, "element", "1").target.object, at(d.nodes[0]));
    EXPECT_EQ(slot(table, "element", "2").target.object, at(d.nodes[1]));
    EXPECT_EQ(slot(table, "element", "3").how, "");  // past the page
    const ObjectReply end = snapshot->show(at(d.table), 19, 3);
    EXPECT_EQ(slot(end, "element", "19").target.object, at(d.nodes[18]));
    EXPECT_EQ(slot(end, "element", "20").value, "null");

    const ObjectReply leaky = snapshot->show(classObject(d.leakyClass));
    EXPECT_EQ(slot(leaky, "static", "SESSIONS").target.object, at(d.map));
    EXPECT_EQ(slot(leaky, "static", "COUNT").value, "20");
    EXPECT_EQ(slot(leaky, "loader", "").target.type, "jdk.internal.loader.ClassLoaders$AppClassLoader");

    EXPECT_TRUE(slot(snapshot->show(at(d.weak)), "field", "referent").weak);
    EXPECT_THROW(snapshot->show(snapshot->index().graph.objects), SnapshotError);
}

TEST_F(Leaky, ShowWithoutValuesListsReferencesAndSaysWhy)
{
    const auto live = snapshotOf(d.bytes, false);
    EXPECT_FALSE(live->hasValues());
    const ObjectReply session = live->show(live->index().objectAt(d.sessions[0]));
    EXPECT_FALSE(session.values);
    std::vector<std::string> names;
    for (const ObjectSlot& s : session.slots)
        names.push_back(s.how + " " + s.name);
    EXPECT_EQ(names, (std::vector<std::string>{"class ", "field id", "field data", "field owner"}));
    EXPECT_NE(session.notes.front().find("not in this snapshot"), std::string::npos);
    // Primitive fields are not known, references are.
    const ObjectReply sub = live->show(live->index().objectAt(d.sub));
    ASSERT_EQ(sub.slots.size(), 1u);
    EXPECT_EQ(sub.slots[0].how, "class");
    // An array's references, paged by index; the null and absent elements are not known.
    const ObjectReply table = live->show(live->index().objectAt(d.table), 18, 4);
    std::vector<std::string> elements;
    for (const ObjectSlot& s : table.slots) {
        if (s.how == "element")
            elements.push_back(s.name);
    }
    EXPECT_EQ(elements, (std::vector<std::string>{"18", "19"}));
    // A class's statics are in the index, values and all.
    const ObjectReply leaky = live->show(live->index().objectAt(d.leakyClass));
    EXPECT_TRUE(std::any_of(leaky.slots.begin(), leaky.slots.end(),
                            [](const ObjectSlot& s) { return s.name == "COUNT" && s.value == "20"; }));
}

TEST_F(Leaky, ReferrersGiveEachHolderWithWhatItHoldsBy)
{
    const ReferrersReply guest = snapshot->referrers(at(d.guest), 100);
    EXPECT_EQ(guest.total, 21u);
    ASSERT_EQ(guest.rows.size(), 21u);
    int owners = 0, statics = 0;
    for (const ReferrerRow& r : guest.rows) {
        owners += r.via == "owner" && r.holder.type == "LeakyCache$Session";
        statics += r.via == "static GUEST" && r.holder.object == classObject(d.leakyClass);
    }
    EXPECT_EQ(owners, 20);
    EXPECT_EQ(statics, 1);
    EXPECT_TRUE(guest.roots.empty());
    const ReferrersReply two = snapshot->referrers(at(d.guest), 2);
    EXPECT_EQ(two.total, 21u);
    EXPECT_EQ(two.rows.size(), 2u);

    const ReferrersReply locals = snapshot->referrers(at(d.locals), 10);
    EXPECT_TRUE(locals.rows.empty());
    ASSERT_EQ(locals.roots.size(), 1u);
    EXPECT_EQ(locals.roots[0].kind, "Java frame");

    // A class object: its instances' references to their class, and its loader's list.
    const ReferrersReply sessionClass = snapshot->referrers(classObject(d.sessionClass), 100);
    EXPECT_EQ(sessionClass.total, 21u);
    ASSERT_EQ(sessionClass.rows.size(), 21u);
    EXPECT_EQ(std::count_if(sessionClass.rows.begin(), sessionClass.rows.end(),
                            [](const ReferrerRow& r) { return r.via == "<class>" && r.holder.type == "LeakyCache$Session"; }),
              20);
    EXPECT_EQ(std::count_if(sessionClass.rows.begin(), sessionClass.rows.end(),
                            [](const ReferrerRow& r) { return r.via == "[1]"; }),
              1);
    const ReferrersReply weakly = snapshot->referrers(at(d.weakly), 10);
    ASSERT_EQ(weakly.rows.size(), 1u);
    EXPECT_TRUE(weakly.rows[0].weak);
    EXPECT_EQ(weakly.rows[0].via, "referent");
}

TEST_F(Leaky, NotesSayHowRetainedSizesCountAndWhatTheDumpLeftOut)
{
    const Notes notes = snapshot->top(1).notes;
    ASSERT_GE(notes.size(), 3u);
    EXPECT_NE(notes[0].find("strong references only"), std::string::npos);
    EXPECT_EQ(notes[1].rfind("2 objects (", 0), 0u) << notes[1];  // the weakly held and the garbage
    EXPECT_TRUE(std::any_of(notes.begin(), notes.end(),
                            [](const std::string& n) { return n.find("2 references named 1 objects") == 0; }));
    // Counting referents as MAT does: the weak reference retains its referent.
    const auto mat = snapshotOf(d.bytes, true, true);
    EXPECT_NE(mat->notes()[0].find("as Eclipse MAT does"), std::string::npos);
    const uint32_t weak = mat->index().objectAt(d.weak);
    EXPECT_EQ(mat->row(weak).retained, shallow(d.weak) + shallow(d.weakly));
    EXPECT_EQ(snapshot->row(at(d.weak)).retained, shallow(d.weak));
    EXPECT_EQ(mat->summary().unreachableObjects, 1u);
}

TEST_F(Leaky, SuspectsAreTheObjectsAboveTheThreshold)
{
    const double share = snapshot->row(at(d.map)).share;
    const SuspectsReply some = snapshot->suspects(share - 0.01);
    ASSERT_EQ(some.rows.size(), 1u);
    EXPECT_EQ(some.rows[0].object.object, at(d.map));
    EXPECT_EQ(some.rows[0].sentence, snapshot->top(1).rows[0].sentence);
    const SuspectsReply none = snapshot->suspects(share + 0.01);
    EXPECT_TRUE(none.rows.empty());
    EXPECT_EQ(none.notes.front(), "no object retains " + shareText(share + 0.01) + " of the heap or more");
}

TEST(SnapshotCompare, PerClassGrowthOfOneProgramAndRefusalOfAnother)
{
    const ClassProfile before = snapshotOf(leakyDump("LeakyCache", 10).bytes)->profile();
    const ClassProfile after = snapshotOf(leakyDump("LeakyCache", 20).bytes)->profile();
    EXPECT_EQ(before.mainMethod, "LeakyCache.main");
    // The main thread's name could not be read: the thread that runs main still tells.
    EXPECT_EQ(snapshotOf(leakyDump("LeakyCache", 10, false).bytes)->profile().mainMethod, "LeakyCache.main");
    EXPECT_EQ(before.applicationClasses,
              (std::vector<std::string>{"App$Base", "App$Sub", "LeakyCache", "LeakyCache$Session"}));
    const CompareReply grew = compareSnapshots(before, after);
    ASSERT_TRUE(grew.comparable) << grew.refusal;
    auto delta = [&](const std::string& name) {
        auto found = std::find_if(grew.rows.begin(), grew.rows.end(), [&](const ClassDelta& d) { return d.className == name; });
        return found == grew.rows.end() ? ClassDelta{} : *found;
    };
    EXPECT_EQ(delta("LeakyCache$Session").objects, 10);
    EXPECT_EQ(delta("LeakyCache$Session").objectsAfter, 20u);
    EXPECT_EQ(delta("java.util.HashMap$Node").objects, 10);
    EXPECT_GT(delta("java.util.HashMap").retained, 0);
    EXPECT_EQ(delta("java.lang.Thread").className, "");  // unchanged classes are left out
    for (size_t i = 1; i < grew.rows.size(); ++i)
        EXPECT_GE(grew.rows[i - 1].retained, grew.rows[i].retained);
    EXPECT_EQ(grew.objects, static_cast<int64_t>(after.objects - before.objects));
    EXPECT_EQ(compareSnapshots(before, after, 2).rows.size(), 2u);

    const ClassProfile other = snapshotOf(leakyDump("OtherProgram").bytes)->profile();
    const CompareReply refused = compareSnapshots(before, other);
    EXPECT_FALSE(refused.comparable);
    EXPECT_EQ(refused.refusal, "these are two different programs: the first runs LeakyCache.main, the second "
                               "OtherProgram.main");
    EXPECT_TRUE(refused.rows.empty());

    // Without a main thread to tell, the application classes do.
    ClassProfile a = before, b = other;
    a.mainMethod.clear();
    b.mainMethod.clear();
    b.applicationClasses = {"OtherProgram", "OtherProgram$Session", "Tool"};
    const CompareReply apart = compareSnapshots(a, b);
    EXPECT_FALSE(apart.comparable);
    EXPECT_NE(apart.refusal.find("0 are in both"), std::string::npos) << apart.refusal;
    EXPECT_NE(apart.refusal.find("only in the first: App$Base, App$Sub, LeakyCache and 1 more"), std::string::npos)
        << apart.refusal;
    b.applicationClasses = {"App$Base", "App$Sub", "LeakyCache", "Tool"};
    EXPECT_TRUE(compareSnapshots(a, b).comparable);
}

}  // namespace
