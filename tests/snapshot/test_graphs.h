// Heap graphs for the snapshot tests: written out by hand through GraphBuilder, or made
// at random in the shapes a heap has (trees, cycles, diamonds, hubs with many children,
// several roots, weak references, objects only weakly reachable, garbage).
#pragma once

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "heap_graph.h"

class GraphBuilder {
public:
    uint32_t add(uint32_t sizeUnits = 1, uint32_t classNumber = 0);
    void ref(uint32_t from, uint32_t to) { rows_[from].push_back(to); }
    void weak(uint32_t holder, uint32_t referent) { weak_.emplace_back(holder, referent); }
    void root(uint32_t object) { roots_.push_back(object); }
    // Leaves each object's reference to its class out of the rows (HeapGraph::classObject).
    void classObject(uint32_t number, uint32_t object);
    uint32_t size() const { return static_cast<uint32_t>(rows_.size()); }
    HeapGraph build() const;

private:
    std::vector<std::vector<uint32_t>> rows_;
    std::vector<uint32_t> sizes_;
    std::vector<uint32_t> classes_;
    std::vector<std::pair<uint32_t, uint32_t>> weak_;
    std::vector<uint32_t> roots_;
    std::vector<uint32_t> classObjects_;
};

// The random graph numbered number, of about objects objects: the same number gives the
// same graph, so a failure names the number that repeats it. Odd numbers leave each
// object's reference to its class out of the rows (HeapGraph::classObject).
HeapGraph randomHeap(uint32_t number, uint32_t objects);

// The numbers of the random graphs a test runs: count of them from a fixed start, or
// only the one named by VORLAN_SNAPSHOT_RANDOM to repeat a failure.
std::vector<uint32_t> randomCases(uint32_t count);
std::string describe(uint32_t number);
