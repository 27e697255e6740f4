// The values the index does not keep (an instance's primitive fields, an array's
// elements and exact length), read again for a few objects from a dump that can be
// read again, a file: one forward pass that stops once every object asked for is found.
//
//   auto values = readObjectValuesFile("app.hprof", {index.addressOf(object)});
//   for (const auto& f : fieldValues(index, object, values[0])) ...
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "byte_source.h"
#include "heap_index.h"
#include "hprof_records.h"

struct ObjectValues {
    uint64_t address = 0;
    bool found = false;
    // A class object's values are its statics, which the index keeps (ClassInfo::statics).
    enum Kind : uint8_t { Instance, ObjectArray, PrimitiveArray, Class } kind = Instance;
    // An instance's field values, or an array's elements, as the dump writes them
    // (big-endian; references as identifiers).
    std::vector<uint8_t> bytes;
    uint32_t length = 0;      // arrays: the exact length
    uint8_t elementType = 0;  // primitive arrays: hprof::Type
    bool cut = false;         // an array's elements beyond maxArrayBytes were not kept
};

// The values of the objects at these addresses, in the same order; an address the dump
// has no object at comes back not found. Array elements are kept up to maxArrayBytes
// (at most 4 MiB) each. Throws HprofError as the reader does.
std::vector<ObjectValues> readObjectValues(ByteSource& source, const std::vector<uint64_t>& addresses,
                                           size_t maxArrayBytes = 1u << 20);
std::vector<ObjectValues> readObjectValuesFile(const std::string& path, const std::vector<uint64_t>& addresses,
                                               size_t maxArrayBytes = 1u << 20);

// An instance's fields (as HeapIndex::instanceFields lists them) each with its raw value:
// the bits of a primitive, or a reference's identifier (0 for null).
struct FieldValue {
    HeapIndex::FieldRef field;
    uint64_t bits;
};
std::vector<FieldValue> fieldValues(const HeapIndex& index, uint32_t object, const ObjectValues& values);

// Collects the values while the HPROF reader walks the dump (see hprof_reader.h).
class ObjectValueCollector {
public:
    ObjectValueCollector(const std::vector<uint64_t>& addresses, size_t maxArrayBytes);

    void setIdentifierSize(unsigned idSize) { idSize_ = idSize; }
    void setTimestamp(uint64_t) {}
    void utf8Begin(uint64_t) {}
    void utf8Append(const uint8_t*, size_t) {}
    void loadClass(uint32_t, uint64_t, uint64_t) {}
    void frame(uint64_t, uint64_t, uint64_t, uint64_t, uint32_t, int32_t) {}
    void trace(uint32_t, uint32_t, std::vector<uint64_t>) {}
    void startThread(uint32_t, uint64_t) {}
    void root(RootKind, uint64_t, uint32_t, int32_t) {}
    void threadRoot(uint64_t, uint32_t, uint32_t) {}
    void classDump(uint64_t, const ClassDumpRecord& dump);
    void instance(uint64_t at, uint64_t id, uint64_t classId, const uint8_t* values, uint32_t size);
    void beginObjectArray(uint64_t at, uint64_t id, uint64_t classId, uint32_t length);
    void objectArrayElements(const uint8_t* ids, uint32_t count);
    uint32_t wantsArrayHead(uint64_t id, uint8_t type, uint32_t length) const;
    void primitiveArray(uint64_t at, uint64_t id, uint8_t type, uint32_t length, const uint8_t* head, uint32_t headBytes);
    void heapDumpEnd() { sawEnd_ = true; }
    bool sawEnd() const { return sawEnd_; }
    bool finished() const { return left_ == 0; }

    std::vector<ObjectValues> take() { return std::move(values_); }

private:
    ObjectValues* wanted(uint64_t id);

    std::vector<ObjectValues> values_;
    std::vector<std::pair<uint64_t, size_t>> byAddress_;  // (address, index in values_), sorted
    size_t left_ = 0;
    size_t maxArrayBytes_;
    unsigned idSize_ = 8;
    bool sawEnd_ = false;
    ObjectValues* array_ = nullptr;  // the object array being read, if wanted
};
