#include "object_list.h"

#include <vector>

#include "agent_log.h"
#include "object_details.h"

// Long chains are released link by link: letting each unique_ptr free its successor
// would recurse once per node.
namespace {
struct ObjNodeChain {
    static void release(std::unique_ptr<ObjNode> n)
    {
        while (n) n = std::move(n->nlist);
    }
};
}  // namespace

// An expansion frees and makes a node per entry, a million at a time; through malloc
// that churn (fastbin consolidation, then splitting) cost more than the heap walk. Freed
// nodes go on a free list instead, and slabs are kept for the next expansion. All list
// work runs on the command thread, or in walk callbacks while that thread waits for them.
// Under AddressSanitizer nodes go through the global allocator, so misuse stays visible.
namespace {
#if defined(__SANITIZE_ADDRESS__)
#define VORLAN_ASAN 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define VORLAN_ASAN 1
#endif
#endif
#ifdef VORLAN_ASAN
constexpr bool pooled_nodes = false;
#else
constexpr bool pooled_nodes = true;
#endif

union NodeSlot {
    NodeSlot* next;
    alignas(ObjNode) unsigned char bytes[sizeof(ObjNode)];
};

// Owns its slabs. It sits at namespace scope so it is built when the library loads,
// before any function-local static that owns lists, and so destroyed after all of them.
class NodePool {
public:
    void* take()
    {
        if (!free_) grow();
        NodeSlot* slot = free_;
        free_ = slot->next;
        in_use_++;
        return slot;
    }

    void give(void* p)
    {
        auto* slot = static_cast<NodeSlot*>(p);
        slot->next = free_;
        free_ = slot;
        in_use_--;
    }

    // Gives every slab back when no node is in use.
    void release_if_idle()
    {
        if (in_use_ != 0) return;
        slabs_.clear();
        free_ = nullptr;
        next_slab_ = 1024;
    }

private:
    void grow()
    {
        auto slab = std::make_unique<NodeSlot[]>(next_slab_);
        for (size_t i = 0; i + 1 < next_slab_; i++) slab[i].next = &slab[i + 1];
        slab[next_slab_ - 1].next = nullptr;
        free_ = slab.get();
        slabs_.push_back(std::move(slab));
        if (next_slab_ < 65536) next_slab_ *= 2;
    }

    NodeSlot* free_ = nullptr;
    size_t in_use_ = 0;
    size_t next_slab_ = 1024;  // slots in the next slab; doubles up to 64k
    std::vector<std::unique_ptr<NodeSlot[]>> slabs_;
};

NodePool node_pool;
}  // namespace

void* ObjNode::operator new(size_t size)
{
    if (!pooled_nodes || size != sizeof(ObjNode)) return ::operator new(size);
    return node_pool.take();
}

void ObjNode::operator delete(void* p) noexcept
{
    if (!p) return;
    if (pooled_nodes) node_pool.give(p);
    else ::operator delete(p);
}

void release_idle_node_slabs() { node_pool.release_if_idle(); }

ObjList::~ObjList() { ObjNodeChain::release(std::move(head.nlist)); }

static bool indexed(const ObjList* list) { return !list->duplicates; }

int list_search(const ObjList* list, const ObjectDetails* d)
{
    if (!list) {
        trace("list_search: list == NULL\n");
        return -1;
    }
    if (indexed(list) && list->holes == 0) {
        // Without holes every filled node lies before the first empty one.
        return list->index && list->index->count(d) ? 0 : -1;
    }
    for (const ObjNode* n = &list->head; n->obj; n = n->nlist.get()) {
        if (n->obj == d) return 0;
        if (!n->nlist) {
            trace("list_search: list->nlist == NULL\n");
            trace("list_search: list->obj == %x\n", handle_text_of(n->obj));
            return -1;
        }
    }
    return -1;
}

ObjNode* list_register(ObjList* list, ObjNode* node, ObjectDetails* d)
{
    trace("list_register\n");
    node->obj = d;
    if (!node->nlist) {
        node->nlist = std::make_unique<ObjNode>();
        node->nlist->plist = node;
        if (list->tail == node) list->tail = node->nlist.get();
    }
    if (!node->nlist->plist) node->nlist->plist = node;
    if (indexed(list)) {
        if (!list->index) list->index = std::make_unique<std::unordered_map<const ObjectDetails*, ObjNode*>>();
        auto [it, fresh] = list->index->emplace(d, node);
        if (!fresh) {
            list->duplicates = true;
            list->index.reset();
        }
    }
    return node->nlist.get();
}

