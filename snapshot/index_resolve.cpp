// IndexBuilder::finish and its steps but the sizes: what was read is resolved into the
// HeapIndex once every object is known.
#include <algorithm>
#include <cctype>
#include <future>
#include <unordered_set>

#include "dump_input.h"
#include "hprof_error.h"
#include "hprof_format.h"
#include "index_builder.h"
#include "object_values.h"
#include "second_thread.h"

namespace {

// Class.getName() of a class from its name in the VM: dots for slashes, and a hidden
// class's "+0x..." suffix as "/0x...", as jcmd prints it.
std::string javaName(std::string_view internal)
{
    std::string name(internal);
    std::replace(name.begin(), name.end(), '/', '.');
    const size_t plus = name.rfind("+0x");
    if (plus != std::string::npos && plus + 3 < name.size() &&
        std::all_of(name.begin() + static_cast<std::ptrdiff_t>(plus) + 3, name.end(),
                    [](char c) { return std::isxdigit(static_cast<unsigned char>(c)) != 0; }))
        name[plus] = '/';
    return name;
}

}  // namespace

const char* rootKindName(RootKind kind)
{
    switch (kind) {
    case RootKind::JniGlobal: return "JNI global";
    case RootKind::JniLocal: return "JNI local";
    case RootKind::JavaFrame: return "Java frame";
    case RootKind::NativeStack: return "native stack";
    case RootKind::SystemClass: return "system class";
    case RootKind::ThreadBlock: return "thread block";
    case RootKind::Monitor: return "busy monitor";
    case RootKind::Thread: return "thread";
    case RootKind::Unknown: break;
    }
    return "other";
}

std::string IndexBuilder::externalName(uint32_t cls) const
{
    const ClassRecord& record = classes_[cls];
    std::string_view name;
    if (record.named && symbols_.find(record.nameId, name))
        return javaName(name);
    if (cls == classClass_)
        return "java.lang.Class";
    if (record.elementType)
        return std::string("[") + hprof::primitiveLetter(record.elementType);
    return "unnamed class " + hexText(record.id);
}

int IndexBuilder::javaFeature(std::string& versionText) const
{
    versionText.clear();
    if (versionClass_ != kNoClass && strings_.text(classes_[versionClass_].id, versionText)) {
        // "17.0.15", "25", "1.8.0_402"
        int feature = std::atoi(versionText.c_str());
        if (feature == 1 && versionText.size() > 2)
            feature = std::atoi(versionText.c_str() + 2);
        return feature;
    }
    return 0;
}

HeapIndex IndexBuilder::finish(uint64_t dumpBytes, const std::function<void(ReadPhase)>& phase)
{
    HeapIndex index;
    phase(ReadPhase::Resolving);
    readAwaitedStringsAgain();
    index.summary.identifierSize = idSize_;
    index.summary.dumpBytes = dumpBytes;
    index.summary.timestampMillis = timestamp_;
    index.summary.javaFeature = javaFeature(index.summary.javaVersion);

    // Class objects are instances of java.lang.Class, whose own record may be missing.
    bool anyMirror = false;
    for (const ClassRecord& record : classes_)
        anyMirror = anyMirror || record.object != kNoObject;
    if (anyMirror && classClass_ == kNoClass) {
        classClass_ = static_cast<uint32_t>(classes_.size());
        classes_.emplace_back();
    }
    for (const ClassRecord& record : classes_) {
        if (record.object != kNoObject)
            classOf_[record.object] = classClass_;
    }

    if (addresses_.tooManyBlocks())
        tooManyMegabytes();
    addresses_.finish();
    resolveClasses(index);
    index.graph.objects = static_cast<uint32_t>(objectCount_);
    {
        // The sizes read the classes and the addresses, the references neither the sizes
        // nor anything the sizes write: the second core gathers the objects' classes and
        // sizes them while this one resolves the references. The sizes are worked out in
        // the chunks the reader filled and packed from there, with no copy in between.
        // The references to classes and the roots need the classes gathered but not the
        // sizes, so they follow the references while the sizes are still being worked out.
        std::vector<std::string> sizeNotes;
        std::promise<void> gathered;
        std::future<void> classesGathered = gathered.get_future();
        SecondThread sizing([&] {
            try {
                classOf_.drainInto(index.graph.classOf);
            } catch (...) {
                gathered.set_exception(std::current_exception());
                throw;
            }
            gathered.set_value();
            computeSizes(index, aux_, sizeNotes);
            aux_.drainInto(index.graph.sizeUnits);
        });
        std::vector<uint64_t> absent;  // compact addresses named but never defined
        resolveEdges(index, absent);
        phase(ReadPhase::Sizing);
        resolveRoots(index);
        classesGathered.get();
        resolveClassEdges(index, absent);
        sizing.join();
        resolveThreads(index);
        for (std::string& text : sizeNotes)
            note(index, std::move(text));
    }
    index.addresses_ = std::move(addresses_);

    ReadSummary& summary = index.summary;
    summary.weakReferences = index.graph.weakEdges.size();
    summary.droppedReferences = droppedReferences_;
    summary.instancesUnread = instancesUnread_;
    if (droppedReferences_ > 0)
        note(index, std::to_string(droppedReferences_) + " references named " + std::to_string(summary.absentObjects) +
                        " objects the dump leaves out (with class data sharing, the class objects of archived "
                        "classes never loaded); those references are dropped");
    if (instancesUnread_ > 0)
        note(index, std::to_string(instancesUnread_) +
                        " instances came before their class's layout, so their references were not read");
    symbols_.clear();
    phase(ReadPhase::Done);
    return index;
}

