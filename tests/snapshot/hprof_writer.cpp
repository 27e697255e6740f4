#include "hprof_writer.h"

#include <zlib.h>

#include <stdexcept>

HprofWriter::HprofWriter(unsigned idSize, std::string magic) : idSize_(idSize)
{
    bytes_.insert(bytes_.end(), magic.begin(), magic.end());
    bytes_.push_back(0);
    u4(idSize);
    u8(0x0123456789);
}

HprofWriter& HprofWriter::u1(uint8_t v)
{
    bytes_.push_back(v);
    return *this;
}

HprofWriter& HprofWriter::u2(uint16_t v)
{
    u1(static_cast<uint8_t>(v >> 8));
    return u1(static_cast<uint8_t>(v));
}

HprofWriter& HprofWriter::u4(uint32_t v)
{
    u2(static_cast<uint16_t>(v >> 16));
    return u2(static_cast<uint16_t>(v));
}

HprofWriter& HprofWriter::u8(uint64_t v)
{
    u4(static_cast<uint32_t>(v >> 32));
    return u4(static_cast<uint32_t>(v));
}

HprofWriter& HprofWriter::id(uint64_t v) { return idSize_ == 8 ? u8(v) : u4(static_cast<uint32_t>(v)); }

HprofWriter& HprofWriter::raw(const std::vector<uint8_t>& bytes)
{
    bytes_.insert(bytes_.end(), bytes.begin(), bytes.end());
    return *this;
}

HprofWriter& HprofWriter::beginRecord(uint8_t tag)
{
    recordStart_ = bytes_.size();
    u1(tag).u4(0).u4(0);
    return *this;
}

HprofWriter& HprofWriter::endRecord()
{
    const auto length = static_cast<uint32_t>(bytes_.size() - recordStart_ - 9);
    for (int i = 0; i < 4; ++i)
        bytes_[recordStart_ + 5 + i] = static_cast<uint8_t>(length >> (24 - 8 * i));
    lastRecordStart_ = recordStart_;
    return *this;
}

HprofWriter& HprofWriter::overrideLastLength(uint32_t length)
{
    for (int i = 0; i < 4; ++i)
        bytes_[lastRecordStart_ + 5 + i] = static_cast<uint8_t>(length >> (24 - 8 * i));
    return *this;
}

HprofWriter& HprofWriter::utf8(uint64_t symbolId, const std::string& text)
{
    beginRecord(0x01).id(symbolId);
    bytes_.insert(bytes_.end(), text.begin(), text.end());
    return endRecord();
}

HprofWriter& HprofWriter::loadClass(uint32_t serial, uint64_t classId, uint64_t nameId)
{
    return beginRecord(0x02).u4(serial).id(classId).u4(1).id(nameId).endRecord();
}

HprofWriter& HprofWriter::frame(uint64_t frameId, uint64_t methodName, uint64_t signature, uint64_t source,
                                uint32_t classSerial, int32_t line)
{
    return beginRecord(0x04)
        .id(frameId)
        .id(methodName)
        .id(signature)
        .id(source)
        .u4(classSerial)
        .u4(static_cast<uint32_t>(line))
        .endRecord();
}

HprofWriter& HprofWriter::trace(uint32_t serial, uint32_t threadSerial, const std::vector<uint64_t>& frames)
{
    beginRecord(0x05).u4(serial).u4(threadSerial).u4(static_cast<uint32_t>(frames.size()));
    for (uint64_t f : frames)
        id(f);
    return endRecord();
}

namespace {

unsigned valueSize(uint8_t type, unsigned idSize)
{
    switch (type) {
    case 2: return idSize;
    case 4: case 8: return 1;
    case 5: case 9: return 2;
    case 6: case 10: return 4;
    default: return 8;
    }
}

}  // namespace

