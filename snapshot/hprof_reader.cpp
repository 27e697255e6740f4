#include "hprof_reader.h"

#include <string>

#include "hprof_error.h"
#include "hprof_format.h"
#include "index_builder.h"
#include "object_values.h"

namespace {

constexpr char kMagic[] = "JAVA PROFILE 1.0.";  // then "1" or "2" and a NUL
constexpr size_t kMaxName = 65535;              // HotSpot's symbols are at most this long

std::string hexByte(uint8_t value)
{
    char text[8];
    std::snprintf(text, sizeof text, "0x%02x", value);
    return text;
}

const char* recordName(uint8_t tag)
{
    switch (tag) {
    case hprof::kUtf8: return "UTF8";
    case hprof::kLoadClass: return "LOAD CLASS";
    case hprof::kUnloadClass: return "UNLOAD CLASS";
    case hprof::kFrame: return "STACK FRAME";
    case hprof::kTrace: return "STACK TRACE";
    case hprof::kStartThread: return "START THREAD";
    case hprof::kEndThread: return "END THREAD";
    case hprof::kHeapDumpEnd: return "HEAP DUMP END";
    default: return "record";
    }
}

}  // namespace

template <typename Sink>
HprofReader<Sink>::HprofReader(DumpInput& input, Sink& builder, std::function<void()> progress,
                         uint64_t progressEvery)
    : in_(input), builder_(builder), progress_(std::move(progress)), progressEvery_(progressEvery),
      nextProgress_(progressEvery)
{
}

template <typename Sink>
void HprofReader<Sink>::progressNow()
{
    nextProgress_ = in_.position() + progressEvery_;
    if (progress_)
        progress_();
}

template <typename Sink>
void HprofReader<Sink>::read()
{
    readHeader();
    while (!in_.atEnd()) {
        readRecord();
        maybeProgress();
        if (builder_.finished())
            return;
    }
    if (sawSegment_ && !builder_.sawEnd())
        throw HprofError(in_.position(), "truncated dump", "it ends without its HEAP DUMP END record");
    if (!sawHeapDump_ && !sawSegment_)
        throw HprofError(in_.position(), "no heap dump", "the stream has no HEAP DUMP or HEAP DUMP SEGMENT record");
}

template <typename Sink>
void HprofReader<Sink>::readHeader()
{
    in_.setRecordStart(0);
    if (in_.atEnd())
        throw HprofError(0, "empty stream", "no heap dump in it");
    std::string magic;
    for (;;) {
        const uint8_t c = *in_.peek(1);
        in_.advance(1);
        if (c == 0)
            break;
        magic += static_cast<char>(c);
        if (magic.size() > 32)
            break;
    }
    if (magic.compare(0, sizeof kMagic - 1, kMagic) != 0 || magic.size() != sizeof kMagic ||
        (magic.back() != '1' && magic.back() != '2'))
        throw HprofError(0, "not a heap dump", "it does not start with \"JAVA PROFILE 1.0.2\"");
    const uint64_t at = in_.position();
    const uint8_t* p = in_.peek(12);
    const uint32_t idSize = loadU4(p);
    if (idSize != 4 && idSize != 8)
        throw HprofError(at, "bad identifier size", std::to_string(idSize) + " (only 4 and 8 exist)");
    idSize_ = idSize;
    builder_.setIdentifierSize(idSize);
    builder_.setTimestamp(loadU8(p + 4));
    in_.advance(12);
}

