#include "vm_layout.h"

unsigned VmLayout::arrayBase(unsigned elementSize) const
{
    const unsigned afterLength = arrayLengthOffset() + 4;
    if (arraysAlignedByElement || !is64Bit) {
        return (afterLength + elementSize - 1) / elementSize * elementSize;
    }
    return (afterLength + 7) / 8 * 8;
}

uint64_t VmLayout::arraySize(unsigned elementSize, uint64_t length) const
{
    return alignObject(arrayBase(elementSize) + length * elementSize);
}

std::string VmLayout::describe() const
{
    std::string text;
    if (!is64Bit) {
        text = "32-bit VM";
    } else {
        text = compressedOops ? "compressed oops" : "uncompressed oops";
        if (compactHeaders)
            text += ", compact object headers";
        else
            text += compressedClassPointers ? ", compressed class pointers" : ", uncompressed class pointers";
        text += arraysAlignedByElement ? ", array elements aligned by size" : ", array elements 8-aligned";
    }
    text += ", " + std::to_string(objectAlignment) + "-byte alignment";
    return text;
}

bool VmLayout::operator==(const VmLayout& o) const
{
    return compressedOops == o.compressedOops && compressedClassPointers == o.compressedClassPointers &&
           compactHeaders == o.compactHeaders && arraysAlignedByElement == o.arraysAlignedByElement &&
           is64Bit == o.is64Bit && objectAlignment == o.objectAlignment;
}
