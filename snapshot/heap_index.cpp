#include "heap_index.h"

#include <algorithm>
#include <unordered_map>

#include "hprof_format.h"

std::string_view HeapIndex::className(uint32_t cls) const
{
    return cls < classes.size() ? names_.get(classes[cls].name) : std::string_view("?");
}

uint32_t HeapIndex::classRepresented(uint32_t object) const
{
    auto found = std::lower_bound(mirrors_.begin(), mirrors_.end(), std::make_pair(object, 0u));
    return found != mirrors_.end() && found->first == object ? found->second : kNoClass;
}

ObjectKind HeapIndex::kind(uint32_t object) const
{
    const uint32_t cls = graph.classOf[object];
    if (cls < classes.size()) {
        if (classes[cls].kind == ClassKind::ObjectArray)
            return ObjectKind::ObjectArray;
        if (classes[cls].kind == ClassKind::PrimitiveArray)
            return ObjectKind::PrimitiveArray;
    }
    return classRepresented(object) != kNoClass ? ObjectKind::Class : ObjectKind::Instance;
}

uint32_t HeapIndex::classNamed(std::string_view wanted) const
{
    for (uint32_t c = 0; c < classes.size(); ++c) {
        if (names_.get(classes[c].name) == wanted)
            return c;
    }
    return kNoClass;
}

std::string HeapIndex::threadLabel(uint32_t thread) const
{
    const ThreadInfo& info = threads[thread];
    if (info.name != 0)
        return std::string(name(info.name));
    const std::string cls = info.object != kNoObject ? std::string(className(graph.classOf[info.object])) : "thread";
    return cls + " #" + std::to_string(info.serial);
}

std::pair<uint64_t, uint64_t> HeapIndex::arrayLengthRange(uint32_t object) const
{
    const ObjectKind k = kind(object);
    if (k != ObjectKind::ObjectArray && k != ObjectKind::PrimitiveArray)
        return {0, 0};
    const VmLayout& layout = summary.layout;
    const unsigned element = k == ObjectKind::ObjectArray ? layout.oopSize()
                                                          : hprof::primitiveSize(classes[graph.classOf[object]].elementType);
    const uint64_t size = graph.shallowSize(object);
    const uint64_t base = layout.arrayBase(element);
    if (size < base)
        return {0, 0};
    // size = align(base + length * element): base + length * element lies in (size - alignment, size].
    const uint64_t high = (size - base) / element;
    const uint64_t floorBytes = size >= base + layout.objectAlignment ? size - layout.objectAlignment - base + 1 : 0;
    uint64_t low = (floorBytes + element - 1) / element;
    if (k == ObjectKind::ObjectArray && graph.firstEdge[object + 1] > graph.firstEdge[object]) {
        const HeapIndex::EdgeLabel last = edgeLabel(object, graph.firstEdge[object + 1] - 1);
        if (last.kind == EdgeLabel::Element)
            low = std::max<uint64_t>(low, uint64_t{last.index} + 1);
    }
    return {std::min(low, high), high};
}

std::vector<HeapIndex::FieldRef> HeapIndex::instanceFields(uint32_t cls) const
{
    std::vector<FieldRef> out;
    for (size_t depth = 0; cls < classes.size() && depth <= classes.size(); ++depth) {
        for (const FieldDecl& field : classes[cls].fields)
            out.push_back({cls, field});
        cls = classes[cls].super;
    }
    return out;
}

std::vector<HeapIndex::Reference> HeapIndex::references(uint32_t object) const
{
    std::vector<Reference> out;
    const uint32_t cls = graph.classEdge(object);
    if (cls != kNoObject)
        out.push_back({kClassEdge, cls});
    for (uint32_t e = graph.firstEdge[object]; e < graph.firstEdge[object + 1]; ++e)
        out.push_back({e, graph.targets[e]});
    return out;
}

HeapIndex::EdgeLabel HeapIndex::edgeLabel(uint32_t object, uint32_t edge) const
{
    if (edge == kClassEdge)
        return {EdgeLabel::Class, 0, kNoClass, 0};
    return labelOfSlot(object, kind(object), labels_.slot(graph.firstEdge[object], edge), nullptr);
}

std::vector<HeapIndex::EdgeLabel> HeapIndex::labelsOf(uint32_t object) const
{
    std::vector<EdgeLabel> out;
    if (graph.classEdge(object) != kNoObject)
        out.push_back({EdgeLabel::Class, 0, kNoClass, 0});
    const ObjectKind k = kind(object);
    const std::vector<FieldRef> fields = k == ObjectKind::Instance ? instanceFields(graph.classOf[object]) : std::vector<FieldRef>();
    for (const uint32_t slot : labels_.slots(graph.firstEdge[object], graph.firstEdge[object + 1]))
        out.push_back(labelOfSlot(object, k, slot, &fields));
    return out;
}

