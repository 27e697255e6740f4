#include "index_builder.h"

#include <algorithm>
#include <cstring>
#include <string_view>

#include "dump_input.h"
#include "hprof_error.h"
#include "hprof_format.h"

namespace {

// A budget for the address bitmaps, so a hostile dump that starts one object in each of
// many megabytes cannot make the reader take far more memory than the dump's own size.
constexpr uint64_t kBitmapAllowance = 64u << 20;

}  // namespace

IndexBuilder::IndexBuilder(const ReadOptions& options) : options_(options)
{
    std::fill(std::begin(primitiveClass_), std::end(primitiveClass_), kNoClass);
}

uint32_t IndexBuilder::classIndexSlow(uint64_t classId)
{
    uint32_t cls = classByAddress_.find(classId);
    if (cls == IdHashMap::kMissing) {
        cls = static_cast<uint32_t>(classes_.size());
        classes_.emplace_back();
        classes_.back().id = classId;
        classByAddress_.insert(classId, cls);
    }
    lastClassId_ = classId;
    lastClass_ = cls;
    return cls;
}

void IndexBuilder::markSpecial(uint32_t cls, std::string_view name)
{
    if (name == "java/lang/String")
        stringClass_ = cls;
    else if (name == "java/lang/Thread")
        threadClass_ = cls;
    else if (name == "java/lang/ref/Reference")
        referenceClass_ = cls;
    else if (name == "java/lang/Class")
        classClass_ = cls;
    else if (name == "java/lang/VersionProps")
        versionClass_ = cls;
    else if (name == "jdk/internal/vm/StackChunk")
        stackChunkClass_ = cls;
    else if (name.size() == 2 && name[0] == '[') {
        static const char letters[] = "ZCFDBSIJ";
        static const uint8_t types[] = {hprof::kBoolean, hprof::kChar, hprof::kFloat, hprof::kDouble,
                                        hprof::kByte,    hprof::kShort, hprof::kInt,  hprof::kLong};
        for (int i = 0; i < 8; ++i) {
            if (name[1] == letters[i]) {
                primitiveClass_[types[i]] = cls;
                classes_[cls].elementType = types[i];
            }
        }
    }
    if (!name.empty() && name[0] == '[' && classes_[cls].elementType == 0)
        classes_[cls].objectArray = true;
}

void IndexBuilder::loadClass(uint32_t serial, uint64_t classId, uint64_t nameId)
{
    const uint32_t cls = classIndexFor(classId);
    classes_[cls].nameId = nameId;
    classes_[cls].named = true;
    classBySerial_[serial] = classId;
    std::string_view name;
    if (symbols_.find(nameId, name))
        markSpecial(cls, name);
}

void IndexBuilder::frame(uint64_t frameId, uint64_t methodId, uint64_t signatureId, uint64_t sourceId,
                         uint32_t classSerial, int32_t line)
{
    frameById_.set(frameId, static_cast<uint32_t>(frames_.size()));
    frames_.push_back({methodId, signatureId, sourceId, classSerial, line});
}

void IndexBuilder::trace(uint32_t serial, uint32_t threadSerial, std::vector<uint64_t> frames)
{
    traces_[serial] = {threadSerial, std::move(frames)};
}

void IndexBuilder::root(RootKind kind, uint64_t id, uint32_t threadSerial, int32_t frame)
{
    roots_.push_back({id, kind, threadSerial, frame});
}

void IndexBuilder::threadRoot(uint64_t id, uint32_t threadSerial, uint32_t traceSerial)
{
    threads_.push_back({threadSerial, id, traceSerial});
    if (id != 0)
        roots_.push_back({id, RootKind::Thread, threadSerial, -1});
}

void IndexBuilder::addTargetHigh(uint64_t target)
{
    if (highsFrom_ == UINT64_MAX) {
        highsFrom_ = edgeCount_;
        wideFrom_ = 0;
    }
    targetHighs_.push_back(static_cast<uint16_t>(target >> 32));
}

void IndexBuilder::tooManyMegabytes() const
{
    throw HprofError(objectAt_, "implausible object identifiers",
                     "the references name " + std::to_string(addresses_.blockCount()) +
                         " different megabytes of addresses, far more than those where objects start");
}

void IndexBuilder::checkBitmapBudget(uint64_t at)
{
    if (addresses_.bitmapBytes() > std::max<uint64_t>(kBitmapAllowance, at))
        throw HprofError(at, "implausible object identifiers",
                         "objects start in " + std::to_string(addresses_.bitmapBytes() / AddressMap::kBlockBytes) +
                             " different megabytes of addresses, far more than the dump's size allows");
}

