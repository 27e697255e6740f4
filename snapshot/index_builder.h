// Builds a HeapIndex from what the HPROF reader finds, record by record: objects are
// numbered as they come, their references wait as compact addresses, and classes, roots,
// threads and frames are noted with their identifiers. finish() resolves everything
// once the last object is known: references to numbers, classes to their names and
// layouts, objects to their sizes.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <unordered_map>
#include <vector>

#include "address_map.h"
#include "chunked_array.h"
#include "heap_index.h"
#include "hprof_records.h"
#include "id_hash_map.h"
#include "snapshot_reader.h"
#include "string_capture.h"
#include "symbol_table.h"

class IndexBuilder {
public:
    explicit IndexBuilder(const ReadOptions& options);

    void setIdentifierSize(unsigned idSize) { idSize_ = idSize; }
    void setTimestamp(uint64_t millis) { timestamp_ = millis; }
    void utf8Begin(uint64_t id) { symbols_.begin(id); }
    void utf8Append(const uint8_t* bytes, size_t n) { symbols_.append(bytes, n); }
    bool finished() const { return false; }  // every record counts

    // Top-level records.
    void loadClass(uint32_t serial, uint64_t classId, uint64_t nameId);
    void frame(uint64_t frameId, uint64_t methodId, uint64_t signatureId, uint64_t sourceId, uint32_t classSerial,
               int32_t line);
    void trace(uint32_t serial, uint32_t threadSerial, std::vector<uint64_t> frames);
    void startThread(uint32_t serial, uint64_t nameId) { startThreadNames_[serial] = nameId; }

    // Heap dump sub-records; `at` is the sub-record's offset, for errors.
    void root(RootKind kind, uint64_t id, uint32_t threadSerial, int32_t frame);
    void threadRoot(uint64_t id, uint32_t threadSerial, uint32_t traceSerial);

    void classDump(uint64_t at, const ClassDumpRecord& dump);
    // An instance and its field values (`size` bytes at `values`; nullptr when there were
    // more than the reader holds at once).
    void instance(uint64_t at, uint64_t id, uint64_t classId, const uint8_t* values, uint32_t size);
    void beginObjectArray(uint64_t at, uint64_t id, uint64_t classId, uint32_t length);
    void objectArrayElements(const uint8_t* ids, uint32_t count);
    // `head` holds the first `headBytes` bytes of the elements when wantsArrayHead said so.
    void primitiveArray(uint64_t at, uint64_t id, uint8_t type, uint32_t length, const uint8_t* head,
                        uint32_t headBytes);
    // How many of a primitive array's first bytes primitiveArray() wants to see.
    uint32_t wantsArrayHead(uint64_t id, uint8_t type, uint32_t length) const;
    void heapDumpEnd() { sawEnd_ = true; }

    bool sawEnd() const { return sawEnd_; }
    uint64_t objects() const { return objectCount_; }

    HeapIndex finish(uint64_t dumpBytes, const std::function<void(ReadPhase)>& phase);

private:
    static constexpr uint32_t kPendingMirror = UINT32_MAX - 1;  // a class object's class, set in finish
    static constexpr uint32_t kNoAux = UINT32_MAX;

    struct InstancePlan {
        uint32_t fieldBytes = 0;
        std::vector<std::pair<uint32_t, uint32_t>> refs;  // (offset in the values, slot)
        int32_t referent = -1;                            // Reference.referent: index in refs
        int32_t stringValue = -1, stringCoder = -1;       // java.lang.String: offsets
        int32_t threadName = -1;                          // java.lang.Thread.name: offset
        int32_t stackWords = -1;                          // jdk.internal.vm.StackChunk.size: offset
    };
    struct ClassRecord {
        uint64_t id = 0;
        uint64_t nameId = 0;
        bool named = false;
        bool dumped = false;
        bool objectArray = false;
        uint8_t elementType = 0;  // primitive array classes
        uint64_t dumpOffset = 0;
        uint64_t superId = 0, loaderId = 0;
        uint32_t object = kNoObject;
        uint64_t compact = AddressMap::kInvalid;  // of id, once an object of the class came
        uint32_t constantPoolEntries = 0;
        std::vector<RawField> fields;
        std::vector<RawStatic> statics;
        int32_t plan = -1;          // index in plans_; -1 not built yet
        uint64_t planFailedAt = 0;  // class dumps seen when a plan could last not be built
    };
    struct RawRoot {
        uint64_t id;
        RootKind kind;
        uint32_t threadSerial;
        int32_t frame;
    };
    struct RawThread {
        uint32_t serial;
        uint64_t id;
        uint32_t traceSerial;
    };
    struct RawFrame {
        uint64_t method, signature, source;
        uint32_t classSerial;
        int32_t line;
    };

