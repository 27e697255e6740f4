// The record and value tags of the HPROF format ("JAVA PROFILE 1.0.2") as HotSpot
// writes it; the comment block at the top of the JDK's heapDumper.cpp describes it.
#pragma once

#include <cstdint>

namespace hprof {

// Top-level records: u1 tag, u4 microseconds, u4 length of the body that follows.
enum Tag : uint8_t {
    kUtf8 = 0x01,
    kLoadClass = 0x02,
    kUnloadClass = 0x03,
    kFrame = 0x04,
    kTrace = 0x05,
    kAllocSites = 0x06,
    kHeapSummary = 0x07,
    kStartThread = 0x0A,
    kEndThread = 0x0B,
    kHeapDump = 0x0C,
    kCpuSamples = 0x0D,
    kControlSettings = 0x0E,
    kHeapDumpSegment = 0x1C,
    kHeapDumpEnd = 0x2C,
};

// Sub-records of a heap dump or heap dump segment.
enum SubTag : uint8_t {
    kRootUnknown = 0xFF,
    kRootJniGlobal = 0x01,
    kRootJniLocal = 0x02,
    kRootJavaFrame = 0x03,
    kRootNativeStack = 0x04,
    kRootStickyClass = 0x05,
    kRootThreadBlock = 0x06,
    kRootMonitorUsed = 0x07,
    kRootThreadObject = 0x08,
    kClassDump = 0x20,
    kInstanceDump = 0x21,
    kObjectArrayDump = 0x22,
    kPrimitiveArrayDump = 0x23,
};

// Value types of fields, statics and primitive arrays.
enum Type : uint8_t {
    kObject = 2,
    kBoolean = 4,
    kChar = 5,
    kFloat = 6,
    kDouble = 7,
    kByte = 8,
    kShort = 9,
    kInt = 10,
    kLong = 11,
};

inline bool isPrimitive(uint8_t type) { return type >= kBoolean && type <= kLong; }
inline bool isValueType(uint8_t type) { return type == kObject || isPrimitive(type); }

// Bytes of a primitive value, in the dump and in the VM alike.
inline unsigned primitiveSize(uint8_t type)
{
    switch (type) {
    case kBoolean:
    case kByte:
        return 1;
    case kChar:
    case kShort:
        return 2;
    case kFloat:
    case kInt:
        return 4;
    default:
        return 8;  // double, long
    }
}

// Bytes of a value in the dump: references are identifiers of idSize bytes.
inline unsigned valueSize(uint8_t type, unsigned idSize) { return type == kObject ? idSize : primitiveSize(type); }

// The Java name of a primitive type: "int", "byte"...
const char* primitiveName(uint8_t type);
// The descriptor letter of a primitive type: 'I', 'B'...
char primitiveLetter(uint8_t type);

}  // namespace hprof
