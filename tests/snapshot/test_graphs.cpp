#include "test_graphs.h"

#include <cstdlib>
#include <random>

uint32_t GraphBuilder::add(uint32_t sizeUnits, uint32_t classNumber)
{
    rows_.emplace_back();
    sizes_.push_back(sizeUnits);
    classes_.push_back(classNumber);
    return static_cast<uint32_t>(rows_.size() - 1);
}

void GraphBuilder::classObject(uint32_t number, uint32_t object)
{
    if (classObjects_.size() <= number)
        classObjects_.resize(number + 1, kNoObject);
    classObjects_[number] = object;
}

HeapGraph GraphBuilder::build() const
{
    HeapGraph graph;
    graph.objects = size();
    graph.sizeUnits = sizes_;
    graph.classOf = classes_;
    graph.firstEdge.push_back(0);
    for (const auto& row : rows_) {
        graph.targets.insert(graph.targets.end(), row.begin(), row.end());
        graph.firstEdge.push_back(static_cast<uint32_t>(graph.targets.size()));
    }
    graph.weakEdges = weak_;
    graph.roots = roots_;
    graph.classObject = classObjects_;
    return graph;
}

HeapGraph randomHeap(uint32_t number, uint32_t objects)
{
    std::mt19937 random(number);
    auto below = [&random](uint32_t bound) { return std::uniform_int_distribution<uint32_t>(0, bound - 1)(random); };
    auto chance = [&random](double p) { return std::bernoulli_distribution(p)(random); };

    // Objects [0, core) may be strongly reachable; [core, weakEnd) are reached only
    // through referents; the rest only from each other and from nothing reachable.
    const uint32_t core = objects * 8 / 10;
    const uint32_t weakEnd = objects * 9 / 10;
    const uint32_t classes = 3 + below(10);
    GraphBuilder builder;
    for (uint32_t i = 0; i < objects; ++i)
        builder.add(1 + below(64), below(classes));

    auto near = [&](uint32_t from, uint32_t lo, uint32_t hi) {
        // Mostly a little further on, as a tree or a list: deep paths and diamonds.
        const uint32_t span = 1 + below(chance(0.1) ? hi - lo : 30);
        return lo + (from - lo + span) % (hi - lo);
    };
    for (uint32_t i = 0; i < core; ++i) {
        // A few hubs with many children (a map's table), most objects with a handful.
        const uint32_t degree = chance(0.005) ? 50 + below(300) : (i == 0 ? 3 : 0) + below(chance(0.3) ? 2 : 5);
        for (uint32_t k = 0; k < degree; ++k) {
            const uint32_t kind = below(100);
            if (kind < 60)
                builder.ref(i, near(i, 0, core));
            else if (kind < 75)
                builder.ref(i, i >= 20 ? i - 1 - below(20) : below(core));  // back: cycles
            else if (kind < 95)
                builder.ref(i, below(core));  // across: diamonds
            else
                builder.ref(i, i);
        }
        if (chance(0.05))
            builder.weak(i, chance(0.6) ? core + below(weakEnd - core) : below(core));
    }
    for (uint32_t i = core; i < weakEnd; ++i) {
        for (uint32_t k = below(3); k > 0; --k)
            builder.ref(i, chance(0.5) ? near(i, core, weakEnd) : below(core));
        if (chance(0.05))
            builder.weak(i, weakEnd + below(objects - weakEnd));
    }
    for (uint32_t i = weakEnd; i < objects; ++i) {
        for (uint32_t k = below(3); k > 0; --k)
            builder.ref(i, below(objects));
    }
    const uint32_t roots = 1 + below(12);
    std::vector<char> isRoot(core, 0);
    for (uint32_t r = 0; r < roots; ++r) {
        const uint32_t object = r == 0 ? 0 : below(core);
        if (!isRoot[object]) {
            isRoot[object] = 1;
            builder.root(object);
        }
    }
    if (number % 2 == 1) {
        // Class objects spread over the heap; the last class has none in the graph.
        for (uint32_t c = 0; c + 1 < classes; ++c)
            builder.classObject(c, below(objects));
        builder.classObject(classes - 1, kNoObject);
    }
    return builder.build();
}

std::vector<uint32_t> randomCases(uint32_t count)
{
    if (const char* chosen = std::getenv("VORLAN_SNAPSHOT_RANDOM"))
        return {static_cast<uint32_t>(std::strtoul(chosen, nullptr, 10))};
    std::vector<uint32_t> numbers;
    for (uint32_t i = 0; i < count; ++i)
        numbers.push_back(1000 + i);
    return numbers;
}

std::string describe(uint32_t number)
{
    return "random graph " + std::to_string(number) + (number % 2 ? ", class references implicit" : "") + " (repeat it alone with VORLAN_SNAPSHOT_RANDOM="
        + std::to_string(number) + ")";
}
