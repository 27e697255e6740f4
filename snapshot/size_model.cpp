#include "size_model.h"

#include <algorithm>

#include "hprof_format.h"

SizeModel::SizeModel(const VmLayout& layout, const std::vector<ClassShape>& shapes, uint32_t classClass)
    : layout_(layout), shapes_(shapes), classClass_(classClass), layouts_(shapes.size()),
      instanceBytes_(shapes.size(), 0), sealed_(shapes.size(), false)
{
}

const FieldBlockLayout& SizeModel::fieldLayout(uint32_t cls)
{
    // Superclasses first, without recursion: a hierarchy can be deep.
    std::vector<uint32_t> chain;
    for (uint32_t c = cls; c < shapes_.size() && instanceBytes_[c] == 0 && shapes_[c].kind == ClassShape::Instance;
         c = shapes_[c].super) {
        chain.push_back(c);
        if (chain.size() > shapes_.size())
            break;  // a cycle, which the reader rejected before
    }
    for (auto it = chain.rbegin(); it != chain.rend(); ++it) {
        const uint32_t c = *it;
        const uint32_t super = shapes_[c].super;
        const bool hasSuper = super < shapes_.size() && shapes_[super].kind == ClassShape::Instance &&
                              instanceBytes_[super] != 0;
        std::vector<uint8_t> primitives;
        uint32_t oops = 0;
        for (uint8_t type : shapes_[c].fieldTypes) {
            if (type == hprof::kObject)
                ++oops;
            else
                primitives.push_back(static_cast<uint8_t>(hprof::primitiveSize(type)));
        }
        if (hasSuper && sealed_[super]) {
            // Behind a superclass whose size came from the heap: appended, as HotSpot does
            // behind one with @Contended fields.
            layouts_[c] = layoutInstanceFields(layout_, nullptr, std::move(primitives), oops, layouts_[super].end);
        } else {
            layouts_[c] = layoutInstanceFields(layout_, hasSuper ? &layouts_[super] : nullptr, std::move(primitives), oops);
        }
        instanceBytes_[c] = ::instanceBytes(layout_, layouts_[c]);
    }
    return layouts_[cls];
}

uint32_t SizeModel::instanceBytes(uint32_t cls)
{
    if (instanceBytes_[cls] == 0 && shapes_[cls].kind == ClassShape::Instance)
        fieldLayout(cls);
    return instanceBytes_[cls];
}

void SizeModel::setInstanceBytes(uint32_t cls, uint32_t bytes)
{
    instanceBytes_[cls] = bytes;
    layouts_[cls] = FieldBlockLayout{{}, bytes};
    sealed_[cls] = true;
}

uint64_t SizeModel::mirrorBytes(uint32_t cls)
{
    const uint32_t classBytes = classClass_ < instanceBytes_.size() ? instanceBytes(classClass_) : 0;
    if (cls >= shapes_.size() || shapes_[cls].kind != ClassShape::Instance)
        return classBytes;
    std::vector<uint8_t> primitives;
    uint32_t oops = 0;
    for (uint8_t type : shapes_[cls].staticTypes) {
        if (type == hprof::kObject)
            ++oops;
        else
            primitives.push_back(static_cast<uint8_t>(hprof::primitiveSize(type)));
    }
    return ::mirrorBytes(layout_, classBytes, oops, std::move(primitives));
}

uint64_t SizeModel::arrayBytes(uint32_t cls, uint64_t length) const
{
    const ClassShape& shape = shapes_[cls];
    const unsigned element = shape.kind == ClassShape::PrimitiveArray ? hprof::primitiveSize(shape.elementType)
                                                                       : layout_.oopSize();
    return layout_.arraySize(element, length);
}

uint64_t SizeModel::objectBytes(uint32_t cls, uint32_t aux)
{
    if (shapes_[cls].kind == ClassShape::Instance)
        return instanceBytes(cls);
    return arrayBytes(cls, aux);
}

std::vector<VmLayout> candidateLayouts(unsigned idSize, int javaFeature, uint32_t objectAlignment)
{
    std::vector<VmLayout> out;
    if (idSize == 4) {
        VmLayout layout;
        layout.is64Bit = false;
        layout.compressedOops = false;
        layout.compressedClassPointers = false;
        layout.objectAlignment = objectAlignment;
        out.push_back(layout);
        return out;
    }
    // Unknown release: both array layouts are tried where they differ.
    const bool known = javaFeature > 0;
    for (bool oops : {true, false}) {
        for (bool classPointers : {true, false}) {
            for (bool byElement : {false, true}) {
                if (known && byElement != (javaFeature >= 22))
                    continue;
                // With compressed class pointers both array layouts are the same.
                if (!known && classPointers && byElement)
                    continue;
                VmLayout layout;
                layout.compressedOops = oops;
                layout.compressedClassPointers = classPointers;
                layout.arraysAlignedByElement = byElement;
                layout.objectAlignment = objectAlignment;
                out.push_back(layout);
            }
        }
    }
    if (!known || javaFeature >= 24) {
        for (bool oops : {true, false}) {
            VmLayout layout;
            layout.compressedOops = oops;
            layout.compactHeaders = true;
            layout.arraysAlignedByElement = true;
            layout.objectAlignment = objectAlignment;
            out.push_back(layout);
        }
    }
    return out;
}

SizeTable::SizeTable(SizeModel& model, const std::vector<ClassShape>& shapes, uint32_t classClass)
    : entries_(shapes.size()), mirrors_(shapes.size()), classClass_(classClass),
      alignMask_(model.layout().objectAlignment - 1), stackSlotsPerWordShift_(model.layout().oopSize() == 4 ? 1 : 0)
{
    for (uint32_t c = 0; c < shapes.size(); ++c) {
        const ClassShape& shape = shapes[c];
        if (shape.kind == ClassShape::Instance) {
            entries_[c] = model.instanceBytes(c) | (shape.stackChunk ? kStack : 0);
        } else {
            const unsigned element = shape.kind == ClassShape::PrimitiveArray ? hprof::primitiveSize(shape.elementType)
                                                                              : model.layout().oopSize();
            entries_[c] = kArray | (model.layout().arrayBase(element) << 8) | element;
        }
        mirrors_[c] = model.mirrorBytes(c);
    }
}
