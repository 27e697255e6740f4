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

void IndexBuilder::computeSizes(HeapIndex& index)
{
    const std::vector<uint32_t>& classOf = index.graph.classOf;
    std::vector<uint32_t>& aux = index.graph.sizeUnits;  // array lengths and class objects' classes, then sizes
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
    std::vector<SizeTable> models;
    if (candidates.size() > 1) {
        for (const VmLayout& layout : candidates) {
            SizeModel model(layout, shapes, classClass_);
            models.emplace_back(model, shapes, classClass_);
        }
    }

    // Pass 1: the space after each object, scored against every candidate layout (on a
    // sample when the heap is large), and each class's smallest space.
    const uint64_t objects = classOf.size();
    std::vector<uint64_t> violations(models.size(), 0), exact(models.size(), 0);
    std::vector<uint32_t> minGap(classes_.size(), UINT32_MAX), atMinGap(classes_.size(), 0);
    const uint64_t stride = models.size() > 1 ? std::max<uint64_t>(1, objects / (2u << 20)) : 0;
    {
        uint32_t prev = kNoObject;
        uint64_t prevAddress = 0, pair = 0;
        addresses_.forEachInAddressOrder([&](uint32_t number, uint64_t address) {
            if (prev != kNoObject) {
                const uint64_t gap = address - prevAddress;
                const uint32_t cls = classOf[prev];
                const uint32_t prevAux = aux[prev];
                if (shapes[cls].kind == ClassShape::Instance && !(cls == classClass_ && prevAux != kNoAux)) {
                    const uint32_t g = static_cast<uint32_t>(std::min<uint64_t>(gap, UINT32_MAX - 1));
                    if (g < minGap[cls]) {
                        minGap[cls] = g;
                        atMinGap[cls] = 1;
                    } else if (g == minGap[cls]) {
                        ++atMinGap[cls];
                    }
                }
                if (stride && pair++ % stride == 0) {
                    for (size_t m = 0; m < models.size(); ++m) {
                        const uint64_t size = models[m].bytes(cls, prevAux);
                        violations[m] += size > gap;
                        exact[m] += size == gap;
                    }
                }
            }
            prev = number;
            prevAddress = address;
        });
    }
    size_t best = 0;
    for (size_t m = 1; m < models.size(); ++m) {
        if (violations[m] < violations[best] || (violations[m] == violations[best] && exact[m] > exact[best]))
            best = m;
    }
    summary.layout = candidates[best];
    summary.layoutInferred = !options_.layout;
    models.clear();

    // Instance classes whose instances show another size than the model's, superclasses
    // first so a subclass is judged on its corrected superclass. Smaller than the model:
    // the model is wrong for certain (objects do not overlap). Larger: only when no
    // instance fits the model and at least two agree on the larger size.
    SizeModel model(summary.layout, shapes, classClass_);
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
    std::vector<std::string> corrected;
    for (uint32_t c : order) {
        if (shapes[c].kind != ClassShape::Instance || minGap[c] == UINT32_MAX)
            continue;
        const uint32_t modelled = model.instanceBytes(c);
        const bool smaller = minGap[c] < modelled;
        const bool larger = minGap[c] > modelled && atMinGap[c] >= 2;
        if (!smaller && !larger)
            continue;
        model.setInstanceBytes(c, minGap[c]);
        corrected.push_back(std::string(index.name(index.classes[c].name)) + " " + std::to_string(minGap[c]) +
                            " bytes (fields lay out " + std::to_string(modelled) + ")");
    }

    auto count = [&](uint32_t cls, uint32_t aux) {
        if (cls == classClass_ && aux != kNoAux)
            ++summary.classObjects;
        else if (shapes[cls].kind == ClassShape::ObjectArray)
            ++summary.objectArrays;
        else if (shapes[cls].kind == ClassShape::PrimitiveArray)
            ++summary.primitiveArrays;
        else
            ++summary.instances;
    };

    // Pass 2: every object's size; one larger than the space before the next object is
    // cut to it and counted.
    const SizeTable table(model, shapes, classClass_);
    uint64_t cut = 0;
    {
        uint32_t prev = kNoObject;
        uint64_t prevAddress = 0;
        auto settle = [&](uint32_t number, uint64_t gap) {
            uint64_t size = table.bytes(classOf[number], aux[number]);
            count(classOf[number], aux[number]);
            if (gap != 0 && size > gap) {
                size = gap;
                ++cut;
            }
            aux[number] = static_cast<uint32_t>(std::min<uint64_t>(size / kSizeUnit, UINT32_MAX));
        };
        addresses_.forEachInAddressOrder([&](uint32_t number, uint64_t address) {
            if (prev != kNoObject)
                settle(prev, address - prevAddress);
            prev = number;
            prevAddress = address;
        });
        if (prev != kNoObject)
            settle(prev, 0);
    }
    for (uint32_t c = 0; c < classes_.size(); ++c) {
        if (shapes[c].kind == ClassShape::Instance)
            index.classes[c].instanceBytes = model.instanceBytes(c);
    }

    summary.sizesCut = cut;
    note(index, std::string("object layout: ") + summary.layout.describe() +
                    (summary.layoutInferred ? " (inferred from the spacing of the objects)" : " (as given)"));
    if (!corrected.empty()) {
        std::string text = "sizes taken from the spacing of the objects, where the layout model differs: ";
        for (size_t i = 0; i < corrected.size(); ++i)
            text += (i ? ", " : "") + corrected[i];
        note(index, text);
    }
    if (cut > 0)
        note(index, std::to_string(cut) + " objects would overlap the next object by their layout; their sizes were cut to the space they have");
}
