// What the framed requests know about classes. Every class they meet gets a permanent
// id, kept as its tag in an environment of the catalog's own (the classic snapshot
// retags classes at every "p"; these ids stay), with its names, what kind of values
// its instances are, and its fields numbered the way the VM's heap walks number them.
#pragma once

#include <jni.h>
#include <jvmti.h>

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "class_names.h"
#include "outcome.h"

struct FieldEntry {
    std::string name;
    std::string signature;  // the field's type descriptor: "I", "Ljava/lang/String;"
    std::string declaring;  // the declaring class, Class.getName form
    jfieldID id = nullptr;
    bool is_static = false;
};

// What a class's instances are, for previews.
enum class ValueKind : uint8_t { Plain, String, Boxed, Enum, ClassObject, ObjectArray, PrimitiveArray };

struct ClassInfo {
    jweak ref = nullptr;     // the class, until it is unloaded
    std::string signature;   // "Ljava/lang/String;", "[I"
    std::string name;        // "java.lang.String", "[I"
    bool is_interface = false;
    bool is_reference = false;  // java.lang.ref.Reference or a subclass
    ValueKind kind = ValueKind::Plain;
    char box = 0;               // Boxed: the primitive's type letter
    jfieldID value_field = nullptr;  // Boxed: "value"; Enum: java.lang.Enum's "name"

    bool fields_ready = false;
    // Every field from java.lang.Object down to this class, each class's own fields in
    // declaration order; for an interface, its own fields only.
    std::vector<FieldEntry> fields;
    // The heap walks' index of fields[0]: the number of fields of every interface the
    // class implements (an interface: of its superinterfaces).
    int32_t first_index = 0;
    // This class's own fields begin here in fields.
    size_t own_begin = 0;
};

class ClassCatalog {
public:
    ClassCatalog() = default;
    ClassCatalog(const ClassCatalog&) = delete;
    ClassCatalog& operator=(const ClassCatalog&) = delete;

    // Makes the catalog's environment; the failure says why the VM gives none.
    Status open(JavaVM* vm);
    bool is_open() const { return env_ != nullptr; }
    // What every use of a catalog that could not be opened fails with, and why.
    Failure unavailable() const;

    // The id of cls, given on first sight.
    Expected<uint32_t> id_of(JNIEnv* jni, jclass cls);
    ClassInfo& info(uint32_t id) { return *infos_[id]; }
    size_t size() const { return infos_.size(); }

    // The class's fields and their numbering, read on first use.
    Status load_fields(JNIEnv* jni, uint32_t id);
    // The field that the heap walks report with this index for an object (or, for
    // statics, the class object) of class id; nullptr when out of range.
    const FieldEntry* field_at(JNIEnv* jni, uint32_t id, int32_t index);

private:
    Status describe(JNIEnv* jni, jclass cls, ClassInfo& info);
    Expected<int32_t> interface_field_count(JNIEnv* jni, jclass cls, bool superinterfaces_only);

    jvmtiEnv* env_ = nullptr;  // tags are catalog ids + 1
    std::string why_closed_ = "the catalog has not been opened";
    std::vector<std::unique_ptr<ClassInfo>> infos_;
    // Global references, made on first use: every new class is checked against them.
    jclass reference_class_ = nullptr;
    jclass enum_class_ = nullptr;
    jfieldID enum_name_ = nullptr;
};