void IndexBuilder::resolveClasses(HeapIndex& index)
{
    // Every dumped class's superclasses must end; a cycle is corruption.
    std::vector<uint32_t> walk(classes_.size(), UINT32_MAX);  // the walk that reached a class
    std::vector<bool> done(classes_.size(), false);
    for (uint32_t start = 0; start < classes_.size(); ++start) {
        uint32_t c = start;
        while (c != kNoClass && !done[c]) {
            if (walk[c] == start)
                throw HprofError(classes_[c].dumpOffset, "class hierarchy cycle",
                                 "class " + externalName(c) + " is its own superclass");
            walk[c] = start;
            const uint64_t superId = classes_[c].dumped ? classes_[c].superId : 0;
            const uint32_t super = superId == 0 ? IdHashMap::kMissing : classByAddress_.find(superId);
            c = super == IdHashMap::kMissing ? kNoClass : super;
        }
        for (c = start; c != kNoClass && !done[c];) {
            done[c] = true;
            const uint64_t superId = classes_[c].dumped ? classes_[c].superId : 0;
            const uint32_t super = superId == 0 ? IdHashMap::kMissing : classByAddress_.find(superId);
            c = super == IdHashMap::kMissing ? kNoClass : super;
        }
    }

    index.classes.resize(classes_.size());
    for (uint32_t c = 0; c < classes_.size(); ++c) {
        const ClassRecord& record = classes_[c];
        ClassInfo& info = index.classes[c];
        const std::string name = externalName(c);
        info.name = index.names_.add(name);
        info.address = record.dumped ? record.id : 0;
        info.object = record.object;
        if (record.dumped && record.superId != 0) {
            const uint32_t super = classByAddress_.find(record.superId);
            info.super = super == IdHashMap::kMissing ? kNoClass : super;
        }
        info.loader = record.loaderId == 0 ? kNoObject : addresses_.numberAt(record.loaderId);
        if (record.elementType) {
            info.kind = ClassKind::PrimitiveArray;
            info.elementType = record.elementType;
        } else if (record.objectArray || (!name.empty() && name[0] == '[')) {
            info.kind = ClassKind::ObjectArray;
        }
        info.constantPoolEntries = record.constantPoolEntries;
        info.fields.reserve(record.fields.size());
        for (const RawField& field : record.fields)
            info.fields.push_back({index.names_.add(symbols_.textOr(field.name, "?")), field.type});
        info.statics.reserve(record.statics.size());
        for (const RawStatic& s : record.statics)
            info.statics.push_back({index.names_.add(symbols_.textOr(s.name, "?")), s.type, s.value});
        if (record.object != kNoObject)
            index.mirrors_.emplace_back(record.object, c);
    }
    std::sort(index.mirrors_.begin(), index.mirrors_.end());
}

