// Object lists: the doubly linked chains that hold a descriptor's direct references and
// the visited entries of a listing, and the agent-wide root list.
#pragma once

#include <cstddef>
#include <memory>
#include <unordered_map>
#include <unordered_set>

struct ObjectDetails;

// One link of a chain. obj == nullptr marks an empty node; the chain always ends with one.
struct ObjNode {
    ObjectDetails* obj = nullptr;
    std::unique_ptr<ObjNode> nlist;  // owns the rest of the chain
    ObjNode* plist = nullptr;

    // Nodes come from a pool of their own (see object_list.cpp).
    static void* operator new(size_t size);
    static void operator delete(void* p) noexcept;
};

// A chain with its first node inline, so a new list is one zeroed node and costs no
// allocation. Beside the chain it keeps a map from entry to node, so membership tests
// and removals take constant time; it is dropped (and the chain walked instead) once a
// list holds an entry twice.
struct ObjList {
    ObjNode head;
    ObjNode* tail = &head;   // the empty node that ends the chain
    size_t holes = 0;        // empty nodes left by removals, before the tail
    bool duplicates = false;  // some entry is held twice: the index is off
    std::unique_ptr<std::unordered_map<const ObjectDetails*, ObjNode*>> index;

    ObjList() = default;
    ObjList(const ObjList&) = delete;
    ObjList& operator=(const ObjList&) = delete;
    ~ObjList();
};

// 0 if d is in the list (searching the filled nodes before the first empty one), else -1.
int list_search(const ObjList* list, const ObjectDetails* d);
// Stores d in node (which must belong to list) and returns the following node, making one.
ObjNode* list_register(ObjList* list, ObjNode* node, ObjectDetails* d);
// Appends d in the first empty node; with dup == 1 only if it is not found yet.
void add_list(ObjList* list, ObjectDetails* d, int dup);
// Empties the last node holding d.
void remove_list(ObjList* list, const ObjectDetails* d);
// Traces the entries from node to the end of its chain.
void print_list(const ObjNode* node);
// Frees every node after the head and leaves list a fresh empty list; descriptors stay.
void free_list(ObjList* list);
// Returns the memory kept for list nodes to the system when no list holds any.
void release_idle_node_slabs();

// The roots met by root walks, in order of first report, each once.
struct RootNode {
    ObjectDetails* objd = nullptr;
    std::unique_ptr<RootNode> next;
};

struct RootList {
    std::unique_ptr<RootNode> root_objs;  // head
    RootNode* prev_root_objs = nullptr;   // tail
    std::unordered_set<const ObjectDetails*> members;

    RootList() = default;
    RootList(const RootList&) = delete;
    RootList& operator=(const RootList&) = delete;
    ~RootList();
};

bool root_list_contains(const RootList& roots, const ObjectDetails* d);
// Appends d at the tail unless it is already in the list, with the walk's trace lines.
void root_list_append(RootList& roots, ObjectDetails* d);
// Frees all nodes (not the descriptors); the list is empty afterwards.
void free_root_objects(RootList& roots);