HprofWriter& HprofWriter::classDump(uint64_t classId, uint64_t superId, const std::vector<Static>& statics,
                                    const std::vector<Field>& fields, uint64_t loader)
{
    u1(0x20).id(classId).u4(1).id(superId).id(loader).id(0).id(0).id(0).id(0).u4(0).u2(0);
    u2(static_cast<uint16_t>(statics.size()));
    for (const Static& s : statics) {
        id(s.name).u1(s.type);
        const unsigned size = valueSize(s.type, idSize_);
        for (unsigned i = size; i-- > 0;)
            u1(static_cast<uint8_t>(s.value >> (8 * i)));
    }
    u2(static_cast<uint16_t>(fields.size()));
    for (const Field& f : fields)
        id(f.name).u1(f.type);
    return *this;
}

HprofWriter& HprofWriter::instance(uint64_t objectId, uint64_t classId,
                                   const std::vector<std::pair<uint8_t, uint64_t>>& values)
{
    uint32_t size = 0;
    for (const auto& v : values)
        size += valueSize(v.first, idSize_);
    u1(0x21).id(objectId).u4(1).id(classId).u4(size);
    for (const auto& [type, value] : values) {
        const unsigned n = valueSize(type, idSize_);
        for (unsigned i = n; i-- > 0;)
            u1(static_cast<uint8_t>(value >> (8 * i)));
    }
    return *this;
}

HprofWriter& HprofWriter::objectArray(uint64_t objectId, uint64_t classId, const std::vector<uint64_t>& elements)
{
    u1(0x22).id(objectId).u4(1).u4(static_cast<uint32_t>(elements.size())).id(classId);
    for (uint64_t e : elements)
        id(e);
    return *this;
}

HprofWriter& HprofWriter::primitiveArray(uint64_t objectId, uint8_t type, uint32_t length, const std::vector<uint8_t>& data)
{
    u1(0x23).id(objectId).u4(1).u4(length).u1(type);
    const size_t bytes = size_t{length} * valueSize(type, idSize_);
    for (size_t i = 0; i < bytes; ++i)
        u1(i < data.size() ? data[i] : 0);
    return *this;
}

HprofWriter& HprofWriter::rootJniGlobal(uint64_t objectId) { return u1(0x01).id(objectId).id(0x77); }
HprofWriter& HprofWriter::rootStickyClass(uint64_t classId) { return u1(0x05).id(classId); }
HprofWriter& HprofWriter::rootThread(uint64_t threadId, uint32_t threadSerial, uint32_t traceSerial)
{
    return u1(0x08).id(threadId).u4(threadSerial).u4(traceSerial);
}
HprofWriter& HprofWriter::rootJavaFrame(uint64_t objectId, uint32_t threadSerial, uint32_t frame)
{
    return u1(0x03).id(objectId).u4(threadSerial).u4(frame);
}

HprofWriter& HprofWriter::heapDumpEnd() { return beginRecord(0x2C).endRecord(); }

std::vector<uint8_t> gzipMembers(const std::vector<uint8_t>& plain, size_t memberBytes)
{
    std::vector<uint8_t> out;
    for (size_t start = 0; start < plain.size(); start += memberBytes) {
        const size_t n = std::min(memberBytes, plain.size() - start);
        z_stream z{};
        if (deflateInit2(&z, 1, Z_DEFLATED, 16 + MAX_WBITS, 8, Z_DEFAULT_STRATEGY) != Z_OK)
            throw std::runtime_error("deflateInit2");
        std::vector<uint8_t> buffer(deflateBound(&z, n) + 64);
        z.next_in = const_cast<uint8_t*>(plain.data() + start);
        z.avail_in = static_cast<uInt>(n);
        z.next_out = buffer.data();
        z.avail_out = static_cast<uInt>(buffer.size());
        if (deflate(&z, Z_FINISH) != Z_STREAM_END)
            throw std::runtime_error("deflate");
        out.insert(out.end(), buffer.begin(), buffer.begin() + static_cast<std::ptrdiff_t>(z.total_out));
        deflateEnd(&z);
    }
    return out;
}
