// Snapshot: construction, naming objects and roots, and the queries over classes, the
// dominator tree and referrers. Paths and big objects are in big_objects.cpp, show in
// object_view.cpp, the profile for comparing in snapshot_compare.cpp.
#include "snapshot_queries.h"

#include <algorithm>

#include "java_text.h"
#include "object_ids.h"
#include "referrers.h"

Snapshot::Snapshot(HeapIndex index, ValueReader values, const SnapshotOptions& options)
    : index_(std::move(index)), values_(std::move(values))
{
    AnalysisOptions analysisOptions;
    analysisOptions.weakAsStrong = options.weakAsStrong;
    analysis_ = analyseHeap(index_.graph, analysisOptions, options.progress);
    for (uint32_t o = 0; o < index_.graph.objects; ++o)
        heapBytes_ += index_.graph.shallowSize(o);
    rootsByObject_.reserve(index_.roots.size());
    for (uint32_t r = 0; r < index_.roots.size(); ++r)
        rootsByObject_.emplace_back(index_.roots[r].object, r);
    std::sort(rootsByObject_.begin(), rootsByObject_.end());
}

HeapSummary Snapshot::summary() const
{
    HeapSummary s;
    const HeapGraph& graph = index_.graph;
    s.objects = graph.objects;
    s.bytes = heapBytes_;
    s.reachableObjects = analysis_.reachable;
    s.reachableBytes = analysis_.tree.retainedBytes(kVirtualRoot);
    s.unreachableObjects = analysis_.unreachable;
    s.unreachableBytes = analysis_.unreachableBytes;
    for (const uint64_t n : analysis_.classes.objects)
        s.classes += n > 0;
    s.roots = index_.roots.size();
    s.dumpBytes = index_.summary.dumpBytes;
    s.javaVersion = index_.summary.javaVersion;
    s.weakAsStrong = analysis_.weakAsStrong;
    s.values = hasValues();
    s.layout = index_.summary.layout.describe();
    return s;
}

Notes Snapshot::notes() const
{
    Notes notes;
    if (analysis_.weakAsStrong)
        notes.push_back("retained sizes count what weak, soft, phantom and final references refer to as retained "
                        "by them, as Eclipse MAT does");
    else
        notes.push_back("retained sizes follow strong references only: what a weak, soft, phantom or final reference "
                        "refers to is not retained by it, so a retained size is what the next collections would free");
    if (analysis_.unreachable > 0)
        notes.push_back(groupedCount(analysis_.unreachable) + " objects (" + bytesText(analysis_.unreachableBytes) +
                        ") are not reachable through strong references from a GC root: garbage, or held only by weak "
                        "or soft references; they retain nothing and the shares leave them out");
    // How sizes were worked out is the summary's to say, not every reply's.
    for (const std::string& note : index_.summary.notes) {
        if (note.rfind("object layout:", 0) != 0 && note.rfind("sizes taken from the spacing", 0) != 0)
            notes.push_back(note);
    }
    return notes;
}

double Snapshot::shareOf(uint64_t bytes) const
{
    const uint64_t heap = analysis_.tree.retainedBytes(kVirtualRoot);
    return heap == 0 ? 0 : static_cast<double>(bytes) / static_cast<double>(heap);
}

std::string Snapshot::className(uint32_t object) const
{
    return std::string(index_.className(index_.classIndexOf(object)));
}

uint32_t Snapshot::objectNamed(std::string_view id) const
{
    const ParsedId parsed = parseSnapshotId(id, index_);
    if (!parsed.error.empty())
        throw SnapshotError(parsed.error);
    return parsed.object;
}

ObjectRow Snapshot::row(uint32_t object) const
{
    ObjectRow r;
    if (object >= index_.graph.objects)
        return r;
    r.object = object;
    r.id = snapshotId(object);
    r.type = javaTypeName(className(object));
    r.shallow = index_.graph.shallowSize(object);
    r.reachable = analysis_.tree.dominatorOf(object) != kNoObject;
    r.retained = r.reachable ? analysis_.tree.retainedBytes(object) : 0;
    r.share = shareOf(r.retained);
    switch (index_.kind(object)) {
    case ObjectKind::Class:
        r.preview = "class " + javaTypeName(index_.className(index_.classRepresented(object)));
        break;
    case ObjectKind::ObjectArray:
    case ObjectKind::PrimitiveArray: {
        const auto length = index_.arrayLengthRange(object);
        if (length.first == length.second)
            r.preview = "[" + std::to_string(length.first) + "]";
        break;
    }
    case ObjectKind::Instance:
        break;
    }
    return r;
}

