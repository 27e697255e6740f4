// The simple Lengauer-Tarjan algorithm over plain arrays in depth-first preorder:
//   1. number the objects in preorder from the virtual root, numbered 0;
//   2. list each object's predecessors that come later in that order;
//   3. semidominators and relative dominators, from the last number down;
//   4. immediate dominators, from the first number up;
//   5. back to object numbers.
// Each step keeps what the next needs in arrays the earlier steps no longer use, so at
// most five 4-byte arrays per object are alive at once, plus the predecessor lists.
#include "dominators.h"

#include <stdexcept>

#include "bit_set.h"
#include "weak_rows.h"

namespace {

struct Walk {
    // Preorder numbers: 0 is the virtual root, the reached objects are 1 .. count-1.
    std::vector<uint32_t> order;   // 4 B/object: each object's number, 0 while not reached
    std::vector<uint32_t> parent;  // 4 B/object: the depth-first tree's parent, by number
    std::vector<uint32_t> label;   // 4 B/object: step 1's candidate, then step 3's labels
    std::vector<uint32_t> lists;   // 4 B/object: predecessor counts, list starts, semidominators
    uint32_t count = 1;
};

// Step 1. When it returns, for every reached object numbered v:
//  - parent[v] < v, and v's descendants in the depth-first tree are numbered v+1 onwards,
//    contiguously;
//  - label[v] is the least u with an edge u->v and u <= v: the tree parent, or a proper
//    ancestor through a forward edge (0 for a GC root);
//  - lists[v] counts the edges u->v with u > v (cross and back edges), except into GC
//    roots, whose semidominator is the virtual root whatever else holds them.
// While an object is on the walk's current path, label[v] holds how many of its references
// the walk has taken and parent[v] its parent's object number: the path is its own stack,
// so a chain of millions of objects needs no more memory than a flat heap.
void walkDepthFirst(const HeapGraph& graph, const WeakRows* weak, const BitSet& isRoot, Walk& walk)
{
    std::vector<uint32_t>& order = walk.order;
    std::vector<uint32_t>& parent = walk.parent;
    std::vector<uint32_t>& candidate = walk.label;
    std::vector<uint32_t>& lists = walk.lists;
    uint32_t next = 1;

    // Classifies the edge from v to target; true when target is new, a tree edge.
    auto meet = [&](uint32_t target, uint32_t v) {
        const uint32_t u = order[target];
        if (u == 0)
            return true;
        if (u > v) {
            // A forward edge: u was reached after v began and v is on top of the path, so
            // u is a finished descendant whose candidate is final apart from such edges.
            if (v < candidate[u])
                candidate[u] = v;
        } else if (u < v && !isRoot.test(target)) {
            ++lists[u];
        }
        return false;
    };

    for (const uint32_t root : graph.roots) {
        if (root >= graph.objects)
            continue;
        if (order[root] != 0) {
            candidate[order[root]] = 0;  // a forward edge from the virtual root
            continue;
        }
        uint32_t object = root;
        uint32_t v = next++;
        order[object] = v;
        parent[v] = kVirtualRoot;
        candidate[v] = 0;
        for (;;) {
            const uint32_t first = graph.firstEdge[object];
            const uint32_t strong = graph.firstEdge[object + 1] - first;
            uint32_t taken = candidate[v];
            uint32_t child = kNoObject;
            while (taken < strong) {
                const uint32_t target = graph.targets[first + taken++];
                if (meet(target, v)) {
                    child = target;
                    break;
                }
            }
            if (child == kNoObject && weak && weak->holds(object)) {
                const auto range = weak->rangeOf(object);
                while (range.first + (taken - strong) < range.second) {
                    const uint32_t target = weak->edges()[range.first + (taken - strong)].second;
                    ++taken;
                    if (meet(target, v)) {
                        child = target;
                        break;
                    }
                }
            }
            if (child != kNoObject) {
                candidate[v] = taken;
                const uint32_t c = next++;
                order[child] = c;
                parent[c] = object;
                candidate[c] = 0;
                object = child;
                v = c;
                continue;
            }
            // v is finished: its parent's number is known, so parent and candidate take the
            // meaning they keep.
            const uint32_t up = parent[v];
            const uint32_t p = up == kVirtualRoot ? 0 : order[up];
            parent[v] = p;
            candidate[v] = p;
            if (p == 0)
                break;
            object = up;
            v = p;
        }
    }
    walk.count = next;
}

// Step 2. Fills preds so that the later predecessors of v are preds[lists[v] .. lists[v+1]),
// counted by step 1 and found again here by the same test; lists[count] is the total.
std::vector<uint32_t> listPredecessors(const HeapGraph& graph, const WeakRows* weak, const BitSet& isRoot, Walk& walk)
{
    std::vector<uint32_t>& order = walk.order;
    std::vector<uint32_t>& lists = walk.lists;
    uint64_t total = 0;
    lists[0] = 0;
    for (uint32_t v = 1; v < walk.count; ++v) {
        total += lists[v];
        lists[v] = static_cast<uint32_t>(total);  // the end of v's list, until filled
    }
    if (total > UINT32_MAX)
        throw std::length_error("heap graph: more references than 32-bit lists can hold");
    lists[walk.count] = static_cast<uint32_t>(total);

    std::vector<uint32_t> preds(total);  // 4 B per cross or back edge
    auto add = [&](uint32_t v, uint32_t target) {
        const uint32_t u = order[target];
        if (u < v && !isRoot.test(target))
            preds[--lists[u]] = v;
    };
    for (uint32_t object = 0; object < graph.objects; ++object) {
        const uint32_t v = order[object];
        if (v == 0)
            continue;
        for (uint32_t e = graph.firstEdge[object], end = graph.firstEdge[object + 1]; e < end; ++e)
            add(v, graph.targets[e]);
    }
    if (weak) {
        for (const WeakRows::Edge& edge : weak->edges()) {
            if (order[edge.first] != 0)
                add(order[edge.first], edge.second);
        }
    }
    return preds;
}

// The object of least semidominator on the tree path from the processed object v up to
// its nearest unprocessed ancestor, exclusive. Invariant for every processed y: label[y]
// is an object of least semidominator on the tree path from y up to ancestor[y],
// exclusive. Path halving shortens the paths as it goes, without a stack.
inline uint32_t evaluate(uint32_t v, uint32_t firstProcessed, uint32_t* ancestor, uint32_t* label, const uint32_t* semiAt)
{
    // semiAt[x] is semi(x) for a processed x (lists[x + 1], see below).
    uint32_t result = label[v];
    uint32_t y = v;
    for (;;) {
        const uint32_t a = ancestor[y];
        if (a < firstProcessed)
            return result;
        if (semiAt[label[a]] < semiAt[label[y]])
            label[y] = label[a];
        ancestor[y] = ancestor[a];
        if (semiAt[label[y]] < semiAt[result])
            result = label[y];
        y = ancestor[y];
        if (y < firstProcessed)
            return result;
        if (semiAt[label[y]] < semiAt[result])
            result = label[y];
    }
}

// Step 3. The simple Lengauer-Tarjan, from the last number down; for each w:
//  - every v whose semidominator is w waits in w's bucket. All numbers above w are
//    processed, so evaluate(v) gives an object u of least semidominator on the tree path
//    from v up to w, exclusive: if semi(u) is w too, w is v's immediate dominator,
//    otherwise v has u's (step 4 finishes those);
//  - semi(w) is the least of step 1's candidate and semi(evaluate(u)) for every later
//    predecessor u; w joins the processed part with label[w] = w and waits in the bucket
//    of semi(w).
// Arrays change meaning as numbers are processed, so no array is needed twice:
//  - lists[w + 1] takes semi(w): the lists of numbers below w no longer read it;
//  - label[w], step 1's candidate until then, becomes w;
//  - idom[w] heads w's bucket until w is processed, then links w into the bucket of
//    semi(w), then holds w's immediate dominator or the u above.
// Unlike Semi-NCA's walk up the tree for each object, which takes quadratic time on a
// long chain whose far end refers back near its start, this stays near linear.
void findSemidominators(Walk& walk, const std::vector<uint32_t>& preds, std::vector<uint32_t>& ancestor,
    std::vector<uint32_t>& idom)
{
    uint32_t* label = walk.label.data();
    uint32_t* lists = walk.lists.data();
    const uint32_t* semiAt = lists + 1;
    for (uint32_t w = walk.count - 1; w >= 1; --w) {
        for (uint32_t v = idom[w]; v != kNoObject;) {
            const uint32_t next = idom[v];
            const uint32_t u = evaluate(v, w + 1, ancestor.data(), label, semiAt);
            idom[v] = semiAt[u] < w ? u : w;
            v = next;
        }
        uint32_t semi = label[w];
        if (semi != 0) {
            for (uint32_t i = lists[w], end = lists[w + 1]; i < end; ++i) {
                const uint32_t candidate = semiAt[evaluate(preds[i], w + 1, ancestor.data(), label, semiAt)];
                if (candidate < semi)
                    semi = candidate;
            }
        }
        lists[w + 1] = semi;
        label[w] = w;
        idom[w] = idom[semi];
        idom[semi] = w;
    }
    // The virtual root's bucket: only it dominates those.
    for (uint32_t v = idom[0]; v != kNoObject;) {
        const uint32_t next = idom[v];
        idom[v] = 0;
        v = next;
    }
    idom[0] = 0;
}

// Step 4. From the first number up: an object whose step 3 answer is not its
// semidominator has the immediate dominator of that answer, a smaller number, final by
// then.
void findImmediateDominators(const Walk& walk, std::vector<uint32_t>& idom)
{
    const uint32_t* semiAt = walk.lists.data() + 1;
    for (uint32_t w = 1; w < walk.count; ++w) {
        if (idom[w] != semiAt[w])
            idom[w] = idom[idom[w]];
    }
}

}  // namespace