template <typename Sink>
void HprofReader<Sink>::readRecord()
{
    const uint64_t at = in_.position();
    in_.setRecordStart(at);
    const uint8_t* p = in_.peek(9);
    const uint8_t tag = p[0];
    const uint32_t length = loadU4(p + 5);
    in_.advance(9);
    const uint64_t end = in_.position() + length;

    auto expectLength = [&](uint64_t expected) {
        if (length != expected)
            throw HprofError(at, std::string("bad ") + recordName(tag) + " record",
                             "its length is " + std::to_string(length) + ", it should be " + std::to_string(expected));
    };

    switch (tag) {
    case hprof::kUtf8: {
        if (length < idSize_)
            throw HprofError(at, "bad UTF8 record", "its length " + std::to_string(length) + " has no room for the identifier");
        if (length - idSize_ > kMaxName)
            throw HprofError(at, "bad UTF8 record", "a name of " + std::to_string(length - idSize_) + " bytes");
        builder_.utf8Begin(id(in_.peek(idSize_)));
        in_.advance(idSize_);
        uint64_t left = length - idSize_;
        while (left > 0) {
            const size_t n = in_.available(static_cast<size_t>(left));
            builder_.utf8Append(in_.current(), n);
            in_.advance(n);
            left -= n;
        }
        break;
    }
    case hprof::kLoadClass: {
        expectLength(8 + 2 * idSize_);
        p = in_.peek(length);
        builder_.loadClass(loadU4(p), id(p + 4), id(p + 8 + idSize_));
        in_.advance(length);
        break;
    }
    case hprof::kFrame: {
        expectLength(4 * idSize_ + 8);
        p = in_.peek(length);
        builder_.frame(id(p), id(p + idSize_), id(p + 2 * idSize_), id(p + 3 * idSize_), loadU4(p + 4 * idSize_),
                       static_cast<int32_t>(loadU4(p + 4 * idSize_ + 4)));
        in_.advance(length);
        break;
    }
    case hprof::kTrace: {
        if (length < 12)
            expectLength(12);
        p = in_.peek(12);
        const uint32_t serial = loadU4(p), thread = loadU4(p + 4), count = loadU4(p + 8);
        expectLength(12 + uint64_t{count} * idSize_);
        in_.advance(12);
        std::vector<uint64_t> frames;
        for (uint32_t i = 0; i < count; ++i) {
            frames.push_back(id(in_.peek(idSize_)));
            in_.advance(idSize_);
        }
        builder_.trace(serial, thread, std::move(frames));
        break;
    }
    case hprof::kStartThread: {
        expectLength(8 + 4 * idSize_);
        p = in_.peek(length);
        builder_.startThread(loadU4(p), id(p + 8 + idSize_));
        in_.advance(length);
        break;
    }
    case hprof::kUnloadClass:
    case hprof::kEndThread:
        expectLength(4);
        in_.skip(length);
        break;
    case hprof::kAllocSites:
    case hprof::kHeapSummary:
    case hprof::kCpuSamples:
    case hprof::kControlSettings:
        in_.skip(length);  // known records that say nothing about the heap's graph
        break;
    case hprof::kHeapDump:
    case hprof::kHeapDumpSegment:
        (tag == hprof::kHeapDump ? sawHeapDump_ : sawSegment_) = true;
        readHeapDump(end);
        break;
    case hprof::kHeapDumpEnd:
        builder_.heapDumpEnd();
        in_.skip(length);
        break;
    default:
        throw HprofError(at, "unknown record tag " + hexByte(tag));
    }
    if (in_.position() != end && !builder_.finished())
        throw HprofError(at, std::string("bad ") + recordName(tag) + " record", "its contents do not fill its length");
}

template <typename Sink>
void HprofReader<Sink>::pastEnd(uint64_t at, uint64_t end) const
{
    throw HprofError(at, "sub-record longer than its heap dump segment", "the segment ends at byte " + std::to_string(end));
}

template <typename Sink>
void HprofReader<Sink>::readHeapDump(uint64_t end)
{
    while (in_.position() < end && !builder_.finished()) {
        const uint64_t at = in_.position();
        in_.setRecordStart(at);
        const uint8_t tag = *in_.peek(1);
        in_.advance(1);
        switch (tag) {
        case hprof::kClassDump:
            readClassDump(at, end);
            break;
        case hprof::kInstanceDump:
            readInstance(at, end);
            break;
        case hprof::kObjectArrayDump:
            readObjectArray(at, end);
            break;
        case hprof::kPrimitiveArrayDump:
            readPrimitiveArray(at, end);
            break;
        default:
            readRoot(tag, at, end);
            break;
        }
        maybeProgress();
    }
}

template <typename Sink>
void HprofReader<Sink>::readRoot(uint8_t tag, uint64_t at, uint64_t end)
{
    // The identifier and what follows it, by kind.
    uint64_t extra;
    RootKind kind;
    switch (tag) {
    case hprof::kRootUnknown: kind = RootKind::Unknown; extra = 0; break;
    case hprof::kRootJniGlobal: kind = RootKind::JniGlobal; extra = idSize_; break;
    case hprof::kRootJniLocal: kind = RootKind::JniLocal; extra = 8; break;
    case hprof::kRootJavaFrame: kind = RootKind::JavaFrame; extra = 8; break;
    case hprof::kRootNativeStack: kind = RootKind::NativeStack; extra = 4; break;
    case hprof::kRootStickyClass: kind = RootKind::SystemClass; extra = 0; break;
    case hprof::kRootThreadBlock: kind = RootKind::ThreadBlock; extra = 4; break;
    case hprof::kRootMonitorUsed: kind = RootKind::Monitor; extra = 0; break;
    case hprof::kRootThreadObject: kind = RootKind::Thread; extra = 8; break;
    default:
        throw HprofError(at, "unknown heap dump sub-record tag " + hexByte(tag));
    }
    need(at, end, idSize_ + extra);
    const uint8_t* p = in_.peek(idSize_ + extra);
    const uint64_t object = id(p);
    const uint32_t thread = extra >= 4 && tag != hprof::kRootJniGlobal ? loadU4(p + idSize_) : 0;
    const int32_t frame = extra == 8 ? static_cast<int32_t>(loadU4(p + idSize_ + 4)) : -1;
    if (kind == RootKind::Thread)
        builder_.threadRoot(object, thread, static_cast<uint32_t>(frame));
    else if (object != 0)
        builder_.root(kind, object, thread, kind == RootKind::JniLocal || kind == RootKind::JavaFrame ? frame : -1);
    in_.advance(idSize_ + extra);
}

