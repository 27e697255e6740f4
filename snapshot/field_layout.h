// Where HotSpot puts a class's instance fields (its FieldLayoutBuilder, JDK 15 on), to
// know how big an instance is: primitive fields from the largest to the smallest, then
// references, each in the smallest free gap that fits it, gaps left in the superclass's
// layout included ("empty slots in supers"), else at the end. @Contended is not in a heap
// dump and is not modelled; the spacing of the objects corrects such classes.
#pragma once

#include <cstdint>
#include <utility>
#include <vector>

#include "vm_layout.h"

struct FieldBlockLayout {
    std::vector<std::pair<uint32_t, uint32_t>> holes;  // free (offset, size) gaps below end, by offset
    uint32_t end = 0;                                  // first byte after the last field
};

// The layout of a class whose superclass has `super`, adding fields of the given byte
// sizes; `oops` of them are references of layout.oopSize() bytes. Without a superclass
// layout the fields are appended from `appendFrom` (the header if 0), looking for no gaps.
FieldBlockLayout layoutInstanceFields(const VmLayout& layout, const FieldBlockLayout* super,
                                      std::vector<uint8_t> primitiveSizes, uint32_t oops, uint32_t appendFrom = 0);

// Bytes of an instance with that field layout.
uint32_t instanceBytes(const VmLayout& layout, const FieldBlockLayout& fields);

// Bytes of a java.lang.Class object (a class's mirror) whose static fields are
// `staticOops` references and primitives of the given sizes: java.lang.Class's own
// instance, then the statics, references first.
uint64_t mirrorBytes(const VmLayout& layout, uint32_t classInstanceBytes, uint32_t staticOops,
                     std::vector<uint8_t> staticPrimitiveSizes);