void IndexBuilder::resolveEdges(HeapIndex& index, std::vector<uint64_t>& absent)
{
    // One pass over the references in order, rows rewritten in place: each compact
    // address becomes an object number or is dropped, its slots carried into the next
    // kept reference's skip, and each row's start moves down by what was dropped.
    const uint64_t objects = objectCount_;
    const uint64_t total = edgeCount_;
    std::vector<uint32_t>& targets = index.graph.targets;
    targets.reserve(total);
    index.labels_.reserve(total);
    size_t escape = 0;
    uint64_t carry = 0;  // slots of references dropped since the last kept one of the row
    uint64_t nextObject = 0;
    uint64_t nextRowStart = objects > 0 ? firstEdge_[0] : UINT64_MAX;
    auto startRows = [&](uint64_t e) {
        while (nextRowStart <= e) {
            firstEdge_[nextObject] = static_cast<uint32_t>(targets.size());
            ++nextObject;
            nextRowStart = nextObject < objects ? firstEdge_[nextObject] : UINT64_MAX;
            carry = 0;
        }
    };
    constexpr size_t kChunk = ChunkedArray<uint32_t>::kChunkSize;
    for (size_t k = 0; k < targets_.chunkCount(); ++k) {
        const uint32_t* to = targets_.chunkData(k);
        const uint8_t* skips = skips_.chunkData(k);
        const uint64_t begin = k * kChunk;
        const uint64_t count = std::min<uint64_t>(kChunk, total - begin);
        constexpr uint64_t kAhead = 16;
        for (uint64_t i = 0; i < std::min(count, kAhead); ++i)
            addresses_.prefetch(targetOf(begin + i, to[i]));
        for (uint64_t i = 0; i < count; ++i) {
            if (i + kAhead < count)
                addresses_.prefetch(targetOf(begin + i + kAhead, to[i + kAhead]));
            const uint64_t e = begin + i;
            if (e >= nextRowStart)
                startRows(e);
            uint64_t skip = skips[i];
            if (skip == EdgeLabels::kEscape && escape < escapes_.size() && escapes_[escape].first == e)
                skip = escapes_[escape++].second;
            const uint64_t target = targetOf(e, to[i]);
            const uint32_t number = addresses_.numberOf(target);
            if (number == kNoObject) {
                carry += skip + 1;
                ++droppedReferences_;
                absent.push_back(target);
                continue;
            }
            index.labels_.push(static_cast<uint32_t>(targets.size()), static_cast<uint32_t>(skip + carry));
            targets.push_back(number);
            carry = 0;
        }
        targets_.release(k);
        skips_.release(k);
    }
    startRows(UINT64_MAX - 1);
    targets_.clear();
    targetHighs_.clear();
    skips_.clear();
    std::vector<std::pair<uint32_t, uint32_t>>().swap(escapes_);
    index.graph.firstEdge = firstEdge_.drain(1);
    index.graph.firstEdge.push_back(static_cast<uint32_t>(targets.size()));

    index.graph.weakEdges.reserve(weak_.size());
    for (const auto& [holder, referent] : weak_) {
        const uint32_t to = addresses_.numberOf(referent);
        if (to == kNoObject) {
            ++droppedReferences_;
            absent.push_back(referent);
        } else {
            index.graph.weakEdges.emplace_back(holder, to);
        }
    }
    decltype(weak_)().swap(weak_);
}

void IndexBuilder::resolveClassEdges(HeapIndex& index, std::vector<uint64_t>& absent)
{
    const uint64_t objects = objectCount_;
    // Every object's reference to its class is implicit: the class object of each class,
    // or none when the dump leaves it out, which drops the references to it.
    std::vector<uint64_t> perClass(classes_.size(), 0);
    for (uint64_t i = 0; i < objects; ++i)
        ++perClass[index.graph.classOf[i]];
    uint64_t implicit = 0;
    index.graph.classObject.assign(classes_.size(), kNoObject);
    for (uint32_t c = 0; c < classes_.size(); ++c) {
        const ClassRecord& record = classes_[c];
        index.graph.classObject[c] = record.object;
        if (record.object != kNoObject) {
            implicit += perClass[c];
        } else if (record.id != 0 && perClass[c] > 0) {
            droppedReferences_ += perClass[c];
            absent.push_back(record.compact);
        }
    }
    index.summary.references = index.graph.targets.size() + implicit;
    std::sort(absent.begin(), absent.end());
    index.summary.absentObjects = static_cast<uint64_t>(std::unique(absent.begin(), absent.end()) - absent.begin());
}

void IndexBuilder::resolveRoots(HeapIndex& index)
{
    std::unordered_map<uint32_t, uint32_t> threadBySerial;
    for (uint32_t t = 0; t < threads_.size(); ++t)
        threadBySerial.emplace(threads_[t].serial, t);
    uint64_t missing = 0;
    index.roots.reserve(roots_.size());
    for (const RawRoot& raw : roots_) {
        const uint32_t object = addresses_.numberAt(raw.id);
        if (object == kNoObject) {
            ++missing;
            continue;
        }
        HeapRoot root{object, raw.kind};
        if (raw.kind == RootKind::JniLocal || raw.kind == RootKind::JavaFrame || raw.kind == RootKind::NativeStack ||
            raw.kind == RootKind::ThreadBlock || raw.kind == RootKind::Thread) {
            auto found = threadBySerial.find(raw.threadSerial);
            if (found != threadBySerial.end())
                root.thread = found->second;
            root.frame = raw.frame;
        }
        index.roots.push_back(root);
        index.graph.roots.push_back(object);
    }
    std::sort(index.graph.roots.begin(), index.graph.roots.end());
    index.graph.roots.erase(std::unique(index.graph.roots.begin(), index.graph.roots.end()), index.graph.roots.end());
    if (missing > 0)
        note(index, std::to_string(missing) + " GC roots named identifiers that are no object in the dump");
    std::vector<RawRoot>().swap(roots_);
}

