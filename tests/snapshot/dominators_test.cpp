// Dominators and retained sizes: small graphs whose answers are plain to see, random
// heap-shaped graphs checked against the brute-force definitions, and a chain deep
// enough that any recursion would overflow the stack.
#include <gtest/gtest.h>

#include <stdexcept>

#include "brute_force.h"
#include "dominators.h"
#include "test_graphs.h"

namespace {

// twoThreadsFrom 2 has even the smallest graph's last walk split between two threads.
Dominators compute(const HeapGraph& graph, bool weakAsStrong = false, uint32_t twoThreadsFrom = kNoObject)
{
    DominatorOptions options;
    options.weakAsStrong = weakAsStrong;
    options.twoThreadsFrom = twoThreadsFrom;
    return computeDominators(graph, options);
}

void expectBruteForce(const HeapGraph& graph, bool weakAsStrong)
{
    const BruteDominators want = bruteDominators(graph, weakAsStrong);
    for (const uint32_t twoThreadsFrom : {kNoObject, 2u}) {
    SCOPED_TRACE(twoThreadsFrom == 2 ? "two threads" : "one thread");
    const Dominators got = compute(graph, weakAsStrong, twoThreadsFrom);
    EXPECT_EQ(got.unreachable, want.unreachable);
    EXPECT_EQ(got.reachable + got.unreachable, graph.objects);
    uint64_t unreachableBytes = 0, reachableBytes = 0;
    for (uint32_t o = 0; o < graph.objects; ++o) {
        ASSERT_EQ(got.idom[o], want.idom[o]) << "object " << o;
        ASSERT_EQ(got.retained.bytes(o), want.retained[o]) << "object " << o;
        (want.idom[o] == kNoObject ? unreachableBytes : reachableBytes) += graph.shallowSize(o);
    }
    EXPECT_EQ(got.unreachableBytes, unreachableBytes);
    EXPECT_EQ(got.retained.bytes(kVirtualRoot), reachableBytes);
    }
}

}  // namespace

TEST(Dominators, SmallGraphsByHand)
{
    // A diamond under a root, a cycle below it, a self reference, a second root that the
    // first also reaches, an object only a weak reference reaches, and garbage.
    GraphBuilder g;
    const uint32_t a = g.add(2), b = g.add(3), c = g.add(5), d = g.add(7), e = g.add(11), f = g.add(13);
    const uint32_t r2 = g.add(17), x = g.add(19), w = g.add(23), junk = g.add(29);
    g.root(a);
    g.root(r2);
    g.ref(a, b);
    g.ref(a, c);
    g.ref(b, d);
    g.ref(c, d);  // diamond: d is a's, not b's or c's
    g.ref(d, e);
    g.ref(e, f);
    g.ref(f, d);  // cycle d -> e -> f -> d, entered only at d
    g.ref(f, f);
    g.ref(a, r2);  // r2 is a root of its own: only the virtual root dominates it
    g.ref(r2, x);
    g.weak(x, w);  // w is held only weakly
    g.ref(junk, a);
    const HeapGraph graph = g.build();

    const Dominators strong = compute(graph);
    const auto& idom = strong.idom;
    EXPECT_EQ(idom[a], kVirtualRoot);
    EXPECT_EQ(idom[b], a);
    EXPECT_EQ(idom[c], a);
    EXPECT_EQ(idom[d], a);
    EXPECT_EQ(idom[e], d);
    EXPECT_EQ(idom[f], e);
    EXPECT_EQ(idom[r2], kVirtualRoot);
    EXPECT_EQ(idom[x], r2);
    EXPECT_EQ(idom[w], kNoObject);
    EXPECT_EQ(idom[junk], kNoObject);
    EXPECT_EQ(strong.unreachable, 2u);
    EXPECT_EQ(strong.unreachableBytes, (23u + 29u) * kSizeUnit);
    EXPECT_EQ(strong.retained.bytes(a), (2u + 3 + 5 + 7 + 11 + 13) * kSizeUnit);
    EXPECT_EQ(strong.retained.bytes(d), (7u + 11 + 13) * kSizeUnit);
    EXPECT_EQ(strong.retained.bytes(r2), (17u + 19) * kSizeUnit);
    EXPECT_EQ(strong.retained.bytes(kVirtualRoot), (2u + 3 + 5 + 7 + 11 + 13 + 17 + 19) * kSizeUnit);

    // Counting referents as strong: w belongs to x, and so to r2.
    const Dominators weak = compute(graph, true);
    EXPECT_EQ(weak.idom[w], x);
    EXPECT_EQ(weak.retained.bytes(r2), (17u + 19 + 23) * kSizeUnit);
    EXPECT_EQ(weak.unreachable, 1u);
}

