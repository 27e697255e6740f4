// Snapshot::show: one object and everything it holds. The index knows every reference
// and what it goes through, and a class's statics; field values, array elements and
// String texts come from reading the dump again when it can be, in two passes at most:
// the object with the Strings and boxes it refers to, then those Strings' bytes.
#include <algorithm>
#include <unordered_map>

#include "hprof_error.h"
#include "hprof_format.h"
#include "java_text.h"
#include "object_ids.h"
#include "snapshot_queries.h"
#include "string_capture.h"

namespace {

constexpr size_t kPreviewChars = 100;
// Elements kept of one array: as much as the reader holds at once.
constexpr size_t kMaxArrayBytes = 4u << 20;
// Targets whose text or value is read for their preview, at most.
constexpr size_t kPreviewTargets = 256;

bool isBox(std::string_view name)
{
    static const char* const boxes[] = {"java.lang.Integer", "java.lang.Long", "java.lang.Short", "java.lang.Byte",
                                        "java.lang.Character", "java.lang.Boolean", "java.lang.Float", "java.lang.Double"};
    return std::find(std::begin(boxes), std::end(boxes), name) != std::end(boxes);
}

// A primitive array element or an identifier as the dump writes it: big-endian.
uint64_t bitsAt(const std::vector<uint8_t>& bytes, size_t at, unsigned size)
{
    uint64_t bits = 0;
    for (unsigned i = 0; i < size; ++i)
        bits = bits << 8 | bytes[at + i];
    return bits;
}

// A String's text in quotes, cut after kPreviewChars code points.
std::string quoted(const std::string& text)
{
    size_t chars = 0, at = 0;
    while (at < text.size() && chars < kPreviewChars) {
        const auto byte = static_cast<unsigned char>(text[at]);
        at += byte < 0x80 ? 1 : byte < 0xE0 ? 2 : byte < 0xF0 ? 3 : 4;
        ++chars;
    }
    return at < text.size() ? "\"" + text.substr(0, at) + "...\"" : "\"" + text + "\"";
}

std::string absent(uint64_t id)
{
    return "(" + hexText(id) + ", which the dump leaves out)";
}

// Builds one show reply from the snapshot's index, and from the values read again when
// a reader is given.
class ObjectView {
public:
    ObjectView(const Snapshot& snapshot, const ValueReader& values, uint32_t object)
        : snapshot_(snapshot), index_(snapshot.index()), values_(values), object_(object),
          stringClass_(index_.classNamed("java.lang.String")), references_(index_.references(object)),
          labels_(index_.labelsOf(object))
    {
    }

    ObjectReply build(uint64_t offset, uint32_t limit)
    {
        reply_.object = snapshot_.row(object_);
        reply_.address = hexText(index_.addressOf(object_));
        const uint32_t dominator = snapshot_.analysis().tree.dominatorOf(object_);
        if (dominator == kVirtualRoot)
            reply_.dominatedByRoots = true;
        else if (dominator != kNoObject)
            reply_.dominator = snapshot_.row(dominator);
        reply_.elementOffset = offset;
        const ObjectKind kind = index_.kind(object_);
        if (values_ && kind != ObjectKind::Class)
            readValues(offset, limit);
        const auto self = read_.find(index_.addressOf(object_));
        const ObjectValues* mine = self != read_.end() && self->second.found ? &self->second : nullptr;
        reply_.values = mine != nullptr;
        if (mine && kind == ObjectKind::Instance)
            fieldsWithValues(*mine);
        else if (mine)
            elementsWithValues(*mine, kind == ObjectKind::ObjectArray, offset, limit);
        else
            fromIndex(kind, offset, limit);
        if (!mine && kind != ObjectKind::Class)
            reply_.notes.push_back(values_ ? "the dump could not be read again for this object's values: it lists "
                                             "references and sizes"
                                           : "field values and array elements are not in this snapshot (taken from a "
                                             "running VM): it lists references and sizes");
        const Notes general = snapshot_.notes();
        reply_.notes.insert(reply_.notes.end(), general.begin(), general.end());
        return std::move(reply_);
    }

private:
    // The object's values, and those of the Strings and boxes it refers to (for an
    // array, on the page shown) for their previews.
    void readValues(uint64_t offset, uint32_t limit)
    {
        const HeapGraph& graph = index_.graph;
        std::vector<uint64_t> addresses{index_.addressOf(object_)};
        for (size_t i = 0; i < references_.size() && addresses.size() <= kPreviewTargets; ++i) {
            const HeapIndex::EdgeLabel& label = labels_[i];
            if (label.kind == HeapIndex::EdgeLabel::Element && (label.index < offset || label.index - offset >= limit))
                continue;
            const uint32_t c = graph.classOf[references_[i].target];
            if (c == stringClass_ || isBox(index_.className(c)))
                addresses.push_back(index_.addressOf(references_[i].target));
        }
        for (ObjectValues& v : values_(addresses, kMaxArrayBytes))
            read_.emplace(v.address, std::move(v));
        // The Strings' texts, from their value arrays.
        std::vector<uint64_t> strings;  // their value arrays
        std::unordered_map<uint64_t, std::pair<uint64_t, uint8_t>> valueOf;  // String -> (byte[], coder)
        for (const auto& [address, v] : read_) {
            const uint32_t o = index_.objectAt(address);
            if (!v.found || o == kNoObject || graph.classOf[o] != stringClass_)
                continue;
            uint64_t value = 0;
            uint8_t coder = 0;
            for (const FieldValue& f : fieldValues(index_, o, v)) {
                const std::string_view name = index_.name(f.field.field.name);
                if (name == "value" && f.field.field.type == hprof::kObject)
                    value = f.bits;
                else if (name == "coder")
                    coder = static_cast<uint8_t>(f.bits);
            }
            if (value != 0) {
                valueOf[address] = {value, coder};
                strings.push_back(value);
            }
        }
        if (strings.empty())
            return;
        std::unordered_map<uint64_t, ObjectValues> bytes;
        for (ObjectValues& v : values_(strings, kMaxArrayBytes))
            bytes.emplace(v.address, std::move(v));
        for (const auto& [string, value] : valueOf) {
            const auto b = bytes.find(value.first);
            if (b != bytes.end() && b->second.found)
                texts_[string] = decodeJavaString(b->second.bytes.data(), static_cast<uint32_t>(b->second.bytes.size()),
                                                  value.second);
        }
        const auto text = texts_.find(index_.addressOf(object_));
        if (text != texts_.end()) {
            reply_.hasText = true;
            reply_.text = text->second;
        }
    }

