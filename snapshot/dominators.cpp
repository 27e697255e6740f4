// The simple Lengauer-Tarjan algorithm over plain arrays in depth-first preorder:
//   1. number the objects in preorder from the virtual root, numbered 0, logging the
//      objects in that order;
//   2. list each object's predecessors that come later in that order;
//   3. semidominators and relative dominators, from the last number down;
//   4. immediate dominators, from the first number up;
//   5. the objects by number read back from the log (on two threads, each from a mark
//      of the log), the dominators back in object numbers, and the retained sizes.
// Each step keeps what the next needs in arrays the earlier steps no longer use, so that
// at most four 4-byte arrays per object are alive at once beside the predecessor lists:
// the one from objects to numbers is dropped after step 2, and the log, about a byte per
// object, gives step 5 the one from numbers to objects without a second walk.
#include "dominators.h"

#include <algorithm>
#include <cstring>
#include <functional>
#include <new>
#include <stdexcept>

#include "bit_set.h"
#include "large_arrays.h"
#include "mapped_memory.h"
#include "preorder_log.h"
#include "second_thread.h"
#include "weak_rows.h"

namespace {

struct Walk {
    // Preorder numbers: 0 is the virtual root, the reached objects are 1 .. count-1.
    std::vector<uint32_t> order;   // 4 B/object: each object's number, 0 while not reached
    std::vector<uint32_t> parent;  // 4 B/object: the depth-first tree's parent, by number
    std::vector<uint32_t> label;   // 4 B/object: step 1's candidate, then step 3's labels
    std::vector<uint32_t> lists;   // 4 B/object: predecessor counts, list starts, semidominators
    uint32_t count = 1;
    PreorderLog preorder;  // about 1 B/object: the object numbered v is entry v - 1
};

// Step 1. When it returns, for every reached object numbered v:
//  - parent[v] < v, and v's descendants in the depth-first tree are numbered v+1 onwards,
//    contiguously;
//  - label[v] is the least u with an edge u->v and u <= v: the tree parent, or a proper
//    ancestor through a forward edge (0 for a GC root: only the roots loop numbers them);
//  - lists[v] counts the edges u->v with u > v (cross and back edges).
// Every object is logged as it is numbered, for step 5.
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
        // References to GC roots are passed by: the virtual root refers to each root, so
        // any path through such a reference has a shorter one that avoids a subset of
        // its objects, and dominators stay the same without them.
        if (isRoot.test(target))
            return false;
        const uint32_t u = order[target];
        if (u == 0)
            return true;
        if (u > v) {
            // A forward edge: u was reached after v began and v is on top of the path, so
            // u is a finished descendant whose candidate is final apart from such edges.
            if (v < candidate[u])
                candidate[u] = v;
        } else if (u < v) {
            ++lists[u];
        }
        return false;
    };

    for (uint32_t r = 0; r < graph.roots.size(); ++r) {
        const uint32_t root = graph.roots[r];
        if (root >= graph.objects)
            continue;
        if (order[root] != 0) {
            candidate[order[root]] = 0;  // a forward edge from the virtual root
            continue;
        }
        uint32_t object = root;
        uint32_t v = next++;
        walk.preorder.add(object);
        order[object] = v;
        parent[v] = kVirtualRoot;
        candidate[v] = 0;
        for (;;) {
            // The references in turn: to its class when the rows leave that out, the row,
            // then the referents when they count.
            const uint32_t classTarget = graph.classEdge(object);
            const uint32_t implicit = classTarget == kNoObject ? 0 : 1;
            const uint32_t first = graph.firstEdge[object];
            const uint32_t strong = implicit + graph.firstEdge[object + 1] - first;
            uint32_t taken = candidate[v];
            uint32_t child = kNoObject;
            if (taken < implicit) {
                ++taken;
                if (meet(classTarget, v))
                    child = classTarget;
            }
            while (child == kNoObject && taken < strong) {
                const uint32_t e = first + (taken++ - implicit);
                if (meet(graph.targets[e], v))
                    child = graph.targets[e];
            }
            if (child == kNoObject && weak && weak->holds(object)) {
                const auto range = weak->rangeOf(object);
                while (range.first + (taken - strong) < range.second) {
                    const uint32_t i = range.first + (taken++ - strong);
                    if (meet(weak->edges()[i].second, v)) {
                        child = weak->edges()[i].second;
                        break;
                    }
                }
            }
            if (child != kNoObject) {
                candidate[v] = taken;
                const uint32_t c = next++;
                walk.preorder.add(child);
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
// Two threads share the work: the second takes every object's reference to its class and
// fills each class object's list from its start, with a cursor per class object, while
// the first takes the rows and the referents and fills every list from its end, counting
// lists[u] down as before. The two never write the same entry, and the lists of class
// objects get their starts back once both are done.
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

    // The class objects that have later predecessors, each once (two classes may name the
    // same object), with where its list starts; and each class number's cursor among them.
    struct ClassList {
        uint32_t number;  // the class object's
        uint32_t start;
        uint32_t next;
    };
    std::vector<ClassList> classLists;
    std::vector<uint32_t> listOfClass(graph.classObject.size(), kNoObject);
    {
        std::vector<std::pair<uint32_t, uint32_t>> byNumber;  // (class object's number, class)
        for (uint32_t c = 0; c < graph.classObject.size(); ++c) {
            const uint32_t target = graph.classObject[c];
            if (target < graph.objects && !isRoot.test(target) && order[target] != 0)
                byNumber.emplace_back(order[target], c);
        }
        std::sort(byNumber.begin(), byNumber.end());
        for (const auto& [u, c] : byNumber) {
            if (classLists.empty() || classLists.back().number != u)
                classLists.push_back({u, lists[u - 1], lists[u - 1]});
            listOfClass[c] = static_cast<uint32_t>(classLists.size() - 1);
        }
    }

    std::vector<uint32_t> preds;  // 4 B per cross or back edge
    assignLarge(preds, total, 0u);
    SecondThread classEdges([&] {
        if (graph.classObject.empty())
            return;
        for (uint32_t object = 0; object < graph.objects; ++object) {
            const uint32_t v = order[object];
            if (v == 0)
                continue;
            const uint32_t number = graph.classOf[object];
            if (number >= listOfClass.size() || listOfClass[number] == kNoObject)
                continue;
            ClassList& list = classLists[listOfClass[number]];
            if (list.number < v)
                preds[list.next++] = v;
        }
    });
    auto add = [&](uint32_t v, uint32_t target) {
        if (isRoot.test(target))
            return;
        const uint32_t u = order[target];
        if (u < v)
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
    classEdges.join();
    for (const ClassList& list : classLists)
        lists[list.number] = list.start;
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
            // No candidate is less than the virtual root, so the search stops there. From
            // the list's end: step 2 puts the references of rows and referents there and
            // those of instances to their class at the start, and a class object has an
            // instance for each of millions of entries where its loader's array of classes,
            // near the end, often gives 0 at once.
            for (uint32_t i = lists[w + 1], end = lists[w]; i-- > end;) {
                const uint32_t candidate = semiAt[evaluate(preds[i], w + 1, ancestor.data(), label, semiAt)];
                if (candidate < semi) {
                    semi = candidate;
                    if (semi == 0)
                        break;
                }
            }
        }
        lists[w + 1] = semi;
        label[w] = w;
        if (semi == ancestor[w]) {
            // The tree parent, w still unprocessed: the path from semi(w) to w holds only w,
            // so semi(w) is w's immediate dominator without waiting in a bucket.
            idom[w] = semi;
        } else {
            idom[w] = idom[semi];
            idom[semi] = w;
        }
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

// Step 5. The objects by number, from the log of step 1, into preorder (the objects by
// number less one); then each object's dominator by object number: idom[v] is a smaller
// number whose object is read from preorder. On two threads from twoThreadsFrom objects,
// each reading the log from a mark and then placing half the dominators.
void placeDominators(const Walk& walk, const std::vector<uint32_t>& idom, std::vector<uint32_t>& preorder,
    Dominators& result, bool twoThreads)
{
    const uint32_t count = walk.count - 1;  // numbers 1 .. count
    const uint32_t every = walk.preorder.markEvery();
    const uint32_t split = twoThreads ? (count / 2) & ~(every - 1) : 0;
    {
        SecondThread upper(split != 0 ? std::function<void()>([&] {
            walk.preorder.read(split, count, preorder.data() + split);
        }) : std::function<void()>());
        walk.preorder.read(0, split != 0 ? split : count, preorder.data());
        upper.join();
    }
    auto place = [&](uint32_t from, uint32_t to) {
        for (uint32_t v = from; v <= to; ++v) {
            const uint32_t d = idom[v];
            result.idom[preorder[v - 1]] = d == 0 ? kVirtualRoot : preorder[d - 1];
        }
    };
    const uint32_t half = twoThreads ? count / 2 : 0;
    SecondThread upper(half != 0 ? std::function<void()>([&] { place(half + 1, count); }) : std::function<void()>());
    place(1, half != 0 ? half : count);
    upper.join();
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
    {
        // Fresh pages are slow to come by (see large_arrays.h): two cores fault them in.
        SecondThread half([&] {
            assignLarge(walk.order, n, 0u);
            assignLarge(walk.parent, uint64_t{n} + 1, 0u);
        });
        assignLarge(walk.label, uint64_t{n} + 1, 0u);
        assignLarge(walk.lists, uint64_t{n} + 2, 0u);
        // Marks about every 64th of the way, so that two threads can split the reading
        // near the middle; no closer than every 64 entries, no further than every 65536.
        uint32_t markEvery = 64;
        while (markEvery < (1u << 16) && markEvery < n / 64)
            markEvery *= 2;
        walk.preorder = PreorderLog(markEvery, n);
        half.join();
    }
    const bool twoThreads = n >= options.twoThreadsFrom;
    uint64_t aheadBytes = 0;
    {
        // The predecessor lists come next, in pages the process has not had yet (see
        // large_arrays.h): while the walk runs, the second thread faults in 3 B/object,
        // given back just before the lists take it. They take 3.5 to 4 B/object on the
        // servers' heaps measured here: warming less than that keeps this step under the
        // next one, and the peak where it was.
        MappedMemory ahead;
        SecondThread warm(twoThreads ? std::function<void()>([&] {
            try {
                ahead = MappedMemory(uint64_t{n} * 3);
                std::memset(ahead.data(), 0, ahead.size());
            } catch (const std::bad_alloc&) {
                // Not there: the lists take fresh pages as they would have.
            }
        }) : std::function<void()>());
        walkDepthFirst(graph, weak, isRoot, walk);
        warm.join();
        aheadBytes = ahead.size();
    }
    const uint64_t bits = isRoot.bytes() + weakRows.bytes() + walk.preorder.bytes();
    const uint64_t walkBytes = bytesOf(walk.order) + bytesOf(walk.parent) + bytesOf(walk.label) + bytesOf(walk.lists) + bits;
    clock.done("depth-first numbering", walkBytes + aheadBytes);

    std::vector<uint32_t> preds = listPredecessors(graph, weak, isRoot, walk);
    clock.done("predecessor lists", walkBytes + bytesOf(preds));
    release(walk.order);  // from here on, numbers to objects come from the log

    // The depth-first parents become the ancestor links of step 3.
    std::vector<uint32_t>& ancestor = walk.parent;
    std::vector<uint32_t> idom;  // 4 B/object
    assignLarge(idom, walk.count, kNoObject);
    {
        SecondThread beside(options.beside);
        findSemidominators(walk, preds, ancestor, idom);
        beside.join();
    }
    clock.done("semidominators", walkBytes - uint64_t{n} * 4 + bytesOf(preds) + bytesOf(idom));
    release(preds);
    release(walk.label);
    release(walk.parent);

    // The arrays step 5 fills are got on the second thread meanwhile.
    Dominators result;
    std::vector<uint32_t> preorder;  // 4 B per reachable object
    {
        SecondThread arrays([&] {
            assignLarge(result.idom, n, kNoObject);
            assignLarge(preorder, walk.count - 1, 0u);
        });
        findImmediateDominators(walk, idom);
        arrays.join();
    }
    clock.done("immediate dominators", bytesOf(idom) + bytesOf(walk.lists) + bytesOf(result.idom) + bytesOf(preorder) + bits);
    release(walk.lists);

    // Step 5, and the retained sizes summed while the numbers are at hand.
    placeDominators(walk, idom, preorder, result, twoThreads);
    const uint64_t placedBytes = bytesOf(idom) + bytesOf(preorder) + bytesOf(result.idom) + bits;
    weakRows = {};
    walk = {};
    result.reachable = static_cast<uint32_t>(preorder.size());
    result.unreachable = n - result.reachable;
    clock.done("dominators by object", placedBytes);

    // Summing holds two 4-byte arrays per object and four bytes of totals; placing the
    // totals frees the dominators by number first and adds the four bytes kept. What the
    // unreachable objects take is counted beside the sums.
    const uint64_t sumBytes = bytesOf(result.idom) + bytesOf(preorder) + bytesOf(idom) + uint64_t{result.reachable} * 4;
    const uint64_t placeBytes = sumBytes - bytesOf(idom) + uint64_t{n} * 4;
    uint64_t unreachableBytes = 0;
    SecondThread unreachable([&] {
        for (uint32_t object = 0; object < n; ++object) {
            if (result.idom[object] == kNoObject)
                unreachableBytes += graph.shallowSize(object);
        }
    });
    result.retained = RetainedSizes(graph, std::move(preorder), std::move(idom));
    unreachable.join();
    result.unreachableBytes = unreachableBytes;
    clock.done("retained sizes", std::max(sumBytes, placeBytes));
    return result;
}