HeapIndex::EdgeLabel HeapIndex::labelOfSlot(uint32_t object, ObjectKind k, uint32_t slot,
                                            const std::vector<FieldRef>* known) const
{
    if (slot == 0)
        return {EdgeLabel::Class, 0, kNoClass, 0};
    switch (k) {
    case ObjectKind::Class: {
        const uint32_t cls = classRepresented(object);
        if (slot <= 4)
            return {static_cast<EdgeLabel::Kind>(EdgeLabel::Super + (slot - 1)), 0, cls, 0};
        const uint32_t index = slot - 5;
        const auto& statics = classes[cls].statics;
        if (index < statics.size())
            return {EdgeLabel::Static, index, cls, statics[index].name};
        return {EdgeLabel::ConstantPool, static_cast<uint32_t>(index - statics.size()), cls, 0};
    }
    case ObjectKind::ObjectArray:
    case ObjectKind::PrimitiveArray:
        return {EdgeLabel::Element, slot - 1, kNoClass, 0};
    case ObjectKind::Instance:
        break;
    }
    const std::vector<FieldRef> own = known ? std::vector<FieldRef>() : instanceFields(graph.classOf[object]);
    const std::vector<FieldRef>& fields = known ? *known : own;
    const uint32_t index = slot - 1;
    if (index < fields.size())
        return {EdgeLabel::Field, index, fields[index].declaringClass, fields[index].field.name};
    return {EdgeLabel::Field, index, kNoClass, 0};
}

std::string HeapIndex::edgeName(uint32_t object, uint32_t edge) const
{
    const EdgeLabel label = edgeLabel(object, edge);
    switch (label.kind) {
    case EdgeLabel::Class: return "<class>";
    case EdgeLabel::Super: return "<super>";
    case EdgeLabel::Loader: return "<classloader>";
    case EdgeLabel::Signers: return "<signers>";
    case EdgeLabel::ProtectionDomain: return "<protection domain>";
    case EdgeLabel::ConstantPool: return "<constant pool " + std::to_string(label.index) + ">";
    case EdgeLabel::Element: return "[" + std::to_string(label.index) + "]";
    case EdgeLabel::Static: {
        const std::string_view n = name(label.name);
        return !n.empty() && n[0] == '<' ? std::string(n) : "static " + std::string(n);
    }
    case EdgeLabel::Field: {
        if (label.declaringClass == kNoClass)
            return "field " + std::to_string(label.index);
        // A field a subclass hides is named by the class that declares it.
        const auto fields = instanceFields(graph.classOf[object]);
        for (uint32_t i = 0; i < label.index; ++i) {
            if (fields[i].field.name == label.name)
                return std::string(className(label.declaringClass)) + "." + std::string(name(label.name));
        }
        return std::string(name(label.name));
    }
    }
    return "?";
}

std::vector<uint32_t> HeapIndex::edgesBetween(uint32_t from, uint32_t to) const
{
    std::vector<uint32_t> out;
    if (graph.classEdge(from) == to)
        out.push_back(kClassEdge);
    for (uint32_t e = graph.firstEdge[from]; e < graph.firstEdge[from + 1]; ++e) {
        if (graph.targets[e] == to)
            out.push_back(e);
    }
    return out;
}

std::vector<HeapIndex::HistogramRow> HeapIndex::histogram() const
{
    std::vector<HistogramRow> rows(classes.size());
    for (uint32_t c = 0; c < classes.size(); ++c)
        rows[c].cls = c;
    for (uint32_t i = 0; i < graph.objects; ++i) {
        HistogramRow& row = rows[graph.classOf[i]];
        ++row.objects;
        row.bytes += graph.shallowSize(i);
    }
    rows.erase(std::remove_if(rows.begin(), rows.end(), [](const HistogramRow& r) { return r.objects == 0; }),
               rows.end());
    std::sort(rows.begin(), rows.end(), [](const HistogramRow& a, const HistogramRow& b) {
        return a.bytes != b.bytes ? a.bytes > b.bytes : a.cls < b.cls;
    });
    return rows;
}

HeapIndex::MemoryUse HeapIndex::memoryUse() const
{
    MemoryUse use{};
    use.graph = graph.sizeUnits.memoryBytes() + graph.classOf.memoryBytes() + graph.firstEdge.capacity() * 4 +
                graph.targets.capacity() * 4 + graph.weakEdges.capacity() * 8 + graph.roots.capacity() * 4 +
                graph.classObject.capacity() * 4;
    use.labels = labels_.memoryBytes();
    use.addresses = addresses_.memoryBytes() + mirrors_.capacity() * 8;
    for (const ClassInfo& info : classes)
        use.classes += sizeof(ClassInfo) + info.fields.capacity() * sizeof(FieldDecl) +
                       info.statics.capacity() * sizeof(StaticField);
    return use;
}