void IndexBuilder::readAwaitedStringsAgain()
{
    if (options_.rereadPath.empty() || stringClass_ == kNoClass)
        return;
    // Only the names the index keeps: the running threads' and the release's, not those
    // of every Thread object in the heap.
    std::unordered_set<uint64_t> keys;
    for (const RawThread& thread : threads_)
        keys.insert(thread.id);
    if (versionClass_ != kNoClass)
        keys.insert(classes_[versionClass_].id);
    auto needed = [&keys](uint64_t key) { return keys.count(key) > 0; };
    try {
        const std::vector<uint64_t> strings = strings_.awaitedStrings(needed);
        const int32_t p = classes_[stringClass_].plan;
        if (!strings.empty() && p >= 0 && plans_[static_cast<size_t>(p)].stringValue >= 0) {
            const InstancePlan& plan = plans_[static_cast<size_t>(p)];
            for (const ObjectValues& v : readObjectValuesFile(options_.rereadPath, strings, 0)) {
                if (!v.found || v.kind != ObjectValues::Instance || v.bytes.size() != plan.fieldBytes)
                    continue;
                const uint8_t coder = plan.stringCoder >= 0 ? v.bytes[static_cast<size_t>(plan.stringCoder)] : 0;
                strings_.onString(v.address, loadId(v.bytes.data() + plan.stringValue, idSize_), coder);
            }
        }
        const std::vector<uint64_t> values = strings_.awaitedValues(needed);
        if (!values.empty()) {
            for (const ObjectValues& v : readObjectValuesFile(options_.rereadPath, values, StringCapture::kMaxText)) {
                if (v.found && v.kind == ObjectValues::PrimitiveArray && v.elementType == hprof::kByte)
                    strings_.onByteArray(v.address, v.bytes.data(), static_cast<uint32_t>(v.bytes.size()));
            }
        }
    } catch (const std::exception&) {
        // The dump was read once already: a file that cannot be read again costs the
        // names only.
    }
}

void IndexBuilder::resolveThreads(HeapIndex& index)
{
    uint32_t named = 0;
    for (const RawThread& raw : threads_) {
        ThreadInfo thread;
        thread.serial = raw.serial;
        thread.object = raw.id == 0 ? kNoObject : addresses_.numberAt(raw.id);
        std::string name;
        if (raw.id != 0 && strings_.text(raw.id, name)) {
            thread.name = index.names_.add(name);
            ++named;
        } else if (auto start = startThreadNames_.find(raw.serial); start != startThreadNames_.end()) {
            thread.name = index.names_.add(symbols_.textOr(start->second, {}));
            named += thread.name != 0;
        }
        auto trace = traces_.find(raw.traceSerial);
        if (trace != traces_.end()) {
            for (uint64_t frameId : trace->second.second) {
                StackFrame frame;
                const uint32_t f = frameById_.find(frameId);
                if (f != IdHashMap::kMissing) {
                    const RawFrame& rawFrame = frames_[f];
                    std::string method;
                    auto cls = classBySerial_.find(rawFrame.classSerial);
                    if (cls != classBySerial_.end()) {
                        const uint32_t c = classByAddress_.find(cls->second);
                        if (c != IdHashMap::kMissing)
                            method = externalName(c) + ".";
                    }
                    method += symbols_.textOr(rawFrame.method, "?");
                    frame.method = index.names_.add(method);
                    frame.signature = index.names_.add(symbols_.textOr(rawFrame.signature, {}));
                    frame.sourceFile = index.names_.add(symbols_.textOr(rawFrame.source, {}));
                    frame.line = rawFrame.line;
                }
                thread.frames.push_back(frame);
            }
        }
        index.threads.push_back(std::move(thread));
    }
    index.summary.threads = static_cast<uint32_t>(threads_.size());
    index.summary.threadsNamed = named;
    if (named < threads_.size())
        note(index, "thread names: " + std::to_string(named) + " of " + std::to_string(threads_.size()) +
                        " could be read from the dump; the others go by their serial number");
}