    // The hot path of reading: a few of these per object or reference, inline.
    uint32_t classIndexFor(uint64_t classId)
    {
        if (classId == lastClassId_ && lastClass_ != kNoClass)
            return lastClass_;
        return classIndexSlow(classId);
    }
    uint32_t classIndexSlow(uint64_t classId);
    uint32_t defineObject(uint64_t at, uint64_t id, uint32_t cls, uint32_t aux)
    {
        if (objectCount_ >= kNoObject - 1)
            tooMany(at, "objects");
        const auto number = static_cast<uint32_t>(objectCount_);
        if (addresses_.tooManyBlocks())  // the last object's references went past the allowance
            tooManyMegabytes();
        const AddressMap::Define result = addresses_.define(id, number);
        if (result != AddressMap::Define::Added)
            defineFailed(at, id, result);
        if ((number & 0xFFFF) == 0)
            checkBitmapBudget(at);
        ++objectCount_;
        objectAt_ = at;
        classOf_.push_back(cls);
        aux_.push_back(aux);
        firstEdge_.push_back(static_cast<uint32_t>(edgeCount_));
        lastSlot_ = -1;
        return number;
    }
    void addEdge(uint64_t targetId, uint32_t slot) { addCompactEdge(addresses_.compact(targetId), slot); }
    void addCompactEdge(uint64_t target, uint32_t slot)
    {
        if (edgeCount_ >= UINT32_MAX - 1)
            tooMany(objectAt_, "references");
        const auto skip = static_cast<uint32_t>(static_cast<int64_t>(slot) - lastSlot_ - 1);
        lastSlot_ = slot;
        if (skip < EdgeLabels::kEscape) {
            skips_.push_back(static_cast<uint8_t>(skip));
        } else {
            skips_.push_back(EdgeLabels::kEscape);
            escapes_.emplace_back(static_cast<uint32_t>(edgeCount_), skip);
        }
        targets_.push_back(static_cast<uint32_t>(target));
        if (target >= wideFrom_)
            addTargetHigh(target);
        ++edgeCount_;
    }
    // Whether the dump gives the heap's objects in address order, as a walk over the heap's
    // regions does, or as a walk of the object graph from the roots does (ZGC,
    // Shenandoah): only the first leaves no dead space between one object and the next.
    void noteHeapOrder(uint64_t id)
    {
        heapDescents_ += id < lastHeapId_;
        lastHeapId_ = id;
        ++heapObjects_;
    }
    bool heapInAddressOrder() const { return heapDescents_ * 20 <= heapObjects_; }
    // An object's reference to its class is not stored (HeapGraph::classObject names it),
    // but the class's compact address is kept, to count the references to a class object
    // the dump leaves out as dropped ones.
    void useClass(uint32_t cls)
    {
        ClassRecord& record = classes_[cls];
        if (record.compact == AddressMap::kInvalid && record.id != 0)
            record.compact = addresses_.compact(record.id);
    }
    const InstancePlan* planFor(uint64_t at, uint32_t cls)
    {
        const int32_t plan = classes_[cls].plan;
        return plan >= 0 ? &plans_[static_cast<size_t>(plan)] : buildPlan(at, cls);
    }
    const InstancePlan* buildPlan(uint64_t at, uint32_t cls);
    // The first compact address past 32 bits, and every one after it, keeps its high bits.
    void addTargetHigh(uint64_t target);
    // Edge e's compact address, from its low 32 bits and, past highsFrom_, its high ones.
    uint64_t targetOf(uint64_t e, uint32_t low) const
    {
        return e < highsFrom_ ? low : (uint64_t{targetHighs_[e - highsFrom_]} << 32) | low;
    }
    [[noreturn]] void tooMany(uint64_t at, const char* what) const;
    [[noreturn]] void tooManyMegabytes() const;
    [[noreturn]] void defineFailed(uint64_t at, uint64_t id, AddressMap::Define result) const;
    void markSpecial(uint32_t cls, std::string_view name);
    void checkBitmapBudget(uint64_t at);

