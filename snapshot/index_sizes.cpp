// IndexBuilder::computeSizes: every object's shallow size as the VM counts it. The VM's
// layout settings are not in the dump, so each plausible layout is tried against the
// heap itself: objects in a region lie back to back, so the space between one object
// and the next is an upper bound on its size and, most of the time, equal to it. The
// layout with no object larger than its space and the most exact fits wins. A class the
// model gets wrong (a field the VM injects in another release, @Contended padding) is
// then corrected from the same spacing when its instances show it consistently.
#include <algorithm>

#include "hprof_format.h"
#include "index_builder.h"
#include "injected_fields.h"
#include "size_model.h"

void IndexBuilder::computeSizes(HeapIndex& index, ChunkedArray<uint32_t>& aux, std::vector<std::string>& sizeNotes)
{
    const ClassNumbers& classOf = index.graph.classOf;
    ReadSummary& summary = index.summary;
    // The release decides the injected fields; unknown, the newer table is used when the
    // dump has the classes only newer releases have.
    int feature = summary.javaFeature;
    int tableFeature = feature;
    if (tableFeature == 0)
        tableFeature = index.classNamed("java.lang.Thread$FieldHolder") != kNoClass ? 21 : 17;

    std::vector<ClassShape> shapes(classes_.size());
    for (uint32_t c = 0; c < classes_.size(); ++c) {
        const ClassInfo& info = index.classes[c];
        ClassShape& shape = shapes[c];
        shape.stackChunk = c == stackChunkClass_;
        shape.kind = info.kind == ClassKind::PrimitiveArray ? ClassShape::PrimitiveArray
                     : info.kind == ClassKind::ObjectArray  ? ClassShape::ObjectArray
                                                            : ClassShape::Instance;
        shape.elementType = info.elementType;
        shape.super = info.super;
        for (const FieldDecl& field : info.fields)
            shape.fieldTypes.push_back(field.type);
        std::string internal(index.name(info.name));
        std::replace(internal.begin(), internal.end(), '.', '/');
        for (uint8_t type : injectedFieldTypes(internal, tableFeature))
            shape.fieldTypes.push_back(type);
        for (const StaticField& s : info.statics) {
            const std::string_view name = index.name(s.name);
            if (name.empty() || name[0] != '<')  // the dump's <resolved_references>, <init_lock>
                shape.staticTypes.push_back(s.type);
        }
    }

    uint32_t alignment = 8;
    const uint64_t bits = addresses_.addressBits();
    if (bits != 0)
        alignment = std::max<uint32_t>(8, std::min<uint32_t>(256, 1u << __builtin_ctzll(bits)));
    std::vector<VmLayout> candidates;
    if (options_.layout)
        candidates.push_back(*options_.layout);
    else
        candidates = candidateLayouts(idSize_, feature, alignment);
    const uint64_t objects = classOf.size();
    auto isMirror = [&](uint32_t cls, uint32_t a) { return cls == classClass_ && a != kNoAux; };

    // Scoring: the candidates against the space after each object, in a sample of the
    // heap's blocks spread over all of it.
    size_t best = 0;
    if (candidates.size() > 1) {
        std::vector<SizeTable> tables;
        for (const VmLayout& layout : candidates) {
            SizeModel model(layout, shapes, classClass_);
            tables.emplace_back(model, shapes, classClass_);
        }
        std::vector<uint64_t> violations(tables.size(), 0), exact(tables.size(), 0);
        uint32_t prev = kNoObject;
        uint64_t prevAddress = 0;
        addresses_.forEachInAddressOrder(
            [&](uint32_t number, uint64_t address) {
                if (prev != kNoObject) {
                    const uint64_t gap = address - prevAddress;
                    for (size_t m = 0; m < tables.size(); ++m) {
                        const uint64_t size = tables[m].bytes(classOf[prev], aux[prev]);
                        violations[m] += size > gap;
                        exact[m] += size == gap;
                    }
                }
                prev = number;
                prevAddress = address;
            },
            static_cast<uint32_t>(std::max<uint64_t>(1, objects >> 20)));
        for (size_t m = 1; m < tables.size(); ++m) {
            if (violations[m] < violations[best] || (violations[m] == violations[best] && exact[m] > exact[best]))
                best = m;
        }
    }
    summary.layout = candidates[best];
    summary.layoutInferred = !options_.layout;
    SizeModel model(summary.layout, shapes, classClass_);

    // Every object's size from the chosen layout, cut to the space it has if larger;
    // each instance class's smallest space, for the corrections below.
    std::vector<uint32_t> minGap(classes_.size(), UINT32_MAX), atMinGap(classes_.size(), 0);
    uint64_t cut = 0;
    {
        const SizeTable table(model, shapes, classClass_);
        std::vector<uint8_t> instanceClass(classes_.size());
        std::vector<uint8_t> fixedSize(classes_.size());
        for (uint32_t c = 0; c < classes_.size(); ++c) {
            instanceClass[c] = shapes[c].kind == ClassShape::Instance;
            fixedSize[c] = instanceClass[c] && !shapes[c].stackChunk;
        }
        auto settle = [&](uint32_t number, uint64_t gap) {
            const uint32_t cls = classOf[number];
            const uint32_t a = aux[number];
            uint64_t size = table.bytes(cls, a);
            if (isMirror(cls, a))
                ++summary.classObjects;
            else if (!instanceClass[cls])
                ++(shapes[cls].kind == ClassShape::ObjectArray ? summary.objectArrays : summary.primitiveArrays);
            else
                ++summary.instances;
            if (gap != 0) {
                if (fixedSize[cls] && !isMirror(cls, a)) {
                    const uint32_t g = static_cast<uint32_t>(std::min<uint64_t>(gap, UINT32_MAX - 1));
                    if (g < minGap[cls]) {
                        minGap[cls] = g;
                        atMinGap[cls] = 1;
                    } else if (g == minGap[cls]) {
                        ++atMinGap[cls];
                    }
                }
                if (size > gap) {
                    size = gap;
                    ++cut;
                }
            }
            aux[number] = static_cast<uint32_t>(std::min<uint64_t>(size / kSizeUnit, UINT32_MAX));
        };
        uint32_t prev = kNoObject;
        uint64_t prevAddress = 0;
        addresses_.forEachInAddressOrder([&](uint32_t number, uint64_t address) {
            if (prev != kNoObject)
                settle(prev, address - prevAddress);
            prev = number;
            prevAddress = address;
        });
        if (prev != kNoObject)
            settle(prev, 0);
    }

    // Instance classes whose instances show another size than the model's, superclasses
    // first so a subclass is judged on its corrected superclass. Smaller than the model:
    // the model is wrong for certain (objects do not overlap). Larger: only when no
    // instance fits the model and at least two agree on the larger size; and where the
    // dump walked the object graph rather than the heap, the space after an object
    // includes the dead ones beside it (every instance of a class allocated between the
    // same temporaries shows the same), so there only the padding the VM puts around
    // @Contended fields, in steps of its 128 bytes, is believed.
    std::vector<uint32_t> depth(classes_.size(), UINT32_MAX);
    for (uint32_t c = 0; c < classes_.size(); ++c) {
        std::vector<uint32_t> chain;
        uint32_t d = 0;
        for (uint32_t k = c; k < classes_.size(); k = shapes[k].super) {
            if (depth[k] != UINT32_MAX) {
                d = depth[k] + 1;
                break;
            }
            chain.push_back(k);
        }
        for (auto it = chain.rbegin(); it != chain.rend(); ++it)
            depth[*it] = d++;
    }
    std::vector<uint32_t> order(classes_.size());
    for (uint32_t c = 0; c < order.size(); ++c)
        order[c] = c;
    std::stable_sort(order.begin(), order.end(), [&](uint32_t a, uint32_t b) { return depth[a] < depth[b]; });
    std::vector<uint32_t> modelled(classes_.size());
    for (uint32_t c = 0; c < classes_.size(); ++c)
        modelled[c] = shapes[c].kind == ClassShape::Instance ? model.instanceBytes(c) : 0;
    SizeModel corrected(summary.layout, shapes, classClass_);
    const bool denseHeap = heapInAddressOrder();
    constexpr uint32_t kContendedPadding = 128;
    std::vector<std::string> notes;
    for (uint32_t c : order) {
        if (shapes[c].kind != ClassShape::Instance || minGap[c] == UINT32_MAX)
            continue;
        const uint32_t bytes = corrected.instanceBytes(c);
        const bool smaller = minGap[c] < bytes;
        const bool larger = minGap[c] > bytes && atMinGap[c] >= 2 &&
                            (denseHeap || (minGap[c] - bytes) % kContendedPadding == 0);
        if (!smaller && !larger)
            continue;
        corrected.setInstanceBytes(c, minGap[c]);
        notes.push_back(std::string(index.name(index.classes[c].name)) + " " + std::to_string(minGap[c]) +
                        " bytes (fields lay out " + std::to_string(bytes) + ")");
    }
    // Instances of every class whose size changed, a subclass of a corrected class
    // included, and class objects if java.lang.Class's did, take their new size.
    std::vector<uint8_t> changed(classes_.size(), 0);
    bool anyChanged = false;
    for (uint32_t c = 0; c < classes_.size(); ++c) {
        if (shapes[c].kind == ClassShape::Instance && corrected.instanceBytes(c) != modelled[c]) {
            changed[c] = 1;
            anyChanged = true;
        }
        if (shapes[c].kind == ClassShape::Instance)
            index.classes[c].instanceBytes = corrected.instanceBytes(c);
    }
    if (anyChanged) {
        for (uint64_t i = 0; i < objects; ++i) {
            const uint32_t cls = classOf[i];
            if (changed[cls])
                aux[i] = static_cast<uint32_t>(corrected.instanceBytes(cls) / kSizeUnit);
        }
        if (classClass_ < changed.size() && changed[classClass_]) {
            for (const auto& [object, cls] : index.mirrors_)
                aux[object] = static_cast<uint32_t>(corrected.mirrorBytes(cls) / kSizeUnit);
        }
    }

    summary.sizesCut = cut;
    sizeNotes.push_back(std::string("object layout: ") + summary.layout.describe() +
                        (summary.layoutInferred ? " (inferred from the spacing of the objects)" : " (as given)"));
    if (!notes.empty()) {
        std::string text = "sizes taken from the spacing of the objects, where the layout model differs: ";
        for (size_t i = 0; i < notes.size(); ++i)
            text += (i ? ", " : "") + notes[i];
        sizeNotes.push_back(text);
    }
    if (cut > 0)
        sizeNotes.push_back(std::to_string(cut) +
                            " objects would overlap the next object by their layout; their sizes were cut to the space they have");
}
