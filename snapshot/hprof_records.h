// Records of a heap dump as the reader hands them to what consumes them (the index
// builder, the value collector), once their framing has been checked.
#pragma once

#include <cstdint>
#include <vector>

struct RawField {
    uint64_t name;  // symbol identifier
    uint8_t type;   // hprof::Type
};

struct RawStatic {
    uint64_t name;
    uint8_t type;
    uint64_t value;  // raw bits; an identifier for a reference
};

struct ClassDumpRecord {
    uint64_t id = 0, super = 0, loader = 0, signers = 0, domain = 0;
    std::vector<uint64_t> constantPool;  // reference entries' values, 0 for the others
    std::vector<RawStatic> statics;
    std::vector<RawField> fields;
};
