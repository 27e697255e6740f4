#include <gtest/gtest.h>

#include <vector>

#include "object_details.h"
#include "object_list.h"
#include "trace_capture.h"

namespace {

// Descriptors for the lists under test; they live for the whole run.
DescriptorRegistry& test_registry()
{
    static DescriptorRegistry r;
    return r;
}

std::vector<ObjectDetails*> make_descriptors(int n)
{
    std::vector<ObjectDetails*> v;
    for (int i = 0; i < n; i++) v.push_back(test_registry().new_object_descriptor());
    return v;
}

// Entries of the filled prefix, as a walk along the chain sees them.
std::vector<ObjectDetails*> entries(const ObjList& l)
{
    std::vector<ObjectDetails*> out;
    for (const ObjNode* n = &l.head; n && n->obj; n = n->nlist.get()) out.push_back(n->obj);
    return out;
}

size_t chain_length(const ObjList& l)
{
    size_t len = 0;
    for (const ObjNode* n = &l.head; n; n = n->nlist.get()) len++;
    return len;
}

TEST(ObjList, NewListIsOneEmptyNode)
{
    ObjList l;
    EXPECT_EQ(chain_length(l), 1u);
    EXPECT_EQ(l.head.obj, nullptr);
    EXPECT_EQ(list_search(&l, nullptr), -1);
}

TEST(ObjList, AppendsInOrderAndEndsWithAnEmptyNode)
{
    auto d = make_descriptors(3);
    ObjList l;
    for (auto* x : d) add_list(&l, x, 1);
    EXPECT_EQ(entries(l), d);
    EXPECT_EQ(chain_length(l), 4u);
    EXPECT_EQ(l.tail->obj, nullptr);
    EXPECT_EQ(l.tail->plist->obj, d[2]);
    for (auto* x : d) EXPECT_EQ(list_search(&l, x), 0);
}

TEST(ObjList, DupOneKeepsEntriesDistinctDupZeroAppendsCopies)
{
    auto d = make_descriptors(2);
    ObjList l;
    add_list(&l, d[0], 1);
    add_list(&l, d[1], 1);
    add_list(&l, d[0], 1);
    EXPECT_EQ(entries(l), (std::vector<ObjectDetails*>{d[0], d[1]}));
    add_list(&l, d[0], 0);
    EXPECT_EQ(entries(l), (std::vector<ObjectDetails*>{d[0], d[1], d[0]}));
    // With a copy in the list, removal takes the last one, searching from the tail.
    remove_list(&l, d[0]);
    EXPECT_EQ(entries(l), (std::vector<ObjectDetails*>{d[0], d[1]}));
    EXPECT_EQ(list_search(&l, d[0]), 0);
}

TEST(ObjList, RemovalInTheMiddleHidesLaterEntriesFromSearch)
{
    auto d = make_descriptors(4);
    ObjList l;
    for (auto* x : d) add_list(&l, x, 1);
    remove_list(&l, d[1]);
    EXPECT_EQ(list_search(&l, d[0]), 0);
    EXPECT_EQ(list_search(&l, d[1]), -1);
    EXPECT_EQ(list_search(&l, d[2]), -1);
    EXPECT_EQ(list_search(&l, d[3]), -1);
    // So dup == 1 lets a second copy of a hidden entry in, into the hole.
    add_list(&l, d[3], 1);
    EXPECT_EQ(entries(l), (std::vector<ObjectDetails*>{d[0], d[3], d[2], d[3]}));
    EXPECT_EQ(chain_length(l), 5u);
}

TEST(ObjList, AddFillsTheFirstHole)
{
    auto d = make_descriptors(5);
    ObjList l;
    for (int i = 0; i < 4; i++) add_list(&l, d[i], 0);
    remove_list(&l, d[2]);
    remove_list(&l, d[0]);
    add_list(&l, d[4], 1);
    EXPECT_EQ(l.head.obj, d[4]);
    add_list(&l, d[0], 1);
    EXPECT_EQ(entries(l), (std::vector<ObjectDetails*>{d[4], d[1], d[0], d[3]}));
    EXPECT_EQ(l.holes, 0u);
    for (int i : {0, 1, 3, 4}) EXPECT_EQ(list_search(&l, d[i]), 0);
    EXPECT_EQ(list_search(&l, d[2]), -1);
}

TEST(ObjList, RemovingAbsentEntryChangesNothing)
{
    auto d = make_descriptors(2);
    ObjList l;
    add_list(&l, d[0], 1);
    remove_list(&l, d[1]);
    EXPECT_EQ(entries(l), std::vector<ObjectDetails*>{d[0]});
    EXPECT_EQ(l.holes, 0u);
}

TEST(ObjList, FreeLeavesAFreshEmptyList)
{
    auto d = make_descriptors(3);
    ObjList l;
    for (auto* x : d) add_list(&l, x, 1);
    remove_list(&l, d[1]);
    free_list(&l);
    EXPECT_EQ(chain_length(l), 1u);
    EXPECT_EQ(list_search(&l, d[0]), -1);
    add_list(&l, d[2], 1);
    EXPECT_EQ(entries(l), std::vector<ObjectDetails*>{d[2]});
}

TEST(ObjList, NullListsAreTracedNotDereferenced)
{
    TraceCapture cap;
    ObjectDetails* d = test_registry().new_object_descriptor();
    EXPECT_EQ(list_search(nullptr, d), -1);
    add_list(nullptr, d, 1);
    remove_list(nullptr, d);
    free_list(nullptr);
    EXPECT_EQ(cap.text(), "list_search: list == NULL\nadd_list: _list == NULL\nremove_list: _list == NULL\n"
                          "free_list: list == NULL\n");
}

TEST(ObjList, TracesAddAndPrint)
{
    auto d = make_descriptors(2);
    ObjList l;
    TraceCapture cap;
    add_list(&l, d[0], 1);
    add_list(&l, d[0], 1);
    add_list(&l, d[1], 0);
    print_list(&l.head);
    char expected[512];
    snprintf(expected, sizeof expected,
             "add_list: dup == 1,p=%x\nadd_list: not included.\nlist_register\nadd_list: end\n"
             "add_list: dup == 1,p=%x\nadd_list: already included.\n"
             "list_register\nadd_list: end\n"
             "%x %x 0 \tprint_list end",
             d[0]->handle, d[0]->handle, d[0]->handle, d[1]->handle);
    EXPECT_EQ(cap.text(), expected);
}

TEST(ObjList, QuietWhenNotTracing)
{
    TraceCapture cap(0);
    ObjList l;
    add_list(&l, test_registry().new_object_descriptor(), 1);
    print_list(&l.head);
    EXPECT_EQ(cap.text(), "");
}

// Nodes freed by one list are handed to the next without mixing up the chains.
TEST(ObjList, FreedNodesAreReusedByTheNextList)
{
    auto d = make_descriptors(5000);
    ObjList a;
    for (auto* x : d) add_list(&a, x, 0);
    free_list(&a);
    EXPECT_EQ(chain_length(a), 1u);
    ObjList b;
    for (size_t i = 0; i < d.size(); i += 2) add_list(&b, d[i], 0);
    for (size_t i = 0; i < 10; i++) add_list(&a, d[i], 0);
    EXPECT_EQ(entries(b).size(), d.size() / 2);
    EXPECT_EQ(entries(b)[1], d[2]);
    EXPECT_EQ(entries(a), std::vector<ObjectDetails*>(d.begin(), d.begin() + 10));
    EXPECT_EQ(list_search(&b, d[4998]), 0);
    EXPECT_EQ(list_search(&b, d[4999]), -1);
}

// Long chains must be released without recursing once per node.
TEST(ObjList, MillionEntryListAddsSearchesAndFrees)
{
    const int n = 1000000;
    auto d = make_descriptors(n);
    {
        ObjList l;
        for (auto* x : d) add_list(&l, x, 1);
        for (auto* x : d) add_list(&l, x, 1);  // all already there
        EXPECT_EQ(chain_length(l), static_cast<size_t>(n) + 1);
        EXPECT_EQ(list_search(&l, d[n / 2]), 0);
        for (int i = 0; i < n; i += 2) remove_list(&l, d[i]);
        EXPECT_EQ(l.holes, static_cast<size_t>(n / 2));
    }
    RootList roots;
    for (auto* x : d) root_list_append(roots, x);
}

TEST(RootList, KeepsFirstAppendOrderWithoutDuplicates)
{
    auto d = make_descriptors(3);
    RootList roots;
    root_list_append(roots, d[1]);
    root_list_append(roots, d[0]);
    root_list_append(roots, d[1]);
    root_list_append(roots, d[2]);
    std::vector<ObjectDetails*> seen;
    for (RootNode* n = roots.root_objs.get(); n; n = n->next.get()) seen.push_back(n->objd);
    EXPECT_EQ(seen, (std::vector<ObjectDetails*>{d[1], d[0], d[2]}));
    EXPECT_EQ(roots.prev_root_objs->objd, d[2]);
    EXPECT_TRUE(root_list_contains(roots, d[0]));

    free_root_objects(roots);
    EXPECT_EQ(roots.root_objs, nullptr);
    EXPECT_EQ(roots.prev_root_objs, nullptr);
    EXPECT_FALSE(root_list_contains(roots, d[0]));
    root_list_append(roots, d[0]);
    EXPECT_EQ(roots.root_objs->objd, d[0]);
}

TEST(RootList, TracesFirstAndLaterAppends)
{
    auto d = make_descriptors(2);
    RootList roots;
    TraceCapture cap;
    free_root_objects(roots);
    root_list_append(roots, d[0]);
    root_list_append(roots, d[1]);
    root_list_append(roots, d[1]);
    std::string t = cap.text();
    EXPECT_EQ(t.rfind("free_root_objects: obj == NULL\nroot_objs == NULL\n0:root_objs=", 0), 0u) << t;
    char tail[128];
    snprintf(tail, sizeof tail, "2:prev_root_objs->objd=%x\nroot_objs != NULL\n", d[1]->handle);
    EXPECT_NE(t.find(tail), std::string::npos) << t;
    EXPECT_EQ(t.substr(t.size() - 18), "root_objs != NULL\n");
}

}  // namespace
