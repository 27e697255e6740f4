// Snapshot: paths from the GC roots, and the biggest objects with a sentence each on
// what they are, who holds them and where their memory is.
#include <algorithm>
#include <map>

#include "accumulation.h"
#include "java_text.h"
#include "object_ids.h"
#include "snapshot_queries.h"

namespace {

// Children of an accumulation point looked at to say what they hold.
constexpr uint32_t kSample = 32;

}  // namespace

RootPathReply Snapshot::path(uint32_t object) const
{
    RootPathReply reply;
    reply.target = row(object);
    const RootPath found = analysis_.paths.pathTo(index_.graph, object);
    reply.found = found.kind == PathKind::strong ? "strong" : found.kind == PathKind::weak ? "weak" : "none";
    for (size_t i = 0; i < found.steps.size(); ++i) {
        const PathStep& step = found.steps[i];
        PathHop out;
        out.object = row(step.object);
        out.weak = step.weak;
        if (i > 0)
            out.via = via(found.steps[i - 1].object, step.edge, step.weak);
        reply.steps.push_back(std::move(out));
    }
    if (!found.steps.empty())
        reply.roots = rootsOf(found.steps.front().object);

    // The holder as a programmer names it: the static, field or array that the last step
    // goes through, or the root when a root holds the object itself.
    if (found.steps.size() >= 2) {
        const ::PathStep& last = found.steps.back();
        const uint32_t holder = found.steps[found.steps.size() - 2].object;
        const HeapIndex::EdgeLabel label =
            last.weak ? HeapIndex::EdgeLabel{HeapIndex::EdgeLabel::Field, 0, kNoClass, 0} : index_.edgeLabel(holder, last.edge);
        const std::string_view name = index_.name(label.name);
        if (last.weak)
            reply.heldBy = "the referent of a " + javaTypeName(className(holder));
        else if (label.kind == HeapIndex::EdgeLabel::Static && !name.empty())
            reply.heldBy = javaTypeName(index_.className(label.declaringClass)) + "." + std::string(name);
        else if (label.kind == HeapIndex::EdgeLabel::Field && !name.empty())
            reply.heldBy = javaTypeName(className(holder)) + "." + std::string(name);
        else if (label.kind == HeapIndex::EdgeLabel::Element)
            reply.heldBy = "element " + std::to_string(label.index) + " of a " + javaTypeName(className(holder));
        else
            reply.heldBy = "a " + javaTypeName(className(holder)) + " (" + via(holder, last.edge, false) + ")";
    } else if (!reply.roots.empty()) {
        reply.heldBy = reply.roots.front().description;
    }

    reply.notes = notes();
    if (found.kind == PathKind::none)
        reply.notes.insert(reply.notes.begin(), "no chain of references from a GC root reaches " + reply.target.id +
                                                    ": it is garbage the next collection frees");
    else if (found.kind == PathKind::weak)
        reply.notes.insert(reply.notes.begin(), reply.target.id + " is reachable only through a weak, soft, phantom or "
                                                                  "final reference's referent");
    return reply;
}

