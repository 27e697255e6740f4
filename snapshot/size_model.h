// Shallow sizes of objects as one VM layout gives them: an instance from its class's
// field layout (inherited and injected fields included), an array from its length, a
// class object (java.lang.Class) from java.lang.Class's own size plus its statics.
#pragma once

#include <cstdint>
#include <vector>

#include "field_layout.h"
#include "vm_layout.h"

struct ClassShape {
    enum Kind : uint8_t { Instance, ObjectArray, PrimitiveArray };
    Kind kind = Instance;
    uint8_t elementType = 0;           // primitive arrays: hprof::Type
    uint32_t super = UINT32_MAX;       // class index
    std::vector<uint8_t> fieldTypes;   // own instance fields, injected ones included (hprof::Type)
    std::vector<uint8_t> staticTypes;  // static fields, without the dump's <resolved_references> and such
    // jdk.internal.vm.StackChunk: each instance carries a continuation's stack of aux
    // words after its fields, and a bitmap of the stack's reference slots after that.
    bool stackChunk = false;
};

class SizeModel {
public:
    // classClass: the index of java.lang.Class (UINT32_MAX if the dump has none). The
    // hierarchy must have no cycle.
    SizeModel(const VmLayout& layout, const std::vector<ClassShape>& shapes, uint32_t classClass);

    const VmLayout& layout() const { return layout_; }
    uint32_t instanceBytes(uint32_t cls);
    uint64_t mirrorBytes(uint32_t cls);
    uint64_t arrayBytes(uint32_t cls, uint64_t length) const;
    // Bytes of an object of class cls: aux is an array's length.
    uint64_t objectBytes(uint32_t cls, uint32_t aux);

    // An instance size learned from the heap itself, for a class the model gets wrong.
    // Its subclasses then lay out their fields after that size, as behind a superclass
    // with @Contended padding; java.lang.Class's changes every class object's size. Must
    // come before the size of any subclass is asked.
    void setInstanceBytes(uint32_t cls, uint32_t bytes);

private:
    const FieldBlockLayout& fieldLayout(uint32_t cls);

    VmLayout layout_;
    const std::vector<ClassShape>& shapes_;
    uint32_t classClass_;
    std::vector<FieldBlockLayout> layouts_;
    std::vector<uint32_t> instanceBytes_;  // 0: not computed yet
    std::vector<bool> sealed_;             // size given: subclasses append after it
};

// The layouts a dump of that identifier size and Java release could have been written
// with, the most usual first.
std::vector<VmLayout> candidateLayouts(unsigned idSize, int javaFeature, uint32_t objectAlignment);

// Every class's size rule from a model, flat, for the loops over all objects.
class SizeTable {
public:
    static constexpr uint32_t kNoAux = UINT32_MAX;  // an instance's aux

    SizeTable(SizeModel& model, const std::vector<ClassShape>& shapes, uint32_t classClass);
    // Bytes of an object of class cls; aux is an array's length, or for a class object
    // (an instance of java.lang.Class) the class it stands for.
    uint64_t bytes(uint32_t cls, uint32_t aux) const
    {
        const uint32_t entry = entries_[cls];
        if (entry & kArray) {
            const uint64_t size = ((entry >> 8) & 0xFF) + uint64_t{aux} * (entry & 0xFF);
            return (size + alignMask_) & ~alignMask_;
        }
        if (cls == classClass_ && aux != kNoAux && aux < mirrors_.size())
            return mirrors_[aux];
        if (entry & kStack) {
            if (aux == kNoAux)
                return entry & ~kStack;
            // One bitmap bit per reference slot the stack can hold, in whole words.
            const uint64_t bitmapWords = ((uint64_t{aux} << stackSlotsPerWordShift_) + 63) / 64;
            const uint64_t size = (entry & ~kStack) + (uint64_t{aux} + bitmapWords) * 8;
            return (size + alignMask_) & ~alignMask_;
        }
        return entry;
    }

private:
    static constexpr uint32_t kArray = 0x80000000u;  // then array base << 8 | element size
    static constexpr uint32_t kStack = 0x40000000u;  // then the fields' bytes
    std::vector<uint32_t> entries_;
    std::vector<uint64_t> mirrors_;  // by class: its class object's bytes
    uint32_t classClass_;
    uint64_t alignMask_;
    unsigned stackSlotsPerWordShift_;  // 1 with 4-byte references, 0 with 8-byte ones
};
