#include "live_chain.h"

#include "heap_index.h"

namespace {

// How a GC root is named in a sentence: "a JNI global reference", "a local variable of
// thread main".
std::string rootDescription(const HeapIndex& index, uint32_t object)
{
    for (const HeapRoot& root : index.roots) {
        if (root.object != object)
            continue;
        const std::string thread = root.thread != kNoThread ? " of thread " + index.threadLabel(root.thread) : "";
        switch (root.kind) {
        case RootKind::JniGlobal: return "a JNI global reference";
        case RootKind::JniLocal: return "a JNI local reference" + thread;
        case RootKind::JavaFrame: return "a local variable" + thread;
        case RootKind::NativeStack: return "a native stack" + thread;
        case RootKind::Monitor: return "a monitor";
        default: return std::string("a GC root (") + rootKindName(root.kind) + ")";
        }
    }
    return "a GC root";
}

// The thread whose object this is, when the dump gave its name.
std::optional<std::string> namedThread(const HeapIndex& index, uint32_t object)
{
    for (const ThreadInfo& thread : index.threads)
        if (thread.object == object && thread.name != 0)
            return std::string(index.name(thread.name));
    return std::nullopt;
}

bool isAnchor(const HeapIndex& index, uint32_t object)
{
    return (index.kind(object) == ObjectKind::Class && index.classRepresented(object) != kNoClass) ||
           namedThread(index, object);
}

}  // namespace

LiveChainResult liveChainTo(const HeapIndex& index, const RootPath& path)
{
    LiveChainResult result;
    if (path.steps.empty()) {
        result.why = "no GC root reaches it: it is garbage the next collection frees";
        return result;
    }
    size_t anchor = path.steps.size();
    for (size_t i = path.steps.size(); i-- > 0;)
        if (isAnchor(index, path.steps[i].object)) {
            anchor = i;
            break;
        }
    if (anchor == path.steps.size()) {
        result.why = "its path starts at " + rootDescription(index, path.steps.front().object) +
                     " and passes no class or named thread, so the running program cannot be asked for it by name";
        return result;
    }

    LiveChain chain;
    const uint32_t start = path.steps[anchor].object;
    chain.objects.push_back(start);
    if (const auto thread = namedThread(index, start); thread && index.kind(start) != ObjectKind::Class) {
        chain.query.rootKind = "thread";
        chain.query.rootName = *thread;
    } else {
        chain.query.rootKind = "class";
        chain.query.rootName = std::string(index.className(index.classRepresented(start)));
    }
    for (size_t i = anchor + 1; i < path.steps.size(); ++i) {
        const uint32_t from = path.steps[i - 1].object;
        const uint32_t to = path.steps[i].object;
        FollowStep step;
        step.type = std::string(index.className(index.classIndexOf(to)));
        if (path.steps[i].weak) {
            step.how = "field";
            step.name = "referent";
            step.declared = "java.lang.ref.Reference";
        } else {
            const HeapIndex::EdgeLabel label = path.steps[i].edge == kClassEdge
                                                   ? HeapIndex::EdgeLabel{HeapIndex::EdgeLabel::Class, 0, kNoClass, 0}
                                                   : index.edgeLabel(from, path.steps[i].edge);
            const std::string name = label.name ? std::string(index.name(label.name)) : std::string();
            switch (label.kind) {
            case HeapIndex::EdgeLabel::Field:
                step.how = "field";
                step.name = name;
                if (label.declaringClass != kNoClass)
                    step.declared = std::string(index.className(label.declaringClass));
                break;
            case HeapIndex::EdgeLabel::Static:
                step.how = "static";
                step.name = name;
                break;
            case HeapIndex::EdgeLabel::Element:
                step.how = "element";
                step.name = std::to_string(label.index);
                break;
            case HeapIndex::EdgeLabel::Loader:
                step.how = "loader";
                break;
            default:
                break;
            }
            // The dump's own names for what a class holds through its constant pool.
            if (step.how.empty() || step.name.rfind('<', 0) == 0) {
                result.why = "its path goes through " + index.edgeName(from, path.steps[i].edge) + " of " +
                             std::string(index.className(index.classIndexOf(from))) +
                             ", which the VM lets no agent read";
                return result;
            }
        }
        chain.query.steps.push_back(std::move(step));
        chain.objects.push_back(to);
    }
    result.chain = std::move(chain);
    return result;
}
