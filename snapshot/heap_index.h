// What a heap dump holds, indexed: the graph of objects and references (heap_graph.h)
// that the dominator and path algorithms read, and beside it what a person asks about an
// object: its class and fields, the name of each reference (field, static or array
// index), the GC roots with their kinds, threads and frames, and what the reading found
// worth a note. Objects are numbered densely in the order the dump gives them.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "address_map.h"
#include "edge_labels.h"
#include "heap_graph.h"
#include "string_pool.h"
#include "vm_layout.h"

constexpr uint32_t kNoClass = UINT32_MAX;
constexpr uint32_t kNoThread = UINT32_MAX;

enum class ClassKind : uint8_t { Instance, ObjectArray, PrimitiveArray };
enum class ObjectKind : uint8_t { Instance, Class, ObjectArray, PrimitiveArray };

struct FieldDecl {
    uint32_t name;  // StringPool handle
    uint8_t type;   // hprof::Type
};

struct StaticField {
    uint32_t name;   // StringPool handle; the dump adds "<resolved_references>" and "<init_lock>"
    uint8_t type;    // hprof::Type
    uint64_t value;  // the raw value; an identifier for a reference (0: null)
};

struct ClassInfo {
    uint32_t name = 0;            // as Class.getName(): java.lang.String, [I, [Ljava.lang.Object;
    uint64_t address = 0;         // the class object's identifier; 0 if the dump only names the class
    uint32_t object = kNoObject;  // the class object's number
    uint32_t super = kNoClass;
    uint32_t loader = kNoObject;  // its class loader's object; kNoObject for the boot loader
    ClassKind kind = ClassKind::Instance;
    uint8_t elementType = 0;      // primitive arrays: hprof::Type of the elements
    uint32_t instanceBytes = 0;   // instances: bytes of one, as the VM lays it out
    std::vector<FieldDecl> fields;     // instance fields declared by this class, in the dump's order
    std::vector<StaticField> statics;  // static fields, in the dump's order
    uint32_t constantPoolEntries = 0;
};

enum class RootKind : uint8_t { JniGlobal, JniLocal, JavaFrame, NativeStack, SystemClass, ThreadBlock, Monitor, Thread, Unknown };
const char* rootKindName(RootKind kind);  // "JNI global", "Java frame"...

struct HeapRoot {
    uint32_t object;
    RootKind kind;
    uint32_t thread = kNoThread;  // JNI local, Java frame, native stack, thread block, thread: index in threads
    int32_t frame = -1;           // JNI local, Java frame: depth in the thread's stack, 0 at the top
};

struct StackFrame {
    uint32_t method = 0;      // "java.lang.Thread.sleep" (class and method name)
    uint32_t signature = 0;   // "(J)V"
    uint32_t sourceFile = 0;  // "Thread.java"
    int32_t line = 0;         // > 0 a line; -1 unknown, -2 compiled, -3 native
};

struct ThreadInfo {
    uint32_t serial = 0;
    uint32_t object = kNoObject;
    uint32_t name = 0;         // StringPool handle; 0 if the dump did not let it be read
    std::vector<StackFrame> frames;  // top first
};

// Numbers and notes from reading one dump.
struct ReadSummary {
    unsigned identifierSize = 8;
    uint64_t dumpBytes = 0;        // bytes of the HPROF stream (inflated, for gzip)
    uint64_t timestampMillis = 0;  // when the dump was written
    int javaFeature = 0;           // 17, 25...; 0 if the dump did not say
    std::string javaVersion;       // java.version as the dumped VM had it, if found
    VmLayout layout;
    bool layoutInferred = true;    // false when the caller gave it
    uint64_t instances = 0, classObjects = 0, objectArrays = 0, primitiveArrays = 0;
    uint64_t references = 0;         // strong references, each object's to its class included
    uint64_t weakReferences = 0;     // Reference.referent edges
    uint64_t droppedReferences = 0;  // references to identifiers that are no object in the dump
    uint64_t absentObjects = 0;      // distinct identifiers those references name
    uint64_t instancesUnread = 0;    // instances whose class layout was unknown when they came
    uint64_t sizesCut = 0;           // objects whose layout size overlapped the next object
    uint32_t threads = 0, threadsNamed = 0;
    std::vector<std::string> notes;  // one line each, for a reply's notes
};