void IndexBuilder::tooMany(uint64_t at, const char* what) const
{
    throw HprofError(at, std::string("too many ") + what, "this reader takes at most " + std::to_string(UINT32_MAX - 2));
}

void IndexBuilder::defineFailed(uint64_t at, uint64_t id, AddressMap::Define result) const
{
    switch (result) {
    case AddressMap::Define::Duplicate:
        throw HprofError(at, "duplicate object", "identifier " + hexText(id) + " was already given to another object");
    case AddressMap::Define::Unaligned:
        throw HprofError(at, "bad object identifier", hexText(id) + " is not a multiple of 8, so no object address");
    default:
        throw HprofError(at, "implausible object identifiers",
                         "the objects and references name more than " + std::to_string(addresses_.blockCount()) +
                             " different megabytes of addresses, far more than those where objects start");
    }
}

const IndexBuilder::InstancePlan* IndexBuilder::buildPlan(uint64_t at, uint32_t cls)
{
    ClassRecord& record = classes_[cls];
    if (record.planFailedAt == classDumps_ + 1)
        return nullptr;  // nothing changed since the last try
    // The class and its superclasses, each dumped, the chain bounded (a cycle ends it).
    std::vector<uint32_t> chain;
    for (uint32_t c = cls;;) {
        if (!classes_[c].dumped) {
            record.planFailedAt = classDumps_ + 1;
            return nullptr;
        }
        chain.push_back(c);
        if (chain.size() > classes_.size())
            throw HprofError(classes_[c].dumpOffset, "class hierarchy cycle",
                             "class " + externalName(c) + " is its own superclass (its instance at byte " +
                                 std::to_string(at) + ")");
        const uint64_t superId = classes_[c].superId;
        if (superId == 0)
            break;
        const uint32_t super = classByAddress_.find(superId);
        if (super == IdHashMap::kMissing) {
            record.planFailedAt = classDumps_ + 1;
            return nullptr;
        }
        c = super;
    }
    InstancePlan plan;
    uint32_t slot = 1;
    for (uint32_t c : chain) {
        for (const RawField& field : classes_[c].fields) {
            const bool special = c == stringClass_ || c == threadClass_ || c == referenceClass_ || c == stackChunkClass_;
            std::string_view name;
            if (special)
                name = symbols_.textOr(field.name, {});
            if (field.type == hprof::kObject) {
                if (c == referenceClass_ && name == "referent")
                    plan.referent = static_cast<int32_t>(plan.refs.size());
                else if (c == stringClass_ && name == "value" && cls == stringClass_)
                    plan.stringValue = static_cast<int32_t>(plan.fieldBytes);
                else if (c == threadClass_ && name == "name")
                    plan.threadName = static_cast<int32_t>(plan.fieldBytes);
                plan.refs.emplace_back(plan.fieldBytes, slot);
            } else if (c == stringClass_ && cls == stringClass_ && name == "coder" && field.type == hprof::kByte) {
                plan.stringCoder = static_cast<int32_t>(plan.fieldBytes);
            } else if (c == stackChunkClass_ && name == "size" && field.type == hprof::kInt) {
                plan.stackWords = static_cast<int32_t>(plan.fieldBytes);
            }
            plan.fieldBytes += hprof::valueSize(field.type, idSize_);
            ++slot;
        }
    }
    record.plan = static_cast<int32_t>(plans_.size());
    plans_.push_back(std::move(plan));
    return &plans_.back();
}

void IndexBuilder::classDump(uint64_t at, const ClassDumpRecord& dump)
{
    const uint32_t cls = classIndexFor(dump.id);
    ClassRecord& record = classes_[cls];
    if (record.dumped)
        throw HprofError(at, "duplicate class", "class " + hexText(dump.id) + " was already dumped at byte " +
                                                    std::to_string(record.dumpOffset));
    record.dumped = true;
    record.dumpOffset = at;
    record.superId = dump.super;
    record.loaderId = dump.loader;
    record.fields = dump.fields;
    record.statics = dump.statics;
    record.constantPoolEntries = static_cast<uint32_t>(dump.constantPool.size());
    ++classDumps_;

    const uint32_t number = defineObject(at, dump.id, kPendingMirror, cls);
    record.object = number;
    // Slots: 0 its class (java.lang.Class, implicit), 1 super, 2 loader, 3 signers, 4
    // protection domain, then the statics, then the constant pool, in that order.
    if (classClass_ != kNoClass)
        useClass(classClass_);
    const uint64_t fixed[] = {dump.super, dump.loader, dump.signers, dump.domain};
    for (uint32_t i = 0; i < 4; ++i) {
        if (fixed[i] != 0)
            addEdge(fixed[i], 1 + i);
    }
    uint32_t slot = 5;
    for (const RawStatic& s : dump.statics) {
        if (s.type == hprof::kObject && s.value != 0)
            addEdge(s.value, slot);
        ++slot;
    }
    for (uint64_t value : dump.constantPool) {
        if (value != 0)
            addEdge(value, slot);
        ++slot;
    }
    if (cls == versionClass_) {
        for (const RawStatic& s : dump.statics) {
            if (s.type == hprof::kObject && s.value != 0 && symbols_.textOr(s.name, {}) == "java_version")
                strings_.want(dump.id, s.value);
        }
    }
}