TEST(Dominators, EmptyGraphsAndRootsOnly)
{
    HeapGraph empty;
    empty.firstEdge = {0};
    const Dominators none = compute(empty);
    EXPECT_EQ(none.reachable, 0u);
    EXPECT_EQ(none.retained.bytes(kVirtualRoot), 0u);

    GraphBuilder g;
    g.add(4);
    g.add(4);
    const Dominators noRoots = compute(g.build());
    EXPECT_EQ(noRoots.unreachable, 2u);
    EXPECT_EQ(noRoots.retained.bytes(kVirtualRoot), 0u);
    EXPECT_EQ(noRoots.retained.bytes(1), 0u);
}

TEST(Dominators, RandomGraphsMatchBruteForce)
{
    for (const uint32_t number : randomCases(24)) {
        SCOPED_TRACE(describe(number));
        const HeapGraph graph = randomHeap(number, 600 + number % 7 * 400);
        expectBruteForce(graph, false);
        if (HasFatalFailure())
            return;
    }
}

TEST(Dominators, RandomGraphsCountingReferentsMatchBruteForce)
{
    for (const uint32_t number : randomCases(24)) {
        SCOPED_TRACE(describe(number));
        const HeapGraph graph = randomHeap(number, 600 + number % 7 * 400);
        expectBruteForce(graph, true);
        if (HasFatalFailure())
            return;
    }
}

// Every object's reference to its class, with classes that share one class object (a
// forged dump can say so) and classes whose class object is a GC root.
TEST(Dominators, SharedAndRootClassObjectsMatchBruteForce)
{
    {
        // Instances of two classes, all below d, and their one class object, which only
        // they refer to: d dominates it.
        GraphBuilder g;
        const uint32_t r = g.add(1, 2), d = g.add(1, 2), shared = g.add(4, 2);
        std::vector<uint32_t> instances;
        for (uint32_t i = 0; i < 6; ++i)
            instances.push_back(g.add(1, i % 2));
        g.root(r);
        g.ref(r, d);
        for (const uint32_t i : instances)
            g.ref(d, i);
        g.classObject(0, shared);
        g.classObject(1, shared);
        g.classObject(2, r);
        const HeapGraph graph = g.build();
        const Dominators got = compute(graph);
        EXPECT_EQ(got.idom[shared], d);
        EXPECT_EQ(got.retained.bytes(d), (1 + 4 + 6) * kSizeUnit);
        expectBruteForce(graph, false);
    }
    for (const uint32_t number : randomCases(12)) {
        SCOPED_TRACE(describe(number | 1));
        HeapGraph graph = randomHeap(number | 1, 600 + number % 5 * 300);
        ASSERT_GE(graph.classObject.size(), 3u);
        graph.classObject[1] = graph.classObject[0];
        graph.classObject[2] = graph.roots.back();
        expectBruteForce(graph, false);
        expectBruteForce(graph, true);
        if (HasFatalFailure())
            return;
    }
}