    // A target's row, with a String's text or a box's value when they were read.
    ObjectRow target(uint32_t object) const
    {
        ObjectRow row = snapshot_.row(object);
        const uint64_t address = index_.addressOf(object);
        const auto text = texts_.find(address);
        if (text != texts_.end()) {
            row.preview = quoted(text->second);
            return row;
        }
        const auto found = read_.find(address);
        if (found != read_.end() && found->second.found && found->second.kind == ObjectValues::Instance) {
            for (const FieldValue& f : fieldValues(index_, object, found->second)) {
                if (index_.name(f.field.field.name) == "value" && hprof::isPrimitive(f.field.field.type))
                    row.preview = javaValueText(f.field.field.type, f.bits);
            }
        }
        return row;
    }

    // A reference slot's value or target from an identifier.
    void refer(ObjectSlot& slot, uint64_t id) const
    {
        slot.reference = true;
        if (id == 0) {
            slot.value = "null";
            return;
        }
        const uint32_t object = index_.objectAt(id);
        if (object == kNoObject)
            slot.value = absent(id);
        else
            slot.target = target(object);
    }

    void classSlot()
    {
        if (!references_.empty() && references_.front().edge == kClassEdge) {
            ObjectSlot slot;
            slot.how = "class";
            slot.reference = true;
            slot.target = snapshot_.row(references_.front().target);
            reply_.slots.push_back(std::move(slot));
        }
    }

    void fieldsWithValues(const ObjectValues& values)
    {
        classSlot();
        for (const FieldValue& f : fieldValues(index_, object_, values)) {
            ObjectSlot slot;
            slot.how = "field";
            slot.name = std::string(index_.name(f.field.field.name));
            slot.declaringClass = javaTypeName(index_.className(f.field.declaringClass));
            if (f.field.field.type == hprof::kObject) {
                refer(slot, f.bits);
                slot.weak = slot.name == "referent" && slot.declaringClass == "java.lang.ref.Reference";
            } else {
                slot.declaredType = hprof::primitiveName(f.field.field.type);
                slot.value = javaValueText(f.field.field.type, f.bits);
            }
            reply_.slots.push_back(std::move(slot));
        }
    }

