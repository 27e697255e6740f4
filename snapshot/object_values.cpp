#include "object_values.h"

#include <algorithm>

#include "dump_input.h"
#include "hprof_format.h"
#include "hprof_reader.h"

ObjectValueCollector::ObjectValueCollector(const std::vector<uint64_t>& addresses, size_t maxArrayBytes)
    : maxArrayBytes_(std::min<size_t>(maxArrayBytes, DumpInput::kBufferSize))
{
    values_.resize(addresses.size());
    for (size_t i = 0; i < addresses.size(); ++i) {
        values_[i].address = addresses[i];
        byAddress_.emplace_back(addresses[i], i);
    }
    std::sort(byAddress_.begin(), byAddress_.end());
    byAddress_.erase(std::unique(byAddress_.begin(), byAddress_.end(),
                                 [](const auto& a, const auto& b) { return a.first == b.first; }),
                     byAddress_.end());
    left_ = byAddress_.size();
}

ObjectValues* ObjectValueCollector::wanted(uint64_t id)
{
    auto found = std::lower_bound(byAddress_.begin(), byAddress_.end(), std::make_pair(id, size_t{0}));
    if (found == byAddress_.end() || found->first != id || values_[found->second].found)
        return nullptr;
    --left_;
    values_[found->second].found = true;
    return &values_[found->second];
}

void ObjectValueCollector::classDump(uint64_t, const ClassDumpRecord& dump)
{
    if (ObjectValues* v = wanted(dump.id))
        v->kind = ObjectValues::Class;
}

void ObjectValueCollector::instance(uint64_t, uint64_t id, uint64_t, const uint8_t* values, uint32_t size)
{
    if (ObjectValues* v = wanted(id)) {
        v->kind = ObjectValues::Instance;
        if (values)
            v->bytes.assign(values, values + size);
        else
            v->cut = true;
    }
}

void ObjectValueCollector::beginObjectArray(uint64_t, uint64_t id, uint64_t, uint32_t length)
{
    array_ = wanted(id);
    if (array_) {
        array_->kind = ObjectValues::ObjectArray;
        array_->length = length;
    }
}

void ObjectValueCollector::objectArrayElements(const uint8_t* ids, uint32_t count)
{
    if (!array_)
        return;
    const size_t room = maxArrayBytes_ - std::min(maxArrayBytes_, array_->bytes.size());
    const size_t n = std::min<size_t>(room, size_t{count} * idSize_);
    array_->bytes.insert(array_->bytes.end(), ids, ids + n);
    array_->cut = array_->cut || n < size_t{count} * idSize_;
}

uint32_t ObjectValueCollector::wantsArrayHead(uint64_t id, uint8_t type, uint32_t length) const
{
    auto found = std::lower_bound(byAddress_.begin(), byAddress_.end(), std::make_pair(id, size_t{0}));
    if (found == byAddress_.end() || found->first != id)
        return 0;
    return static_cast<uint32_t>(std::min<uint64_t>(uint64_t{length} * hprof::primitiveSize(type), maxArrayBytes_));
}

void ObjectValueCollector::primitiveArray(uint64_t, uint64_t id, uint8_t type, uint32_t length, const uint8_t* head,
                                          uint32_t headBytes)
{
    if (ObjectValues* v = wanted(id)) {
        v->kind = ObjectValues::PrimitiveArray;
        v->length = length;
        v->elementType = type;
        if (head)
            v->bytes.assign(head, head + headBytes);
        v->cut = headBytes < uint64_t{length} * hprof::primitiveSize(type);
    }
}

std::vector<ObjectValues> readObjectValues(ByteSource& source, const std::vector<uint64_t>& addresses,
                                           size_t maxArrayBytes)
{
    DumpInput input(source);
    ObjectValueCollector collector(addresses, maxArrayBytes);
    HprofReader<ObjectValueCollector> reader(input, collector, nullptr, UINT64_MAX);
    if (!collector.finished())
        reader.read();
    return collector.take();
}

std::vector<ObjectValues> readObjectValuesFile(const std::string& path, const std::vector<uint64_t>& addresses,
                                               size_t maxArrayBytes)
{
    auto source = openDumpFile(path);
    return readObjectValues(*source, addresses, maxArrayBytes);
}

std::vector<FieldValue> fieldValues(const HeapIndex& index, uint32_t object, const ObjectValues& values)
{
    std::vector<FieldValue> out;
    if (values.kind != ObjectValues::Instance || object >= index.graph.objects)
        return out;
    const unsigned idSize = index.summary.identifierSize;
    size_t at = 0;
    for (const HeapIndex::FieldRef& ref : index.instanceFields(index.classIndexOf(object))) {
        const unsigned size = hprof::valueSize(ref.field.type, idSize);
        if (at + size > values.bytes.size())
            break;
        uint64_t bits = 0;
        for (unsigned i = 0; i < size; ++i)
            bits = bits << 8 | values.bytes[at + i];
        out.push_back({ref, bits});
        at += size;
    }
    return out;
}