std::string Snapshot::via(uint32_t holder, uint32_t edge, bool weak) const
{
    return weak ? "referent" : index_.edgeName(holder, edge);
}

RootRow Snapshot::rootRow(const HeapRoot& root) const
{
    RootRow r;
    r.kind = rootKindName(root.kind);
    if (root.thread < index_.threads.size()) {
        r.thread = index_.threadLabel(root.thread);
        const ThreadInfo& thread = index_.threads[root.thread];
        if (root.frame >= 0 && static_cast<size_t>(root.frame) < thread.frames.size())
            r.method = std::string(index_.name(thread.frames[static_cast<size_t>(root.frame)].method));
    }
    const std::string thread = r.thread.empty() ? std::string() : "thread \"" + r.thread + "\"";
    const std::string in = r.method.empty() ? std::string() : " in " + r.method;
    switch (root.kind) {
    case RootKind::JniGlobal: r.description = "JNI global reference"; break;
    case RootKind::JniLocal: r.description = "JNI local reference" + (thread.empty() ? "" : " of " + thread) + in; break;
    case RootKind::JavaFrame: r.description = "Java frame" + (thread.empty() ? "" : " of " + thread) + in; break;
    case RootKind::NativeStack: r.description = "native stack" + (thread.empty() ? "" : " of " + thread); break;
    case RootKind::SystemClass:
        r.description = "system class " + javaTypeName(index_.className(index_.classRepresented(root.object)));
        break;
    case RootKind::ThreadBlock: r.description = "thread block" + (thread.empty() ? "" : " of " + thread); break;
    case RootKind::Monitor: r.description = "busy monitor"; break;
    case RootKind::Thread: r.description = thread.empty() ? "thread" : thread; break;
    case RootKind::Unknown: r.description = "other root"; break;
    }
    return r;
}

std::vector<RootRow> Snapshot::rootsOf(uint32_t object) const
{
    std::vector<RootRow> out;
    auto it = std::lower_bound(rootsByObject_.begin(), rootsByObject_.end(), std::make_pair(object, 0u));
    for (; it != rootsByObject_.end() && it->first == object; ++it) {
        RootRow r = rootRow(index_.roots[it->second]);
        const bool seen = std::any_of(out.begin(), out.end(), [&](const RootRow& o) { return o.description == r.description; });
        if (!seen)
            out.push_back(std::move(r));
    }
    // The most telling first: a frame or thread names code, a system class names a static.
    auto rank = [](const RootRow& r) {
        static const char* const order[] = {"Java frame", "JNI local", "thread", "system class", "JNI global"};
        for (int i = 0; i < 5; ++i) {
            if (r.kind == order[i])
                return i;
        }
        return 5;
    };
    std::stable_sort(out.begin(), out.end(), [&](const RootRow& a, const RootRow& b) { return rank(a) < rank(b); });
    return out;
}

DominatorsReply Snapshot::dominators(uint32_t node, uint64_t offset, uint32_t limit) const
{
    DominatorsReply reply;
    const DominatorTree& tree = analysis_.tree;
    reply.top = node == kVirtualRoot;
    reply.offset = offset;
    reply.notes = notes();
    if (!reply.top) {
        if (node >= index_.graph.objects)
            throw SnapshotError("no object " + snapshotId(node));
        reply.parent = row(node);
        if (!reply.parent.reachable) {
            reply.notes.insert(reply.notes.begin(), reply.parent.id + " is not reachable through strong references, so "
                                                                       "it dominates nothing");
            return reply;
        }
    } else {
        reply.notes.insert(reply.notes.begin(), "the top of the tree: the objects no single object keeps alive (the GC "
                                                "roots' own, and what several roots keep alive together)");
    }
    reply.total = tree.childCount(node);
    for (const uint32_t child : tree.children(node, offset, limit))
        reply.rows.push_back({row(child), tree.childCount(child)});
    return reply;
}