    void elementsWithValues(const ObjectValues& values, bool objects, uint64_t offset, uint32_t limit)
    {
        classSlot();
        reply_.length = values.length;
        reply_.elements = values.length;
        const uint8_t type = objects ? uint8_t{hprof::kObject} : values.elementType;
        const unsigned size = objects ? index_.summary.identifierSize : hprof::primitiveSize(type);
        const uint64_t kept = values.bytes.size() / size;
        const uint64_t end = std::min<uint64_t>(values.length, offset + limit);
        for (uint64_t i = offset; i < end && i < kept; ++i) {
            ObjectSlot slot;
            slot.how = "element";
            slot.name = std::to_string(i);
            const uint64_t bits = bitsAt(values.bytes, i * size, size);
            if (objects) {
                refer(slot, bits);
            } else {
                slot.declaredType = hprof::primitiveName(type);
                slot.value = javaValueText(type, bits);
            }
            reply_.slots.push_back(std::move(slot));
        }
        if (end > kept && offset < end)
            reply_.notes.push_back("elements from " + groupedCount(kept) + " on are past what one reading keeps (" +
                                   bytesText(kMaxArrayBytes) + ")");
    }

    // Every reference the index keeps with what it goes through, a page of an array's
    // element references, and a class's statics.
    void fromIndex(ObjectKind kind, uint64_t offset, uint32_t limit)
    {
        if (kind == ObjectKind::ObjectArray || kind == ObjectKind::PrimitiveArray) {
            const auto length = index_.arrayLengthRange(object_);
            if (length.first == length.second)
                reply_.length = static_cast<int64_t>(length.first);
            reply_.elements = length.second;
        }
        for (size_t i = 0; i < references_.size(); ++i) {
            const HeapIndex::EdgeLabel& label = labels_[i];
            ObjectSlot slot;
            slot.reference = true;
            switch (label.kind) {
            case HeapIndex::EdgeLabel::Class: slot.how = "class"; break;
            case HeapIndex::EdgeLabel::Super: slot.how = "super"; break;
            case HeapIndex::EdgeLabel::Loader: slot.how = "loader"; break;
            case HeapIndex::EdgeLabel::Signers: slot.how = "signers"; break;
            case HeapIndex::EdgeLabel::ProtectionDomain: slot.how = "domain"; break;
            case HeapIndex::EdgeLabel::Static: continue;  // with the primitive statics, below
            case HeapIndex::EdgeLabel::ConstantPool:
                slot.how = "pool";
                slot.name = std::to_string(label.index);
                break;
            case HeapIndex::EdgeLabel::Element:
                // Paged by index, as with values; the nulls between are not known.
                if (label.index < offset || label.index - offset >= limit)
                    continue;
                slot.how = "element";
                slot.name = std::to_string(label.index);
                break;
            case HeapIndex::EdgeLabel::Field:
                slot.how = "field";
                if (label.declaringClass == kNoClass) {
                    slot.name = "field " + std::to_string(label.index);
                } else {
                    slot.name = std::string(index_.name(label.name));
                    slot.declaringClass = javaTypeName(index_.className(label.declaringClass));
                }
                break;
            }
            slot.target = snapshot_.row(references_[i].target);
            reply_.slots.push_back(std::move(slot));
        }
        for (const auto& [holder, referent] : index_.graph.weakEdges) {
            if (holder != object_)
                continue;
            ObjectSlot slot;
            slot.how = "field";
            slot.name = "referent";
            slot.declaringClass = "java.lang.ref.Reference";
            slot.reference = true;
            slot.weak = true;
            slot.target = snapshot_.row(referent);
            reply_.slots.push_back(std::move(slot));
        }
        if (kind == ObjectKind::Class)
            statics();
    }

    void statics()
    {
        const uint32_t cls = index_.classRepresented(object_);
        for (const StaticField& s : index_.classes[cls].statics) {
            ObjectSlot slot;
            slot.how = "static";
            slot.name = std::string(index_.name(s.name));
            slot.declaringClass = javaTypeName(index_.className(cls));
            if (s.type == hprof::kObject) {
                refer(slot, s.value);
            } else {
                slot.declaredType = hprof::primitiveName(s.type);
                slot.value = javaValueText(s.type, s.value);
            }
            reply_.slots.push_back(std::move(slot));
        }
    }

    const Snapshot& snapshot_;
    const HeapIndex& index_;
    const ValueReader& values_;
    const uint32_t object_;
    const uint32_t stringClass_;
    const std::vector<HeapIndex::Reference> references_;
    const std::vector<HeapIndex::EdgeLabel> labels_;  // of references_
    std::unordered_map<uint64_t, ObjectValues> read_;  // by address
    std::unordered_map<uint64_t, std::string> texts_;  // Strings' texts, by address
    ObjectReply reply_;
};

}  // namespace

ObjectReply Snapshot::show(uint32_t object, uint64_t offset, uint32_t limit) const
{
    if (object >= index_.graph.objects)
        throw SnapshotError(snapshotId(object) + " names no object");
    return ObjectView(*this, values_, object).build(offset, limit);
}
