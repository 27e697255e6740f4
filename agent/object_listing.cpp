// How `object` and `objects` list one object: its object record, a String's text, its
// class, then its fields, an array's elements or what a class object holds.
#include "object_listing.h"

#include <algorithm>
#include <climits>
#include <cstring>
#include <type_traits>
#include <unordered_map>
#include <vector>

#include "agent_state.h"
#include "heap_reference_names.h"
#include "jvmti_check.h"
#include "object_binding.h"
#include "request_table.h"
#include "scratch_tags.h"
#include "tagged_objects.h"

namespace {

constexpr size_t MAX_TEXT_CHARS = size_t{1} << 20;


// One slot whose value is a primitive (or "null").
void primitive_slot(RecordWriter& w, const char* how, const std::string& name, const std::string& declared,
                    const std::string& decltype_name, const std::string& value)
{
    w.record("slot").field(how).field(name).field(declared).field(decltype_name).field(value);
    write_object_fields(w, nullptr);
}

// One slot that refers to an object described already.
void object_slot(RecordWriter& w, const char* how, const std::string& name, const std::string& declared,
                 const std::string& decltype_name, const ObjectSummary& target)
{
    w.record("slot").field(how).field(name).field(declared).field(decltype_name).field("");
    write_object_fields(w, &target);
}

// One slot that refers to obj (null: VALUE is "null").
Status reference_slot(Agent& agent, JNIEnv* jni, RecordWriter& w, const char* how, const std::string& name,
                      const std::string& declared, const std::string& decltype_name, jobject obj)
{
    if (!obj) {
        primitive_slot(w, how, name, declared, decltype_name, "null");
        return {};
    }
    Expected<ObjectSummary> s = summarize(agent, jni, obj);
    if (!s) return s.failure();
    object_slot(w, how, name, declared, decltype_name, *s);
    return {};
}

Status instance_slots(Agent& agent, JNIEnv* jni, RecordWriter& w, jobject obj, uint32_t class_id)
{
    if (Status s = agent.classes.load_fields(jni, class_id); !s) return s;
    const ClassInfo& info = agent.classes.info(class_id);
    for (const FieldEntry& f : info.fields) {
        if (f.is_static) continue;
        const std::string type = java_type_name(f.signature);
        if (f.signature.size() == 1) {
            primitive_slot(w, "field", f.name, f.declaring, type,
                           format_primitive(f.signature[0], field_value(jni, obj, f.id, f.signature[0])));
            continue;
        }
        jobject value = jni->GetObjectField(obj, f.id);
        Status s = reference_slot(agent, jni, w, "field", f.name, f.declaring, type, value);
        if (value) jni->DeleteLocalRef(value);
        if (!s) return s;
    }
    return {};
}

Status array_slots(Agent& agent, JNIEnv* jni, RecordWriter& w, jobject obj, const ClassInfo& info, const ElementPage& page,
                   jsize length)
{
    const std::string component = java_type_name(info.signature.substr(1));
    const jsize from = static_cast<jsize>(std::min<int64_t>(page.offset, length));
    const jsize to = static_cast<jsize>(std::min<int64_t>(length, page.offset + page.limit));
    if (info.kind == ValueKind::ObjectArray) {
        auto array = static_cast<jobjectArray>(obj);
        for (jsize i = from; i < to; i++) {
            jobject e = jni->GetObjectArrayElement(array, i);
            Status s = reference_slot(agent, jni, w, "element", std::to_string(i), "", component, e);
            if (e) jni->DeleteLocalRef(e);
            if (!s) return s;
        }
        return {};
    }
    const char letter = info.signature[1];
    auto put = [&](auto* buffer_type, auto get) {
        using T = std::remove_pointer_t<decltype(buffer_type)>;
        std::vector<T> chunk(4096);
        for (jsize at = from; at < to;) {
            jsize n = std::min<jsize>(static_cast<jsize>(chunk.size()), to - at);
            get(at, n, chunk.data());
            for (jsize i = 0; i < n; i++) {
                jvalue v{};
                memcpy(&v, &chunk[static_cast<size_t>(i)], sizeof(T));
                primitive_slot(w, "element", std::to_string(at + i), "", component, format_primitive(letter, v));
            }
            at += n;
        }
    };
    switch (letter) {
    case 'Z': put(static_cast<jboolean*>(nullptr), [&](jsize a, jsize n, jboolean* b) { jni->GetBooleanArrayRegion(static_cast<jbooleanArray>(obj), a, n, b); }); break;
    case 'B': put(static_cast<jbyte*>(nullptr), [&](jsize a, jsize n, jbyte* b) { jni->GetByteArrayRegion(static_cast<jbyteArray>(obj), a, n, b); }); break;
    case 'C': put(static_cast<jchar*>(nullptr), [&](jsize a, jsize n, jchar* b) { jni->GetCharArrayRegion(static_cast<jcharArray>(obj), a, n, b); }); break;
    case 'S': put(static_cast<jshort*>(nullptr), [&](jsize a, jsize n, jshort* b) { jni->GetShortArrayRegion(static_cast<jshortArray>(obj), a, n, b); }); break;
    case 'I': put(static_cast<jint*>(nullptr), [&](jsize a, jsize n, jint* b) { jni->GetIntArrayRegion(static_cast<jintArray>(obj), a, n, b); }); break;
    case 'J': put(static_cast<jlong*>(nullptr), [&](jsize a, jsize n, jlong* b) { jni->GetLongArrayRegion(static_cast<jlongArray>(obj), a, n, b); }); break;
    case 'F': put(static_cast<jfloat*>(nullptr), [&](jsize a, jsize n, jfloat* b) { jni->GetFloatArrayRegion(static_cast<jfloatArray>(obj), a, n, b); }); break;
    case 'D': put(static_cast<jdouble*>(nullptr), [&](jsize a, jsize n, jdouble* b) { jni->GetDoubleArrayRegion(static_cast<jdoubleArray>(obj), a, n, b); }); break;
    default: break;
    }
    return {};
}

// What one class object holds, as the VM's heap walk reports it from that object alone.
struct ClassReference {
    jvmtiHeapReferenceKind kind;
    jint index;
    jlong referee_tag;
};

struct ClassWalk {
    std::vector<ClassReference> refs;
    jlong next = 0;
};

jint JNICALL class_reference(jvmtiHeapReferenceKind kind, const jvmtiHeapReferenceInfo* info, jlong, jlong, jlong,
                             jlong* tag_ptr, jlong* referrer_tag_ptr, jint, void* user_data)
{
    auto* walk = static_cast<ClassWalk*>(user_data);
    if (!referrer_tag_ptr || *referrer_tag_ptr != scratch_tag::TARGET) return 0;
    if (*tag_ptr == 0) *tag_ptr = scratch_tag::RESULT | walk->next++;
    jint index = -1;
    if (kind == JVMTI_HEAP_REFERENCE_STATIC_FIELD) index = info->field.index;
    if (kind == JVMTI_HEAP_REFERENCE_CONSTANT_POOL) index = info->constant_pool.index;
    walk->refs.push_back({kind, index, *tag_ptr});
    return 0;  // the start object's own references only
}

Status class_slots(RequestContext& ctx, RecordWriter& w, jobject obj)
{
    Agent& agent = ctx.agent;
    JNIEnv* jni = ctx.jni;
    auto cls = static_cast<jclass>(obj);
    Expected<uint32_t> class_id = agent.classes.id_of(jni, cls);
    if (!class_id) return class_id.failure();
    const uint32_t id = *class_id;
    const ClassInfo& info = agent.classes.info(id);
    if (info.signature.size() == 1) return {};  // int.class and the like hold nothing
    if (Status s = agent.classes.load_fields(jni, id); !s) return s;

    jclass super = jni->GetSuperclass(cls);
    if (super) {
        Status s = reference_slot(agent, jni, w, "super", "", "", "java.lang.Class", super);
        jni->DeleteLocalRef(super);
        if (!s) return s;
    }

    Expected<jvmtiEnv*> scratch = ctx.scratch();
    if (!scratch) return scratch.failure();
    jvmtiEnv* env = *scratch;
    if (Status s = jvmti_check(env, env->SetTag(obj, scratch_tag::TARGET), "SetTag"); !s) return s;
    ClassWalk walk;
    jvmtiHeapCallbacks callbacks{};
    callbacks.heap_reference_callback = class_reference;
    if (Status s = jvmti_check(env, env->FollowReferences(0, nullptr, obj, &callbacks, &walk), "FollowReferences"); !s)
        return s;

    // Every object the class refers to, described once, by its tag.
    std::unordered_map<jlong, ObjectSummary> held;
    auto describe = [&](jobject o, jlong tag) -> Status {
        Expected<ObjectSummary> s = summarize(agent, jni, o);
        if (!s) return s.failure();
        held.emplace(tag, std::move(*s));
        // Untagged again: another class listed in the same request numbers its own.
        return jvmti_check(env, env->SetTag(o, 0), "SetTag");
    };
    std::vector<jlong> tags;
    for (const auto& r : walk.refs)
        if (r.referee_tag != scratch_tag::TARGET) tags.push_back(r.referee_tag);
    std::sort(tags.begin(), tags.end());
    tags.erase(std::unique(tags.begin(), tags.end()), tags.end());
    if (Status s = visit_objects_with_tags(env, jni, tags, describe); !s) return s;
    if (std::any_of(walk.refs.begin(), walk.refs.end(), [](const auto& r) { return r.referee_tag == scratch_tag::TARGET; }))
        if (Status s = describe(obj, scratch_tag::TARGET); !s) return s;

    std::vector<bool> listed_static(info.fields.size(), false);
    for (const auto& r : walk.refs) {
        if (r.kind == JVMTI_HEAP_REFERENCE_SUPERCLASS) continue;  // listed above, java.lang.Object too
        auto target = held.find(r.referee_tag);
        if (target == held.end()) continue;  // gone between the walk and now
        std::string name, declared, type;
        if (r.kind == JVMTI_HEAP_REFERENCE_STATIC_FIELD) {
            if (const FieldEntry* f = agent.classes.field_at(jni, id, r.index)) {
                name = f->name;
                declared = f->declaring;
                type = java_type_name(f->signature);
                listed_static[static_cast<size_t>(f - info.fields.data())] = true;
            } else {
                name = std::to_string(r.index);
            }
        } else if (r.kind == JVMTI_HEAP_REFERENCE_CONSTANT_POOL) {
            name = std::to_string(r.index);
        }
        object_slot(w, holding_name(r.kind), name, declared, type, target->second);
    }

    // Statics the walk does not report: primitive values, and references that are null.
    for (size_t i = info.own_begin; i < info.fields.size(); i++) {
        const FieldEntry& f = info.fields[i];
        if (!f.is_static || listed_static[i]) continue;
        const std::string type = java_type_name(f.signature);
        if (f.signature.size() == 1) {
            primitive_slot(w, "static", f.name, f.declaring, type,
                           format_primitive(f.signature[0], static_value(jni, cls, f.id, f.signature[0])));
        } else {
            jobject value = jni->GetStaticObjectField(cls, f.id);
            if (!value) primitive_slot(w, "static", f.name, f.declaring, type, "null");
            else jni->DeleteLocalRef(value);  // set since the walk: shown at the next request
        }
    }
    return {};
}

}  // namespace

