// The collection readers over a hand-built heap: the iterators' orders where a live JVM
// cannot be made to show them (a resize in progress, chosen hashes), paging, and every
// way a layout can be other than expected, which must show the fields with why instead.
#include <gtest/gtest.h>

#include "collection_reader.h"
#include "fake_heap.h"

namespace {

struct Pair {
    std::string key, value;
    int hash;
};

const char* kMap = "java.util.HashMap";
const char* kNode = "java.util.HashMap$Node";

// A HashMap as HashMap.putVal leaves it: each node at the end of its bin's chain.
std::string hashMap(FakeHeap& heap, size_t capacity, const std::vector<Pair>& pairs, std::vector<std::string>* nodes = nullptr)
{
    std::vector<std::string> bins(capacity), tails(capacity);
    for (const Pair& p : pairs) {
        const std::string node = heap.object(kNode);
        heap.number(node, kNode, "hash", p.hash);
        heap.ref(node, kNode, "key", p.key.empty() ? "" : heap.string(p.key));
        heap.ref(node, kNode, "value", p.value.empty() ? "" : heap.string(p.value));
        heap.ref(node, kNode, "next", "");
        const size_t bin = static_cast<unsigned>(p.hash) & (capacity - 1);
        if (tails[bin].empty())
            bins[bin] = node;
        else
            heap.ref(tails[bin], kNode, "next", node);
        tails[bin] = node;
        if (nodes)
            nodes->push_back(node);
    }
    const std::string table = heap.array("[Ljava.util.HashMap$Node;", bins);
    const std::string map = heap.object(kMap);
    heap.ref(map, kMap, "table", table);
    heap.number(map, kMap, "size", static_cast<long long>(pairs.size()));
    return map;
}

std::vector<std::string> labels(const CollectionPage& page)
{
    std::vector<std::string> out;
    for (const CollectionEntry& e : page.entries)
        out.push_back(entryLabel(e.key) + (page.shape == CollectionShape::map ? "=" + entryLabel(e.value) : ""));
    return out;
}

CollectionPage readAll(FakeHeap& heap, const std::string& handle)
{
    CollectionReader reader(heap, handle);
    Result<CollectionPage> page = reader.page(0, 1000);
    EXPECT_TRUE(page.ok()) << page.error.message;
    return page.value;
}

using Strings = std::vector<std::string>;

TEST(CollectionReader, HashMapGoesUpTheTableAndAlongEachChain)
{
    FakeHeap heap;
    const std::string map = hashMap(heap, 8, {{"a", "1", 5}, {"b", "2", 1}, {"c", "3", 13}, {"", "4", 0}});
    const CollectionPage page = readAll(heap, map);
    ASSERT_TRUE(page.read) << page.note;
    EXPECT_EQ(page.size, 4);
    EXPECT_EQ(page.capacity, 8);
    EXPECT_TRUE(page.complete);
    EXPECT_EQ(labels(page), (Strings{"null=\"4\"", "\"b\"=\"2\"", "\"a\"=\"1\"", "\"c\"=\"3\""}));
    EXPECT_FALSE(page.entries[0].holder.empty());
    EXPECT_EQ(page.entries[3].position, 3);
}

TEST(CollectionReader, PagesGoOnWhereTheLastStoppedAndAnotherOffsetStartsAgain)
{
    FakeHeap heap;
    std::vector<Pair> pairs;
    for (int i = 0; i < 50; ++i)
        pairs.push_back({"k" + std::to_string(i), "v" + std::to_string(i), i * 7});
    const std::string map = hashMap(heap, 64, pairs);
    CollectionReader reader(heap, map);
    Strings all;
    for (long long offset = 0;; offset += 7) {
        Result<CollectionPage> page = reader.page(offset, 7);
        ASSERT_TRUE(page.ok() && page.value.read) << page.value.note;
        for (const std::string& l : labels(page.value))
            all.push_back(l);
        if (page.value.complete)
            break;
    }
    ASSERT_EQ(all.size(), 50u);
    Result<CollectionPage> again = reader.page(21, 3);
    ASSERT_TRUE(again.ok() && again.value.read);
    EXPECT_EQ(labels(again.value), Strings(all.begin() + 21, all.begin() + 24));
    EXPECT_FALSE(again.value.complete);
}

TEST(CollectionReader, APageOfManyNodesTakesFewReads)
{
    FakeHeap heap;
    std::vector<Pair> pairs;
    for (int i = 0; i < 3000; ++i)  // chains of up to three nodes
        pairs.push_back({"k" + std::to_string(i), "v", i % 1024});
    const std::string map = hashMap(heap, 1024, pairs);
    CollectionReader reader(heap, map);
    const int before = heap.reads;
    Result<CollectionPage> page = reader.page(0, 1000);
    ASSERT_TRUE(page.ok() && page.value.read) << page.value.note;
    EXPECT_EQ(page.value.entries.size(), 1000u);
    EXPECT_LE(heap.reads - before, 8);
}

TEST(CollectionReader, LayoutsOtherThanExpectedShowTheFieldsWithWhy)
{
    struct Case {
        const char* name;
        void (*spoil)(FakeHeap&, const std::string& map, const std::vector<std::string>& nodes);
        const char* why;
    };
    const Case cases[] = {
        {"missing field", [](FakeHeap& h, const std::string& m, const auto&) { h.removeField(m, "size"); },
         "java.util.HashMap.size is missing"},
        {"field of another type",
         [](FakeHeap& h, const std::string& m, const auto&) { h.ref(m, kMap, "size", h.string("x")); },
         "not a whole number"},
        {"node of another class",
         [](FakeHeap& h, const std::string&, const auto& n) { h.retype(n[1], "java.util.Hashtable$Entry"); },
         "is not a java.util.HashMap$Node"},
        {"hash in the wrong bin",
         [](FakeHeap& h, const std::string&, const auto& n) { h.number(n[2], kNode, "hash", 6); },
         "belongs in bin 2"},
        {"fewer entries than size",
         [](FakeHeap& h, const std::string& m, const auto&) { h.number(m, kMap, "size", 5); },
         "counted 4 entries in the table, but its size says 5"},
        {"more entries than size",
         [](FakeHeap& h, const std::string& m, const auto&) { h.number(m, kMap, "size", 3); },
         "more than the 3"},
        {"a cycle", [](FakeHeap& h, const std::string&, const auto& n) { h.ref(n[2], kNode, "next", n[0]); },
         "(a cycle)"},
    };
    for (const Case& c : cases) {
        FakeHeap heap;
        std::vector<std::string> nodes;
        // Bin 1 holds a chain of three; bin 3 one node.
        const std::string map = hashMap(heap, 4, {{"a", "1", 1}, {"b", "2", 5}, {"c", "3", 9}, {"d", "4", 3}}, &nodes);
        c.spoil(heap, map, nodes);
        const CollectionPage page = readAll(heap, map);
        EXPECT_FALSE(page.read) << c.name;
        EXPECT_NE(page.note.find(c.why), std::string::npos) << c.name << ": " << page.note;
        EXPECT_TRUE(page.entries.empty()) << c.name;
    }
}

TEST(CollectionReader, WrappersAndSetsOverMapsAreReadThroughAndSaySo)
{
    FakeHeap heap;
    const std::string map = hashMap(heap, 4, {{"x", "", 2}, {"y", "", 1}});
    const std::string set = heap.object("java.util.HashSet");
    heap.ref(set, "java.util.HashSet", "map", map);
    const std::string wrapper = heap.object("java.util.Collections$UnmodifiableSet");
    heap.ref(wrapper, "java.util.Collections$UnmodifiableCollection", "c", set);
    const CollectionPage page = readAll(heap, wrapper);
    ASSERT_TRUE(page.read) << page.note;
    EXPECT_EQ(page.kind, "java.util.HashSet");
    EXPECT_EQ(page.shape, CollectionShape::set);
    EXPECT_EQ(labels(page), (Strings{"\"y\"", "\"x\""}));
    ASSERT_EQ(page.unwrapped.size(), 2u);
    EXPECT_NE(page.unwrapped[0].find("Collections$UnmodifiableSet @" + wrapper + " wraps java.util.HashSet"),
              std::string::npos);
    EXPECT_NE(page.unwrapped[1].find("as the keys of java.util.HashMap @" + map), std::string::npos);

    const std::string odd = heap.object("java.util.Collections$SynchronizedMap");
    heap.ref(odd, "java.util.Collections$SynchronizedMap", "m", heap.object("com.example.Custom"));
    const CollectionPage wrapsOther = readAll(heap, odd);
    EXPECT_FALSE(wrapsOther.read);
    EXPECT_NE(wrapsOther.note.find("not read as a collection"), std::string::npos);

    const CollectionPage plain = readAll(heap, heap.object("com.example.Custom"));
    EXPECT_FALSE(plain.read);
    EXPECT_TRUE(plain.note.empty());
}

TEST(CollectionReader, HashtableWalksItsTableDownFromTheTop)
{
    FakeHeap heap;
    const char* entry = "java.util.Hashtable$Entry";
    auto node = [&](const char* key, int hash, const std::string& next) {
        const std::string n = heap.object(entry);
        heap.number(n, entry, "hash", hash);
        heap.ref(n, entry, "key", heap.string(key));
        heap.ref(n, entry, "value", heap.string(std::string(key) + "!"));
        heap.ref(n, entry, "next", next);
        return n;
    };
    // Bins by (hash & 0x7FFFFFFF) % 5: -2 goes to (2147483646 % 5) = 1.
    const std::string table = heap.array("[Ljava.util.Hashtable$Entry;",
                                         {"", node("p", -2, node("q", 6, "")), "", "", node("r", 4, "")});
    const std::string map = heap.object("java.util.Hashtable");
    heap.ref(map, "java.util.Hashtable", "table", table);
    heap.number(map, "java.util.Hashtable", "count", 3);
    const CollectionPage page = readAll(heap, map);
    ASSERT_TRUE(page.read) << page.note;
    EXPECT_EQ(labels(page), (Strings{"\"r\"=\"r!\"", "\"p\"=\"p!\"", "\"q\"=\"q!\""}));
}

// ConcurrentHashMap while a resize moves bins into nextTable: a ForwardingNode sends the
// Traverser to that bin's two halves in the new table, then back to the old one.
TEST(CollectionReader, ConcurrentHashMapFollowsForwardingNodesMidResize)
{
    FakeHeap heap;
    const char* chm = "java.util.concurrent.ConcurrentHashMap";
    const char* node = "java.util.concurrent.ConcurrentHashMap$Node";
    auto n = [&](const char* key, int hash, const std::string& next = {}) {
        const std::string h = heap.object(node);
        heap.number(h, node, "hash", hash);
        heap.ref(h, node, "key", heap.string(key));
        heap.ref(h, node, "val", heap.string(std::string("v") + key));
        heap.ref(h, node, "next", next);
        return h;
    };
    const std::string newTable = heap.array("[Ljava.util.concurrent.ConcurrentHashMap$Node;",
                                            {n("a", 0), "", n("b", 2, n("c", 6)), ""});
    const char* fwd = "java.util.concurrent.ConcurrentHashMap$ForwardingNode";
    const std::string forwarding = heap.object(fwd);
    heap.number(forwarding, node, "hash", -1);
    heap.ref(forwarding, fwd, "nextTable", newTable);
    const std::string oldTable =
        heap.array("[Ljava.util.concurrent.ConcurrentHashMap$Node;", {forwarding, n("d", 3, n("e", 1))});
    const std::string map = heap.object(chm);
    heap.ref(map, chm, "table", oldTable);
    heap.number(map, chm, "baseCount", 4, "long");
    const char* cell = "java.util.concurrent.ConcurrentHashMap$CounterCell";
    const std::string c = heap.object(cell);
    heap.number(c, cell, "value", 1, "long");
    heap.ref(map, chm, "counterCells", heap.array("[Ljava.util.concurrent.ConcurrentHashMap$CounterCell;", {c, ""}));
    const CollectionPage page = readAll(heap, map);
    ASSERT_TRUE(page.read) << page.note;
    EXPECT_EQ(page.size, 5);
    EXPECT_EQ(labels(page), (Strings{"\"a\"=\"va\"", "\"b\"=\"vb\"", "\"c\"=\"vc\"", "\"d\"=\"vd\"", "\"e\"=\"ve\""}));
}

TEST(CollectionReader, TreeMapInKeyOrderAcrossPagesAndItsParentLinksChecked)
{
    FakeHeap heap;
    const char* e = "java.util.TreeMap$Entry";
    std::map<std::string, std::string> nodes;
    for (const char* k : {"d", "b", "f", "a", "c", "e", "g"}) {
        nodes[k] = heap.object(e);
        heap.ref(nodes[k], e, "key", heap.string(k));
        heap.ref(nodes[k], e, "value", "");
    }
    auto link = [&](const char* parent, const char* left, const char* right) {
        heap.ref(nodes[parent], e, "left", left ? nodes[left] : "");
        heap.ref(nodes[parent], e, "right", right ? nodes[right] : "");
        for (const char* c : {left, right})
            if (c)
                heap.ref(nodes[c], e, "parent", nodes[parent]);
    };
    heap.ref(nodes["d"], e, "parent", "");
    link("d", "b", "f");
    link("b", "a", "c");
    link("f", "e", "g");
    for (const char* leaf : {"a", "c", "e", "g"})
        link(leaf, nullptr, nullptr);
    const std::string map = heap.object("java.util.TreeMap");
    heap.ref(map, "java.util.TreeMap", "root", nodes["d"]);
    heap.number(map, "java.util.TreeMap", "size", 7);

    CollectionReader reader(heap, map);
    Strings all;
    for (long long offset = 0; offset < 7; offset += 3) {
        Result<CollectionPage> page = reader.page(offset, 3);
        ASSERT_TRUE(page.ok() && page.value.read) << page.value.note;
        EXPECT_EQ(page.value.capacity, -1);
        for (const std::string& l : labels(page.value))
            all.push_back(l);
    }
    EXPECT_EQ(all, (Strings{"\"a\"=null", "\"b\"=null", "\"c\"=null", "\"d\"=null", "\"e\"=null", "\"f\"=null",
                            "\"g\"=null"}));

    heap.ref(nodes["c"], e, "parent", nodes["d"]);
    const CollectionPage broken = readAll(heap, map);
    EXPECT_FALSE(broken.read);
    EXPECT_NE(broken.note.find("does not name it as its parent"), std::string::npos) << broken.note;
}

TEST(CollectionReader, ListsAndDequesInArrayOrderAndLinkedListCyclesCaught)
{
    FakeHeap heap;
    const std::string s1 = heap.string("one"), s2 = heap.string("two"), s3 = heap.string("three");
    const std::string deque = heap.object("java.util.ArrayDeque");
    heap.ref(deque, "java.util.ArrayDeque", "elements", heap.array("[Ljava.lang.Object;", {s3, "", "", s1, s2}));
    heap.number(deque, "java.util.ArrayDeque", "head", 3);
    heap.number(deque, "java.util.ArrayDeque", "tail", 1);
    const CollectionPage d = readAll(heap, deque);
    ASSERT_TRUE(d.read) << d.note;
    EXPECT_EQ(d.size, 3);
    EXPECT_EQ(d.capacity, 5);
    EXPECT_EQ(labels(d), (Strings{"\"one\"", "\"two\"", "\"three\""}));

    const char* ll = "java.util.LinkedList";
    const char* node = "java.util.LinkedList$Node";
    const std::string n1 = heap.object(node), n2 = heap.object(node);
    heap.ref(n1, node, "item", s1);
    heap.ref(n1, node, "next", n2);
    heap.ref(n2, node, "item", "");
    heap.ref(n2, node, "next", n1);
    const std::string list = heap.object(ll);
    heap.ref(list, ll, "first", n1);
    heap.number(list, ll, "size", 4);
    const CollectionPage cyclic = readAll(heap, list);
    EXPECT_FALSE(cyclic.read);
    EXPECT_NE(cyclic.note.find("(a cycle)"), std::string::npos) << cyclic.note;
}

TEST(CollectionReader, ImmutableSetsNeedTheirSaltAndFollowIt)
{
    FakeHeap heap;
    const char* setN = "java.util.ImmutableCollections$SetN";
    const std::string a = heap.string("a"), b = heap.string("b"), c = heap.string("c");
    const std::string set = heap.object(setN);
    heap.ref(set, setN, "elements", heap.array("[Ljava.lang.Object;", {a, "", b, "", "", c}));
    heap.number(set, setN, "size", 3);
    const CollectionPage unknown = readAll(heap, set);
    EXPECT_FALSE(unknown.read);
    EXPECT_NE(unknown.note.find("SALT32L"), std::string::npos) << unknown.note;

    // SALT32L 0x80000001: odd, so not REVERSE: from index (salt * 6) >> 32 = 3 downwards.
    heap.staticValue("java.util.ImmutableCollections", "SALT32L", "long", std::to_string(0x80000001LL));
    heap.staticValue("java.util.ImmutableCollections", "REVERSE", "boolean", "false");
    heap.staticRef("java.util.ImmutableCollections", "EMPTY", heap.object("java.lang.Object"));
    const CollectionPage page = readAll(heap, set);
    ASSERT_TRUE(page.read) << page.note;
    EXPECT_EQ(labels(page), (Strings{"\"b\"", "\"a\"", "\"c\""}));
}

TEST(CollectionReader, ASourceThatFailsFailsThePage)
{
    FakeHeap heap;
    const std::string map = hashMap(heap, 4, {{"a", "1", 1}});
    CollectionReader reader(heap, map);
    heap.failing = true;
    Result<CollectionPage> page = reader.page(0, 10);
    EXPECT_FALSE(page.ok());
    EXPECT_EQ(page.error.failure, Failure::closed);
    heap.failing = false;
    page = reader.page(0, 10);
    ASSERT_TRUE(page.ok());
    EXPECT_TRUE(page.value.read);
}

}  // namespace
