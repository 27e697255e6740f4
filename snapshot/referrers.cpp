#include "referrers.h"

#include <algorithm>
#include <iterator>

namespace {

constexpr uint32_t kBlock = 64;

// Whether any of a block's values is wanted: a branch-free loop of a fixed length, which
// the compiler turns into a few vector compares.
template <class T>
bool blockHolds(const T* values, T wanted)
{
    uint32_t hits = 0;
    for (uint32_t i = 0; i < kBlock; ++i)
        hits |= values[i] == wanted;
    return hits != 0;
}

// The positions of wanted among values, in order.
template <class T, class Hit>
void scan(const T* values, uint32_t count, T wanted, Hit hit)
{
    const uint32_t whole = count - count % kBlock;
    for (uint32_t start = 0; start < count; start += kBlock) {
        if (start < whole && !blockHolds(values + start, wanted))
            continue;
        for (uint32_t i = start, end = std::min(count, start + kBlock); i < end; ++i) {
            if (values[i] == wanted)
                hit(i);
        }
    }
}

// The row holding edge e, searching onwards from row (hits come in increasing order):
// doubling steps, then a binary search, so that many hits cost little each.
uint32_t rowOf(const HeapGraph& graph, uint32_t row, uint32_t e)
{
    const uint32_t* first = graph.firstEdge.data();
    if (e < first[row + 1])
        return row;
    uint32_t low = row + 1, step = 1;
    while (low + step < graph.objects && first[low + step] <= e) {
        low += step;
        step *= 2;
    }
    const uint32_t high = std::min(graph.objects, low + step);
    return static_cast<uint32_t>(std::upper_bound(first + low, first + high, e) - first - 1);
}

}  // namespace

ReferrerList referrersOf(const HeapGraph& graph, uint32_t object, uint32_t limit)
{
    ReferrerList found;
    if (object >= graph.objects)
        return found;

    // Through the references to their class that the rows leave out: the instances of
    // the classes whose class object this is (one, but nothing forbids more). The list
    // stops at limit, since the merge below takes no more than that from it.
    std::vector<uint32_t> numbers;
    for (uint32_t number = 0; number < graph.classObject.size(); ++number) {
        if (graph.classObject[number] == object)
            numbers.push_back(number);
    }
    std::vector<Referrer> instances;
    auto instance = [&](uint32_t holder) {
        ++found.total;
        if (instances.size() < limit)
            instances.push_back({holder, kClassEdge, false});
    };
    if (numbers.size() == 1) {
        if (!graph.classOf.wide().empty())
            scan(graph.classOf.wide().data(), graph.objects, numbers[0], instance);
        else if (numbers[0] < UINT16_MAX)
            scan(graph.classOf.narrow().data(), graph.objects, static_cast<uint16_t>(numbers[0]), instance);
    } else if (!numbers.empty()) {
        for (uint32_t holder = 0; holder < graph.objects; ++holder) {
            if (std::find(numbers.begin(), numbers.end(), graph.classOf[holder]) != numbers.end())
                instance(holder);
        }
    }

    std::vector<Referrer> fields;
    uint32_t row = 0;
    scan(graph.targets.data(), graph.edgeCount(), object, [&](uint32_t e) {
        ++found.total;
        if (fields.size() < limit) {
            row = rowOf(graph, row, e);
            fields.push_back({row, e, false});
        }
    });

    // By holder, a holder's class reference before its fields, as its row would list them.
    std::merge(instances.begin(), instances.end(), fields.begin(), fields.end(), std::back_inserter(found.first),
        [](const Referrer& a, const Referrer& b) { return a.holder < b.holder; });
    if (found.first.size() > limit)
        found.first.resize(limit);
    for (size_t w = 0; w < graph.weakEdges.size(); ++w) {
        if (graph.weakEdges[w].second == object && graph.weakEdges[w].first < graph.objects) {
            ++found.total;
            if (found.first.size() < limit)
                found.first.push_back({graph.weakEdges[w].first, static_cast<uint32_t>(w), true});
        }
    }
    return found;
}