Expected<bool> list_object(RequestContext& ctx, RecordWriter& rows, jobject obj, const ObjectSummary& self,
                           const ElementPage& page)
{
    Agent& agent = ctx.agent;
    JNIEnv* jni = ctx.jni;
    const ClassInfo& info = agent.classes.info(self.class_id);

    const bool is_array = info.kind == ValueKind::ObjectArray || info.kind == ValueKind::PrimitiveArray;
    jsize length = is_array ? jni->GetArrayLength(static_cast<jarray>(obj)) : 0;
    rows.record("object").field(handle_text(self.handle)).field(self.type).field(self.size);
    if (is_array) rows.field(static_cast<int64_t>(length));
    else rows.field("");
    rows.field(self.preview);

    if (info.kind == ValueKind::String) {
        auto s = static_cast<jstring>(obj);
        jsize n = jni->GetStringLength(s);
        rows.record("text").field(string_text(jni, s, MAX_TEXT_CHARS));
        if (static_cast<size_t>(n) > MAX_TEXT_CHARS)
            rows.record("note").field("the text is cut at " + std::to_string(MAX_TEXT_CHARS) + " of " +
                                      std::to_string(n) + " characters");
    }

    jclass cls = jni->GetObjectClass(obj);
    if (Status s = reference_slot(agent, jni, rows, "class", "", "", "java.lang.Class", cls); !s) return s.failure();

    Status filled;
    if (is_array) filled = array_slots(agent, jni, rows, obj, info, page, length);
    else if (info.kind == ValueKind::ClassObject) filled = class_slots(ctx, rows, obj);
    else filled = instance_slots(agent, jni, rows, obj, self.class_id);
    if (!filled) return filled.failure();
    if (jni->ExceptionCheck()) {
        jni->ExceptionClear();
        return Failure{err::JVM, "reading the object raised a Java exception"};
    }
    return is_array;
}