class HeapIndex {
public:
    HeapGraph graph;
    std::vector<ClassInfo> classes;
    std::vector<HeapRoot> roots;
    std::vector<ThreadInfo> threads;
    ReadSummary summary;

    std::string_view name(uint32_t handle) const { return names_.get(handle); }
    std::string_view className(uint32_t cls) const;
    uint32_t classIndexOf(uint32_t object) const { return graph.classOf[object]; }
    ObjectKind kind(uint32_t object) const;
    // For a class object, the class it stands for; kNoClass otherwise.
    uint32_t classRepresented(uint32_t object) const;
    uint32_t classNamed(std::string_view name) const;  // kNoClass if none
    // A thread's name, or when the dump did not let it be read, its class and serial
    // number: "jdk.internal.misc.InnocuousThread #6".
    std::string threadLabel(uint32_t thread) const;

    // The object's identifier in the dump (its address in the VM), and back.
    uint64_t addressOf(uint32_t object) const { return addresses_.addressOf(object); }
    uint32_t objectAt(uint64_t address) const { return addresses_.numberAt(address); }

    // The lengths an array's size allows, lowest and highest: the VM rounds sizes up to
    // its object alignment, so arrays of small elements leave a few lengths possible
    // (exact lengths are not kept: four bytes for every array). An object array's
    // references narrow it further.
    std::pair<uint64_t, uint64_t> arrayLengthRange(uint32_t object) const;

    // An instance's fields in the dump's order (its class's own first, then its
    // superclass's...), each with the class that declares it.
    struct FieldRef {
        uint32_t declaringClass;
        FieldDecl field;
    };
    std::vector<FieldRef> instanceFields(uint32_t cls) const;

    // Every strong reference of `object`: its class first (kClassEdge, implicit in the
    // rows) when the dump has the class object, then its row.
    struct Reference {
        uint32_t edge;  // an index into graph.targets, or kClassEdge
        uint32_t target;
    };
    std::vector<Reference> references(uint32_t object) const;

    // What the reference graph.targets[edge] of `object` goes through; kClassEdge names
    // its reference to its class.
    struct EdgeLabel {
        enum Kind : uint8_t { Class, Super, Loader, Signers, ProtectionDomain, Static, ConstantPool, Field, Element };
        Kind kind;
        uint32_t index;           // Field: position in instanceFields; Static, ConstantPool, Element: index
        uint32_t declaringClass;  // Field, Static: the class that declares it
        uint32_t name;            // Field, Static: the field's name handle
    };
    EdgeLabel edgeLabel(uint32_t object, uint32_t edge) const;
    // The labels of every reference references(object) lists, in its order, in one pass
    // over the row (edgeLabel on each would go over it once per reference).
    std::vector<EdgeLabel> labelsOf(uint32_t object) const;
    // "<class>", "name", "Declaring.name" (a field a subclass hides), "[12]", "static NAME", "<super>"...
    std::string edgeName(uint32_t object, uint32_t edge) const;
    // The strong references from `from` to `to`, as indexes into graph.targets, or
    // kClassEdge for its reference to its class.
    std::vector<uint32_t> edgesBetween(uint32_t from, uint32_t to) const;

    // Per class: objects and shallow bytes, as jcmd GC.class_histogram counts them.
    struct HistogramRow {
        uint32_t cls;
        uint64_t objects;
        uint64_t bytes;
    };
    std::vector<HistogramRow> histogram() const;

    // Where the index's memory goes, for benchmarks.
    struct MemoryUse {
        size_t graph, labels, addresses, classes;
    };
    MemoryUse memoryUse() const;

private:
    friend class IndexBuilder;
    EdgeLabel labelOfSlot(uint32_t object, ObjectKind kind, uint32_t slot, const std::vector<FieldRef>* fields) const;
    StringPool names_;
    AddressMap addresses_;
    EdgeLabels labels_;
    std::vector<std::pair<uint32_t, uint32_t>> mirrors_;  // (class object, class), by object
};