// A chain of 300,000 objects from one root, where each object k with k % 3 == 0 also
// refers to k + 2 (so k + 1 can be passed by), and each object k refers back to k / 2.
// The back references leave the dominators alone: object j is dominated by j - 1 unless
// j - 1 can be passed by (j - 1 == 1 mod 3), then by j - 2; an object that can be passed
// by retains only itself, any other everything from it to the end.
TEST(Dominators, DeepChainWalksWithoutRecursion)
{
    constexpr uint32_t n = 300000;
    GraphBuilder g;
    for (uint32_t k = 0; k < n; ++k)
        g.add(1 + k % 5);
    for (uint32_t k = 0; k < n; ++k) {
        if (k % 3 == 0 && k + 2 < n)
            g.ref(k, k + 2);
        if (k + 1 < n)
            g.ref(k, k + 1);
        g.ref(k, k / 2);
    }
    g.root(0);
    const HeapGraph graph = g.build();

    for (const bool weak : {false, true}) {
        const Dominators got = compute(graph, weak);
        ASSERT_EQ(got.reachable, n);
        uint64_t suffix = 0;
        std::vector<uint64_t> fromHere(n + 1, 0);
        for (uint32_t k = n; k-- > 0;) {
            suffix += graph.shallowSize(k);
            fromHere[k] = suffix;
        }
        for (uint32_t k = 1; k < n; ++k) {
            const uint32_t want = (k - 1) % 3 == 1 ? k - 2 : k - 1;
            ASSERT_EQ(got.idom[k], want) << "object " << k;
            const bool passable = k % 3 == 1 && k + 1 < n;
            ASSERT_EQ(got.retained.bytes(k), passable ? graph.shallowSize(k) : fromHere[k]) << "object " << k;
        }
        EXPECT_EQ(got.retained.bytes(0), fromHere[0]);
    }
}

TEST(Dominators, SmallerScaleOfTheDeepChainAgreesWithBruteForce)
{
    // The rule the deep chain test states, checked by brute force where that is quick.
    GraphBuilder g;
    constexpr uint32_t n = 900;
    for (uint32_t k = 0; k < n; ++k)
        g.add(1 + k % 5);
    for (uint32_t k = 0; k < n; ++k) {
        if (k % 3 == 0 && k + 2 < n)
            g.ref(k, k + 2);
        if (k + 1 < n)
            g.ref(k, k + 1);
        g.ref(k, k / 2);
    }
    g.root(0);
    const HeapGraph graph = g.build();
    const BruteDominators want = bruteDominators(graph, false);
    for (uint32_t k = 1; k < n; ++k)
        ASSERT_EQ(want.idom[k], (k - 1) % 3 == 1 ? k - 2 : k - 1) << "object " << k;
    expectBruteForce(graph, false);
}

TEST(Dominators, RetainedSizesBeyond32BitsOfUnits)
{
    // Three objects of 30 GiB each under one root: 90 GiB needs more than 32 bits of
    // 8-byte units.
    GraphBuilder g;
    const uint32_t root = g.add(1);
    const uint32_t big = (30ull << 30) / kSizeUnit;
    for (int i = 0; i < 3; ++i)
        g.ref(root, g.add(big));
    g.root(root);
    const HeapGraph graph = g.build();
    const Dominators got = compute(graph);
    EXPECT_EQ(got.retained.bytes(root), kSizeUnit + 3 * (30ull << 30));
    EXPECT_EQ(got.retained.bytes(kVirtualRoot), kSizeUnit + 3 * (30ull << 30));
}