void add_list(ObjList* list, ObjectDetails* d, int dup)
{
    if (!list) {
        trace("add_list: _list == NULL\n");
        return;
    }
    if (dup == 1) {
        trace("add_list: dup == 1,p=%x\n", handle_text_of(d));
        if (list_search(list, d) == 0) {
            trace("add_list: already included.\n");
            return;
        }
        trace("add_list: not included.\n");
    }
    ObjNode* n = list->tail;  // without holes the first empty node is the tail
    if (list->holes > 0) {
        for (n = &list->head; n->obj; n = n->nlist.get()) {
            if (!n->nlist) {
                trace("add_list: list->nlist == NULL\n");
                n->nlist = std::make_unique<ObjNode>();
                n->nlist->plist = n;
                list->tail = n->nlist.get();
            }
        }
        if (n != list->tail) list->holes--;
    }
    list_register(list, n, d);
    trace("add_list: end\n");
}

void remove_list(ObjList* list, const ObjectDetails* d)
{
    if (!list) {
        trace("remove_list: _list == NULL\n");
        return;
    }
    ObjNode* found = nullptr;
    if (indexed(list)) {
        if (list->index) {
            auto it = list->index->find(d);
            if (it != list->index->end()) {
                found = it->second;
                list->index->erase(it);
            }
        }
    } else {
        for (ObjNode* n = list->tail; n; n = n->plist) {
            if (n->obj == d) {
                found = n;
                break;
            }
        }
    }
    if (!found) return;
    found->obj = nullptr;
    if (found != list->tail) list->holes++;
}

void print_list(const ObjNode* node)
{
    if (!tracing()) return;  // the walk alone would cost a pass over the chain
    for (; node; node = node->nlist.get()) trace("%x ", handle_text_of(node->obj));
    trace("\tprint_list end");
}

void free_list(ObjList* list)
{
    if (!list) {
        trace("free_list: list == NULL\n");
        return;
    }
    ObjNodeChain::release(std::move(list->head.nlist));
    list->head = ObjNode{};
    list->tail = &list->head;
    list->holes = 0;
    list->duplicates = false;
    list->index.reset();
}

RootList::~RootList() { free_root_objects(*this); }

bool root_list_contains(const RootList& roots, const ObjectDetails* d)
{
    return roots.members.count(d) != 0;
}

void root_list_append(RootList& roots, ObjectDetails* od)
{
    if (!roots.root_objs) {
        trace("root_objs == NULL\n");
        roots.root_objs = std::make_unique<RootNode>();
        roots.root_objs->objd = od;
        roots.prev_root_objs = roots.root_objs.get();
        roots.members.insert(od);
        trace("0:root_objs=%x\n", addr32(roots.root_objs.get()));
        trace("0:root_objs->objd=%x\n", handle_text_of(od));
        return;
    }
    trace("root_objs != NULL\n");
    if (root_list_contains(roots, od)) return;
    auto ro = std::make_unique<RootNode>();
    ro->objd = od;
    trace("1:ro->objd=%x\n", handle_text_of(od));
    trace("1:prev_root_objs=%x\n", addr32(roots.prev_root_objs));
    RootNode* tail = ro.get();
    roots.prev_root_objs->next = std::move(ro);
    trace("2:prev_root_objs->objd=%x\n", handle_text_of(roots.prev_root_objs->objd));
    roots.prev_root_objs = tail;
    roots.members.insert(od);
    trace("2:prev_root_objs=%x\n", addr32(roots.prev_root_objs));
    trace("2:prev_root_objs->objd=%x\n", handle_text_of(roots.prev_root_objs->objd));
}

void free_root_objects(RootList& roots)
{
    if (!roots.root_objs) trace("free_root_objects: obj == NULL\n");
    std::unique_ptr<RootNode> n = std::move(roots.root_objs);
    while (n) n = std::move(n->next);
    roots.prev_root_objs = nullptr;
    roots.members.clear();
}