std::string Snapshot::describeBig(uint32_t object, uint32_t accumulation, const RootPathReply& path) const
{
    const DominatorTree& tree = analysis_.tree;
    const HeapGraph& graph = index_.graph;
    const uint64_t retained = tree.retainedBytes(object);
    // A class object is its class, which a system class root holds as itself.
    const bool isClass = index_.kind(object) == ObjectKind::Class;
    std::string sentence = isClass ? "class " + javaTypeName(index_.className(index_.classRepresented(object)))
                                   : "one " + javaTypeName(className(object));
    if (!path.heldBy.empty() && !(isClass && path.steps.size() == 1))
        sentence += " held by " + path.heldBy;
    sentence += " retains " + bytesText(retained) + " (" + shareText(shareOf(retained)) + ")";

    const uint32_t biggest = tree.biggestChild(accumulation);
    if (biggest == kNoObject)
        return sentence;  // its memory is its own: a large array
    const std::string where = accumulation == object ? "" : " in its " + javaTypeName(className(accumulation));
    if (graph.classOf[biggest] == graph.classOf[accumulation] &&
        tree.retainedBytes(biggest) * 2 >= tree.retainedBytes(accumulation))
        return sentence + ": a chain of " + javaTypeName(className(biggest)) + where;

    // What the children are, and what each mostly holds: a map's nodes and the values
    // below them, an array's elements. A sample spread over all of them, not the largest
    // (those are the odd ones: a map's nodes with collisions chained below them).
    const std::vector<uint32_t> sample = tree.someChildren(accumulation, kSample);
    // What a child holds is its biggest child of another class (a map node's next node in
    // its chain is passed over), when that holds a good part of it.
    std::map<uint32_t, uint32_t> childClasses, heldClasses;
    for (const uint32_t child : sample) {
        ++childClasses[graph.classOf[child]];
        for (const uint32_t held : tree.largestChildren(child, 4)) {
            if (graph.classOf[held] == graph.classOf[child])
                continue;
            if (tree.retainedBytes(held) * 4 >= tree.retainedBytes(child))
                ++heldClasses[graph.classOf[held]];
            break;
        }
    }
    auto most = [](const std::map<uint32_t, uint32_t>& counts) {
        auto best = counts.begin();
        for (auto it = counts.begin(); it != counts.end(); ++it) {
            if (it->second > best->second)
                best = it;
        }
        return best;
    };
    const auto child = most(childClasses);
    const uint64_t count = tree.childCount(accumulation);
    const std::string childType = javaTypeName(index_.className(child->first));
    std::string detail = groupedCount(count) + " ";
    // The children's own count only: what they hold further down (a map's chained nodes)
    // is not counted, so say what they are and what they mostly hold.
    if (!heldClasses.empty() && most(heldClasses)->second * 2 > sample.size() && most(heldClasses)->first != child->first)
        detail += childType + " holding " + javaTypeName(index_.className(most(heldClasses)->first)) + " objects";
    else if (child->second * 2 > sample.size())
        detail += childType;
    else
        detail += std::string(count == 1 ? "object" : "objects") + ", mostly " + childType;
    return sentence + ": " + detail + where;
}

std::vector<BigObjectRow> Snapshot::bigObjects(uint32_t limit, double threshold) const
{
    std::vector<BigObjectRow> rows;
    for (const BigObject& big : biggestObjects(index_.graph, analysis_.tree, limit)) {
        if (shareOf(analysis_.tree.retainedBytes(big.object)) < threshold)
            break;
        BigObjectRow r;
        r.object = row(big.object);
        r.accumulation = row(big.accumulation);
        r.accumulationChildren = analysis_.tree.childCount(big.accumulation);
        r.path = path(big.object);
        r.path.notes.clear();  // the reply's own notes say it once
        r.sentence = describeBig(big.object, big.accumulation, r.path);
        rows.push_back(std::move(r));
    }
    return rows;
}

TopReply Snapshot::top(uint32_t limit) const
{
    TopReply reply;
    reply.heap = summary();
    reply.rows = bigObjects(limit, 0);
    reply.notes = notes();
    return reply;
}

SuspectsReply Snapshot::suspects(double threshold, uint32_t limit) const
{
    SuspectsReply reply;
    reply.heap = summary();
    reply.threshold = threshold;
    // No object reported holds another, so at most 1 / threshold of them reach it.
    const double most = threshold > 0 ? 1 / threshold : static_cast<double>(limit);
    reply.rows = bigObjects(static_cast<uint32_t>(std::min<double>(limit, most + 1)), threshold);
    reply.notes = notes();
    if (reply.rows.empty())
        reply.notes.insert(reply.notes.begin(), "no object retains " + shareText(threshold) + " of the heap or more");
    return reply;
}