void IndexBuilder::instance(uint64_t at, uint64_t id, uint64_t classId, const uint8_t* values, uint32_t size)
{
    const uint32_t cls = classIndexFor(classId);
    const uint32_t number = defineObject(at, id, cls, kNoAux);
    noteHeapOrder(id);
    useClass(cls);
    const InstancePlan* plan = planFor(at, cls);
    if (!plan) {
        ++instancesUnread_;
        return;
    }
    if (plan->fieldBytes != size)
        throw HprofError(at, "instance does not match its class",
                         "it has " + std::to_string(size) + " bytes of field values, its class " + externalName(cls) +
                             " lays out " + std::to_string(plan->fieldBytes));
    if (!values)
        throw HprofError(at, "instance too large", std::to_string(size) + " bytes of field values");
    for (size_t i = 0; i < plan->refs.size(); ++i) {
        const uint64_t target = loadId(values + plan->refs[i].first, idSize_);
        if (target == 0)
            continue;
        if (static_cast<int32_t>(i) == plan->referent)
            weak_.emplace_back(number, addresses_.compact(target));
        else
            addEdge(target, plan->refs[i].second);
    }
    if (plan->stringValue >= 0) {
        const uint8_t coder = plan->stringCoder >= 0 ? values[plan->stringCoder] : 0;
        strings_.onString(id, loadId(values + plan->stringValue, idSize_), coder);
    }
    if (plan->stackWords >= 0) {
        // The VM lays a continuation's frames out after the chunk's fields: its size is
        // its stack's, which the aux carries to the sizes.
        const uint32_t words = loadU4(values + plan->stackWords);
        aux_[number] = std::min<uint32_t>(words, kNoAux - 1);
    }
    if (plan->threadName >= 0) {
        const uint64_t name = loadId(values + plan->threadName, idSize_);
        if (name != 0)
            strings_.want(id, name);
    }
}

void IndexBuilder::beginObjectArray(uint64_t at, uint64_t id, uint64_t classId, uint32_t length)
{
    const uint32_t cls = classIndexFor(classId);
    classes_[cls].objectArray = true;
    defineObject(at, id, cls, length);
    noteHeapOrder(id);
    useClass(cls);
    arrayIndex_ = 0;
}

void IndexBuilder::objectArrayElements(const uint8_t* ids, uint32_t count)
{
    for (uint32_t i = 0; i < count; ++i) {
        const uint64_t target = loadId(ids + size_t{i} * idSize_, idSize_);
        if (target != 0)
            addEdge(target, static_cast<uint32_t>(1 + arrayIndex_ + i));
    }
    arrayIndex_ += count;
}

uint32_t IndexBuilder::wantsArrayHead(uint64_t, uint8_t type, uint32_t length) const
{
    if (type != hprof::kByte)
        return 0;
    if (length <= StringCapture::kMaxText || strings_.wantsLongValues())
        return std::min(length, StringCapture::kMaxText);
    return 0;
}

void IndexBuilder::primitiveArray(uint64_t at, uint64_t id, uint8_t type, uint32_t length, const uint8_t* head,
                                  uint32_t headBytes)
{
    uint32_t cls = primitiveClass_[type];
    if (cls == kNoClass) {
        // The dump never named this array class: one without a class object stands in.
        cls = static_cast<uint32_t>(classes_.size());
        classes_.emplace_back();
        classes_.back().elementType = type;
        primitiveClass_[type] = cls;
    }
    defineObject(at, id, cls, length);
    noteHeapOrder(id);
    useClass(cls);
    if (head)
        strings_.onByteArray(id, head, std::min(length, headBytes));
}