Dominators computeDominators(const HeapGraph& graph, const DominatorOptions& options, StepCosts* costs)
{
    if (graph.objects >= kMaxObjects)
        throw std::length_error("heap graph: too many objects");
    const uint32_t n = graph.objects;
    StepClock clock(costs);

    BitSet isRoot(n);  // 1 bit/object
    for (const uint32_t root : graph.roots) {
        if (root < n)
            isRoot.set(root);
    }
    WeakRows weakRows;
    if (options.weakAsStrong)
        weakRows = WeakRows(graph);
    const WeakRows* weak = options.weakAsStrong ? &weakRows : nullptr;

    Walk walk;
    walk.order.assign(n, 0);
    walk.parent.assign(uint64_t{n} + 1, 0);
    walk.label.assign(uint64_t{n} + 1, 0);
    walk.lists.assign(uint64_t{n} + 2, 0);
    walkDepthFirst(graph, weak, isRoot, walk);
    const uint64_t walkBytes = bytesOf(walk.order) + bytesOf(walk.parent) + bytesOf(walk.label) + bytesOf(walk.lists)
        + isRoot.bytes() + weakRows.bytes();
    clock.done("depth-first numbering", walkBytes);

    std::vector<uint32_t> preds = listPredecessors(graph, weak, isRoot, walk);
    clock.done("predecessor lists", walkBytes + bytesOf(preds));

    // The depth-first parents become the ancestor links of step 3.
    std::vector<uint32_t>& ancestor = walk.parent;
    std::vector<uint32_t> idom(walk.count, kNoObject);  // 4 B/object
    findSemidominators(walk, preds, ancestor, idom);
    clock.done("semidominators", walkBytes + bytesOf(preds) + bytesOf(idom));
    preds = {};
    walk.label = {};
    walk.parent = {};
    weakRows = {};

    findImmediateDominators(walk, idom);
    clock.done("immediate dominators", bytesOf(walk.order) + bytesOf(idom) + bytesOf(walk.lists));

    // Step 5: lists becomes the objects by number (less one), order the dominators by
    // object.
    Dominators result;
    std::vector<uint32_t>& preorder = walk.lists;
    std::vector<uint32_t>& byObject = walk.order;
    for (uint32_t object = 0; object < n; ++object) {
        const uint32_t v = byObject[object];
        if (v != 0)
            preorder[v - 1] = object;
    }
    for (uint32_t object = 0; object < n; ++object) {
        const uint32_t v = byObject[object];
        if (v == 0) {
            byObject[object] = kNoObject;
            ++result.unreachable;
            result.unreachableBytes += graph.shallowSize(object);
        } else {
            const uint32_t d = idom[v];
            byObject[object] = d == 0 ? kVirtualRoot : preorder[d - 1];
        }
    }
    preorder.resize(walk.count - 1);
    idom = {};
    result.reachable = walk.count - 1;
    result.idom = std::move(byObject);
    result.preorder = std::move(preorder);
    clock.done("dominators by object", bytesOf(result.idom) + bytesOf(result.preorder));
    return result;
}