    // finish() steps
    void resolveClasses(HeapIndex& index);
    // Both add to absent the compact addresses named that no object has.
    void resolveEdges(HeapIndex& index, std::vector<uint64_t>& absent);
    void resolveClassEdges(HeapIndex& index, std::vector<uint64_t>& absent);  // needs graph.classOf
    void resolveRoots(HeapIndex& index);
    // aux: each object's array length or class object's class, made its size in units.
    // It may run beside resolveEdges, so its notes go to notes rather than the index.
    void computeSizes(HeapIndex& index, ChunkedArray<uint32_t>& aux, std::vector<std::string>& notes);
    void resolveThreads(HeapIndex& index);
    // The Strings and value arrays still awaited, looked up in the dump's file if it has one.
    void readAwaitedStringsAgain();
    std::string externalName(uint32_t cls) const;
    int javaFeature(std::string& versionText) const;
    void note(HeapIndex& index, std::string text) { index.summary.notes.push_back(std::move(text)); }

    ReadOptions options_;
    unsigned idSize_ = 8;
    uint64_t timestamp_ = 0;
    bool sawEnd_ = false;

    SymbolTable symbols_;
    AddressMap addresses_;
    StringCapture strings_;

    // Per object, in the dump's order.
    ChunkedArray<uint32_t> classOf_;    // 4 B/object: class index (class objects: kPendingMirror)
    ChunkedArray<uint32_t> aux_;        // 4 B/object: array length or a class object's class, later its size
    ChunkedArray<uint32_t> firstEdge_;  // 4 B/object
    // Per reference.
    ChunkedArray<uint32_t> targets_;    // 4 B/reference: compact address until resolved
    ChunkedArray<uint8_t> skips_;       // 1 B/reference: slots skipped (edge_labels.h)
    std::vector<std::pair<uint32_t, uint32_t>> escapes_;  // (edge, skip) for skips >= 255
    // Heaps of more than 32 GiB only: the high bits of the compact addresses of the edges
    // from highsFrom_ on, once one needed them.
    ChunkedArray<uint16_t> targetHighs_;
    uint64_t highsFrom_ = UINT64_MAX;
    uint64_t wideFrom_ = uint64_t{1} << 32;  // 0 once the highs are kept
    uint64_t objectCount_ = 0;
    uint64_t heapObjects_ = 0, heapDescents_ = 0, lastHeapId_ = 0;  // instances and arrays
    uint64_t edgeCount_ = 0;
    int64_t lastSlot_ = -1;             // slot of the current object's last edge
    uint64_t objectAt_ = 0;             // offset of the current object's record
    uint64_t arrayIndex_ = 0;           // next element of the current object array
    std::vector<std::pair<uint32_t, uint64_t>> weak_;     // (holder, compact referent)

    std::vector<ClassRecord> classes_;
    IdHashMap classByAddress_;
    uint64_t lastClassId_ = 0;
    uint32_t lastClass_ = kNoClass;
    std::vector<InstancePlan> plans_;
    uint64_t classDumps_ = 0;
    uint32_t stringClass_ = kNoClass, threadClass_ = kNoClass, referenceClass_ = kNoClass;
    uint32_t classClass_ = kNoClass, versionClass_ = kNoClass, stackChunkClass_ = kNoClass;
    uint32_t primitiveClass_[12];  // by hprof::Type
    uint64_t instancesUnread_ = 0;
    uint64_t droppedReferences_ = 0;

    std::vector<RawRoot> roots_;
    std::vector<RawThread> threads_;
    std::unordered_map<uint32_t, std::pair<uint32_t, std::vector<uint64_t>>> traces_;  // serial -> (thread, frames)
    std::vector<RawFrame> frames_;
    IdHashMap frameById_;
    std::unordered_map<uint32_t, uint64_t> classBySerial_;
    std::unordered_map<uint32_t, uint64_t> startThreadNames_;
};