HistogramReply Snapshot::histogram(const HistogramQuery& query) const
{
    HistogramReply reply;
    const ClassTotals& totals = analysis_.classes;
    for (uint32_t c = 0; c < totals.objects.size(); ++c) {
        if (totals.objects[c] == 0)
            continue;
        ++reply.classes;
        reply.objects += totals.objects[c];
        reply.bytes += totals.shallowBytes[c];
        HistogramRow row;
        row.className = std::string(index_.className(c));
        row.type = javaTypeName(row.className);
        if (!query.match.empty() && row.className.find(query.match) == std::string::npos &&
            row.type.find(query.match) == std::string::npos)
            continue;
        row.objects = totals.objects[c];
        row.shallow = totals.shallowBytes[c];
        row.retained = totals.retainedBytes[c];
        reply.rows.push_back(std::move(row));
    }
    reply.matched = reply.rows.size();
    auto key = [&](const HistogramRow& r) { return query.byRetained ? r.retained : r.shallow; };
    std::sort(reply.rows.begin(), reply.rows.end(), [&](const HistogramRow& a, const HistogramRow& b) {
        return key(a) != key(b) ? key(a) > key(b) : a.className < b.className;
    });
    if (reply.rows.size() > query.limit)
        reply.rows.resize(query.limit);
    reply.reachableBytes = analysis_.tree.retainedBytes(kVirtualRoot);
    reply.notes = notes();
    reply.notes.push_back("a class's retained size is what its instances keep alive between them, each object counted "
                          "once, so the column does not add up to the heap");
    return reply;
}

InstancesReply Snapshot::instances(std::string_view typed, bool subclasses, uint64_t offset, uint32_t limit) const
{
    InstancesReply reply;
    reply.className = classNameFromUser(typed);
    reply.offset = offset;
    const auto& classes = index_.classes;
    std::vector<uint8_t> wanted(classes.size(), 0);
    bool named = false;
    for (uint32_t c = 0; c < classes.size(); ++c) {
        if (index_.className(c) == reply.className) {
            wanted[c] = 1;
            named = true;
        }
    }
    if (!named)
        throw SnapshotError("the snapshot has no class named " + reply.className);
    if (subclasses) {
        for (uint32_t c = 0; c < classes.size(); ++c) {
            // Superclass chains are acyclic (the reader checks), and bounded besides.
            uint32_t k = classes[c].super;
            for (size_t depth = 0; k < classes.size() && depth < classes.size() && !wanted[c]; ++depth) {
                if (wanted[k] == 1)
                    wanted[c] = 2;
                k = classes[k].super;
            }
        }
    }
    for (uint32_t c = 0; c < classes.size(); ++c)
        reply.classes += wanted[c] != 0 && c < analysis_.classes.objects.size() && analysis_.classes.objects[c] > 0;

    // The page's instances by retained size: a bounded heap of the best offset + limit
    // while the objects are scanned in order (their sizes are read in sequence too), so a
    // class of millions costs one pass and no copy of them all.
    struct Keyed {
        uint64_t retained;
        uint32_t object;
    };
    auto larger = [](const Keyed& a, const Keyed& b) { return a.retained != b.retained ? a.retained > b.retained : a.object < b.object; };
    const uint64_t wantedCount = offset + limit;
    std::vector<Keyed> best;  // a heap whose top is the smallest kept
    const HeapGraph& graph = index_.graph;
    const DominatorTree& tree = analysis_.tree;
    for (uint32_t o = 0; o < graph.objects; ++o) {
        const uint32_t c = graph.classOf[o];
        if (c >= wanted.size() || !wanted[c])
            continue;
        ++reply.total;
        const Keyed k{tree.retainedBytes(o), o};
        if (best.size() < wantedCount) {
            best.push_back(k);
            std::push_heap(best.begin(), best.end(), larger);
        } else if (larger(k, best.front())) {
            std::pop_heap(best.begin(), best.end(), larger);
            best.back() = k;
            std::push_heap(best.begin(), best.end(), larger);
        }
    }
    std::sort_heap(best.begin(), best.end(), larger);
    for (uint64_t i = offset; i < best.size(); ++i)
        reply.rows.push_back(row(best[i].object));
    reply.notes = notes();
    if (reply.total == 0)
        reply.notes.insert(reply.notes.begin(), reply.className + (subclasses ? " and its subclasses have" : " has") +
            " no instances (a heap dump does not say which classes implement an interface)");
    return reply;
}

ReferrersReply Snapshot::referrers(uint32_t object, uint32_t limit) const
{
    ReferrersReply reply;
    reply.target = row(object);
    const ReferrerList found = referrersOf(index_.graph, object, limit);
    reply.total = found.total;
    for (const Referrer& r : found.first)
        reply.rows.push_back({row(r.holder), via(r.holder, r.edge, r.weak), r.weak});
    reply.roots = rootsOf(object);
    reply.notes = notes();
    return reply;
}
