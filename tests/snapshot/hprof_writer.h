// Builds HPROF byte streams by hand for the reader's tests and the fuzzer's corpus: a
// header, records and heap dump sub-records with any identifier size, valid or (through
// raw bytes and wrong lengths) broken on purpose.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

class HprofWriter {
public:
    explicit HprofWriter(unsigned idSize = 8, std::string magic = "JAVA PROFILE 1.0.2");

    // Plain values.
    HprofWriter& u1(uint8_t v);
    HprofWriter& u2(uint16_t v);
    HprofWriter& u4(uint32_t v);
    HprofWriter& u8(uint64_t v);
    HprofWriter& id(uint64_t v);
    HprofWriter& raw(const std::vector<uint8_t>& bytes);

    // A top-level record around whatever the body writes: tag, time, length patched.
    HprofWriter& beginRecord(uint8_t tag);
    HprofWriter& endRecord();
    // The length of the last record set to any value, for broken dumps.
    HprofWriter& overrideLastLength(uint32_t length);

    HprofWriter& utf8(uint64_t id, const std::string& text);
    HprofWriter& loadClass(uint32_t serial, uint64_t classId, uint64_t nameId);
    HprofWriter& frame(uint64_t frameId, uint64_t methodName, uint64_t signature, uint64_t source, uint32_t classSerial,
                       int32_t line);
    HprofWriter& trace(uint32_t serial, uint32_t threadSerial, const std::vector<uint64_t>& frames);

    // Sub-records, inside beginSegment()/endSegment().
    HprofWriter& beginSegment() { return beginRecord(0x1C); }
    HprofWriter& endSegment() { return endRecord(); }
    struct Field {
        uint64_t name;
        uint8_t type;
    };
    struct Static {
        uint64_t name;
        uint8_t type;
        uint64_t value;
    };
    HprofWriter& classDump(uint64_t classId, uint64_t superId, const std::vector<Static>& statics,
                           const std::vector<Field>& fields, uint64_t loader = 0);
    // Field values in dump order, each written with its type's size.
    HprofWriter& instance(uint64_t objectId, uint64_t classId, const std::vector<std::pair<uint8_t, uint64_t>>& values);
    HprofWriter& objectArray(uint64_t objectId, uint64_t classId, const std::vector<uint64_t>& elements);
    HprofWriter& primitiveArray(uint64_t objectId, uint8_t type, uint32_t length, const std::vector<uint8_t>& bytes = {});
    HprofWriter& rootJniGlobal(uint64_t objectId);
    HprofWriter& rootStickyClass(uint64_t classId);
    HprofWriter& rootThread(uint64_t threadId, uint32_t threadSerial, uint32_t traceSerial);
    HprofWriter& rootJavaFrame(uint64_t objectId, uint32_t threadSerial, uint32_t frame);
    HprofWriter& heapDumpEnd();

    const std::vector<uint8_t>& bytes() const { return bytes_; }
    size_t size() const { return bytes_.size(); }

private:
    unsigned idSize_;
    std::vector<uint8_t> bytes_;
    size_t recordStart_ = 0;
    size_t lastRecordStart_ = 0;
};

// The dump as gzip: one member per `memberBytes` of input, as HotSpot's -gz writes it.
std::vector<uint8_t> gzipMembers(const std::vector<uint8_t>& plain, size_t memberBytes);