template <typename Sink>
void HprofReader<Sink>::readClassDump(uint64_t at, uint64_t end)
{
    ClassDumpRecord dump;
    const unsigned head = 7 * idSize_ + 4 + 4 + 2;
    need(at, end, head);
    const uint8_t* p = in_.peek(head);
    dump.id = id(p);
    dump.super = id(p + idSize_ + 4);
    dump.loader = id(p + 2 * idSize_ + 4);
    dump.signers = id(p + 3 * idSize_ + 4);
    dump.domain = id(p + 4 * idSize_ + 4);
    const uint16_t constants = loadU2(p + 7 * idSize_ + 8);
    in_.advance(head);

    auto value = [&](uint8_t type, const char* what) -> uint64_t {
        if (!hprof::isValueType(type))
            throw HprofError(at, "bad value type " + hexByte(type), std::string("in a ") + what + " of the class dump");
        const unsigned size = hprof::valueSize(type, idSize_);
        need(at, end, size);
        const uint8_t* v = in_.peek(size);
        uint64_t bits = size == 1 ? v[0] : size == 2 ? loadU2(v) : size == 4 ? loadU4(v) : loadU8(v);
        in_.advance(size);
        return bits;
    };
    for (uint16_t i = 0; i < constants; ++i) {
        need(at, end, 3);
        const uint8_t type = in_.peek(3)[2];
        in_.advance(3);
        const uint64_t v = value(type, "constant pool entry");
        dump.constantPool.push_back(type == hprof::kObject ? v : 0);
    }
    need(at, end, 2);
    const uint16_t statics = loadU2(in_.peek(2));
    in_.advance(2);
    for (uint16_t i = 0; i < statics; ++i) {
        need(at, end, idSize_ + 1);
        p = in_.peek(idSize_ + 1);
        const uint64_t name = id(p);
        const uint8_t type = p[idSize_];
        in_.advance(idSize_ + 1);
        dump.statics.push_back({name, type, value(type, "static field")});
    }
    need(at, end, 2);
    const uint16_t fields = loadU2(in_.peek(2));
    in_.advance(2);
    for (uint16_t i = 0; i < fields; ++i) {
        need(at, end, idSize_ + 1);
        p = in_.peek(idSize_ + 1);
        const uint8_t type = p[idSize_];
        if (!hprof::isValueType(type))
            throw HprofError(at, "bad value type " + hexByte(type), "in an instance field of the class dump");
        dump.fields.push_back({id(p), type});
        in_.advance(idSize_ + 1);
    }
    builder_.classDump(at, dump);
}

template <typename Sink>
void HprofReader<Sink>::readInstance(uint64_t at, uint64_t end)
{
    const unsigned head = 2 * idSize_ + 8;
    need(at, end, head);
    const uint8_t* p = in_.peek(head);
    const uint64_t object = id(p);
    const uint64_t classId = id(p + idSize_ + 4);
    const uint32_t size = loadU4(p + 2 * idSize_ + 4);
    in_.advance(head);
    need(at, end, size);
    if (size <= DumpInput::kBufferSize) {
        builder_.instance(at, object, classId, in_.peek(size), size);
        in_.advance(size);
    } else {
        builder_.instance(at, object, classId, nullptr, size);
        in_.skip(size);
    }
}

template <typename Sink>
void HprofReader<Sink>::readObjectArray(uint64_t at, uint64_t end)
{
    const unsigned head = 2 * idSize_ + 8;
    need(at, end, head);
    const uint8_t* p = in_.peek(head);
    const uint64_t object = id(p);
    const uint32_t length = loadU4(p + idSize_ + 4);
    const uint64_t classId = id(p + idSize_ + 8);
    in_.advance(head);
    need(at, end, uint64_t{length} * idSize_);
    builder_.beginObjectArray(at, object, classId, length);
    uint64_t left = length;
    while (left > 0) {
        const uint32_t count = static_cast<uint32_t>(std::min<uint64_t>(left, 65536));
        builder_.objectArrayElements(in_.peek(size_t{count} * idSize_), count);
        in_.advance(size_t{count} * idSize_);
        left -= count;
    }
}

template <typename Sink>
void HprofReader<Sink>::readPrimitiveArray(uint64_t at, uint64_t end)
{
    const unsigned head = idSize_ + 9;
    need(at, end, head);
    const uint8_t* p = in_.peek(head);
    const uint64_t object = id(p);
    const uint32_t length = loadU4(p + idSize_ + 4);
    const uint8_t type = p[idSize_ + 8];
    in_.advance(head);
    if (!hprof::isPrimitive(type))
        throw HprofError(at, "bad primitive array type " + hexByte(type));
    const uint64_t bytes = uint64_t{length} * hprof::primitiveSize(type);
    need(at, end, bytes);
    const uint32_t headBytes = builder_.wantsArrayHead(object, type, length);
    builder_.primitiveArray(at, object, type, length, headBytes ? in_.peek(headBytes) : nullptr, headBytes);
    in_.skip(bytes);
}

template class HprofReader<IndexBuilder>;
template class HprofReader<ObjectValueCollector>;
