// How a HotSpot VM lays objects out, from the settings that change it. A heap dump does
// not say which settings its VM ran with; the reader infers them from the spacing of the
// objects (see layout_inference.h) unless the caller knows them (a live capture can ask
// the VM).
#pragma once

#include <cstdint>
#include <string>

struct VmLayout {
    bool compressedOops = true;           // -XX:-UseCompressedOops: 8-byte references
    bool compressedClassPointers = true;  // -XX:-UseCompressedClassPointers: 16-byte headers
    bool compactHeaders = false;          // JDK 24+ -XX:+UseCompactObjectHeaders: 8-byte headers
    // JDK 22 on, an array's elements start at their own alignment after the length
    // (JDK-8139457); before, always at an 8-byte boundary.
    bool arraysAlignedByElement = false;
    bool is64Bit = true;                  // 4-byte identifiers come from a 32-bit VM
    uint32_t objectAlignment = 8;         // -XX:ObjectAlignmentInBytes

    unsigned oopSize() const { return !is64Bit || compressedOops ? 4 : 8; }
    // Where an instance's fields may start.
    unsigned instanceHeader() const
    {
        if (!is64Bit || compactHeaders)
            return 8;
        return compressedClassPointers ? 12 : 16;
    }
    unsigned arrayLengthOffset() const { return instanceHeader() == 8 ? 8 : compressedClassPointers ? 12 : 16; }
    unsigned arrayBase(unsigned elementSize) const;
    uint64_t arraySize(unsigned elementSize, uint64_t length) const;
    uint64_t alignObject(uint64_t bytes) const { return (bytes + objectAlignment - 1) / objectAlignment * objectAlignment; }

    // "compressed oops, compressed class pointers, 8-byte alignment".
    std::string describe() const;
    bool operator==(const VmLayout& other) const;
};