// Totals of 2^32 - 1 units and more are kept apart from the four bytes per object: a
// chain whose every link retains two such arrays, and totals just below and at the mark.
TEST(Dominators, ManyRetainedSizesBeyond32BitsOfUnits)
{
    GraphBuilder g;
    constexpr uint32_t links = 300;
    const uint32_t most = UINT32_MAX;
    std::vector<uint32_t> chain;
    for (uint32_t k = 0; k < links; ++k) {
        chain.push_back(g.add(1 + k % 5));
        if (k > 0)
            g.ref(chain[k - 1], chain[k]);
    }
    g.ref(chain.back(), g.add(most));
    g.ref(chain.back(), g.add(most - 7));
    const uint32_t below = g.add(most - 2);  // with its one unit of holder, most - 1
    const uint32_t holderBelow = g.add(1);
    g.ref(holderBelow, below);
    const uint32_t at = g.add(most - 1);  // with its holder, exactly the mark
    const uint32_t holderAt = g.add(1);
    g.ref(holderAt, at);
    g.root(chain[0]);
    g.root(holderBelow);
    g.root(holderAt);
    const HeapGraph graph = g.build();
    for (const uint32_t split : {kNoObject, 2u}) {
        const Dominators got = compute(graph, false, split);
        uint64_t units = uint64_t{most} + most - 7;
        for (uint32_t k = links; k-- > 0;) {
            units += 1 + k % 5;
            ASSERT_EQ(got.retained.bytes(chain[k]), units * kSizeUnit) << "link " << k;
        }
        EXPECT_EQ(got.retained.bytes(holderBelow), uint64_t{most - 1} * kSizeUnit);
        EXPECT_EQ(got.retained.bytes(below), uint64_t{most - 2} * kSizeUnit);
        EXPECT_EQ(got.retained.bytes(holderAt), uint64_t{most} * kSizeUnit);
        EXPECT_EQ(got.retained.bytes(kVirtualRoot), (units + most - 1 + most) * kSizeUnit);
    }
    expectBruteForce(graph, false);
}

// The last walk splits where the first numbered half the objects: 3000 levels down a
// path (the second thread finds the dominators above its start on that path), and at a
// root that begins a tree of its own. Deeper paths are not split; the deep chain above
// checks that case.
TEST(Dominators, LastWalkOnTwoThreadsGivesTheSameAnswers)
{
    GraphBuilder chain;  // a chain of 3000 (with references that skip some), then a fan
    constexpr uint32_t n = 20000, length = 3000;
    for (uint32_t k = 0; k < n; ++k)
        chain.add(1 + k % 3);
    for (uint32_t k = 0; k + 1 < length; ++k) {
        chain.ref(k, k + 1);
        if (k % 4 == 0 && k + 3 < length)
            chain.ref(k, k + 3);
    }
    for (uint32_t k = length; k < n; ++k) {
        chain.ref(length - 1, k);
        if (k % 7 == 0)
            chain.ref(1000, k);  // dominated from higher up the path
        if (k % 5 == 0 && k + 1 < n)
            chain.ref(k, k + 1);
    }
    chain.root(0);

    GraphBuilder forest;  // 4 roots of 5 objects each: object 10, a root, is numbered 11 = 20 / 2 + 1
    for (uint32_t k = 0; k < 20; ++k)
        forest.add(1);
    for (uint32_t r = 0; r < 20; r += 5) {
        forest.ref(r, r + 1);
        forest.ref(r + 1, r + 2);
        forest.ref(r, r + 3);
        forest.ref(r + 3, r + 4);
        forest.root(r);
    }
    forest.ref(17, 2);  // from the last tree into the first one

    for (const HeapGraph& graph : {chain.build(), forest.build()}) {
        const Dominators one = compute(graph, false, kNoObject);
        const Dominators two = compute(graph, false, 2);
        ASSERT_EQ(one.reachable, graph.objects);
        EXPECT_EQ(two.reachable, one.reachable);
        EXPECT_EQ(two.idom, one.idom);
        for (uint32_t o = 0; o < graph.objects; ++o)
            ASSERT_EQ(two.retained.bytes(o), one.retained.bytes(o)) << "object " << o;
    }
    const HeapGraph fan = chain.build();
    const Dominators fanned = compute(fan, false, 2);
    EXPECT_EQ(fanned.idom[3003], 1000u);        // from 2999 and from 1000, which 2999 needs
    EXPECT_EQ(fanned.idom[10001], length - 1);  // from 2999 and from 10000
    EXPECT_EQ(fanned.retained.bytes(10000), fan.shallowSize(10000));

    const HeapGraph graph = forest.build();
    const Dominators got = compute(graph, false, 2);
    EXPECT_EQ(got.idom[2], kVirtualRoot);  // reached from two roots
    EXPECT_EQ(got.idom[14], 13u);
    EXPECT_EQ(got.retained.bytes(0), 4 * graph.shallowSize(0));
    EXPECT_EQ(got.retained.bytes(1), graph.shallowSize(1));
}
