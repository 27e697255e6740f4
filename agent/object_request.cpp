// object H: one object, complete: its fields with their values, an array's elements
// (paged), a String's whole text, or what a class object holds.
#include <algorithm>
#include <climits>
#include <cstring>
#include <type_traits>
#include <vector>

#include "agent_state.h"
#include "heap_reference_names.h"
#include "jvmti_check.h"
#include "local_frame.h"
#include "object_binding.h"
#include "object_values.h"
#include "records.h"
#include "request_table.h"
#include "scratch_env.h"

namespace {

constexpr const char* VERB = "object";
constexpr int64_t DEFAULT_LIMIT = 1000;
constexpr int64_t MAX_LIMIT = 100000;
constexpr size_t MAX_TEXT_CHARS = size_t{1} << 20;

struct Page {
    int64_t offset = 0;
    int64_t limit = DEFAULT_LIMIT;
};

// One slot whose value is a primitive.
void primitive_slot(RecordWriter& w, const char* how, const std::string& name, const std::string& declared,
                    const std::string& decltype_name, const std::string& value)
{
    w.record("slot").field(how).field(name).field(declared).field(decltype_name).field(value);
    write_object_fields(w, nullptr);
}

// One slot that refers to obj (null: VALUE is "null").
bool reference_slot(Agent& agent, JNIEnv* jni, RecordWriter& w, const char* how, const std::string& name,
                    const std::string& declared, const std::string& decltype_name, jobject obj, std::string* why)
{
    if (!obj) {
        w.record("slot").field(how).field(name).field(declared).field(decltype_name).field("null");
        write_object_fields(w, nullptr);
        return true;
    }
    ObjectSummary s;
    if (!summarize(agent, jni, obj, s, why)) return false;
    w.record("slot").field(how).field(name).field(declared).field(decltype_name).field("");
    write_object_fields(w, &s);
    return true;
}

jvalue read_field(JNIEnv* jni, jobject obj, const FieldEntry& f)
{
    jvalue v{};
    switch (f.signature[0]) {
    case 'Z': v.z = jni->GetBooleanField(obj, f.id); break;
    case 'B': v.b = jni->GetByteField(obj, f.id); break;
    case 'C': v.c = jni->GetCharField(obj, f.id); break;
    case 'S': v.s = jni->GetShortField(obj, f.id); break;
    case 'I': v.i = jni->GetIntField(obj, f.id); break;
    case 'J': v.j = jni->GetLongField(obj, f.id); break;
    case 'F': v.f = jni->GetFloatField(obj, f.id); break;
    case 'D': v.d = jni->GetDoubleField(obj, f.id); break;
    default: break;
    }
    return v;
}

jvalue read_static(JNIEnv* jni, jclass cls, const FieldEntry& f)
{
    jvalue v{};
    switch (f.signature[0]) {
    case 'Z': v.z = jni->GetStaticBooleanField(cls, f.id); break;
    case 'B': v.b = jni->GetStaticByteField(cls, f.id); break;
    case 'C': v.c = jni->GetStaticCharField(cls, f.id); break;
    case 'S': v.s = jni->GetStaticShortField(cls, f.id); break;
    case 'I': v.i = jni->GetStaticIntField(cls, f.id); break;
    case 'J': v.j = jni->GetStaticLongField(cls, f.id); break;
    case 'F': v.f = jni->GetStaticFloatField(cls, f.id); break;
    case 'D': v.d = jni->GetStaticDoubleField(cls, f.id); break;
    default: break;
    }
    return v;
}

bool instance_slots(Agent& agent, JNIEnv* jni, RecordWriter& w, jobject obj, uint32_t class_id, std::string* why)
{
    if (!agent.classes.load_fields(jni, class_id, why)) return false;
    const ClassInfo& info = agent.classes.info(class_id);
    for (const FieldEntry& f : info.fields) {
        if (f.is_static) continue;
        const std::string type = java_type_name(f.signature);
        if (f.signature.size() == 1) {
            primitive_slot(w, "field", f.name, f.declaring, type, format_primitive(f.signature[0], read_field(jni, obj, f)));
            continue;
        }
        jobject value = jni->GetObjectField(obj, f.id);
        bool ok = reference_slot(agent, jni, w, "field", f.name, f.declaring, type, value, why);
        if (value) jni->DeleteLocalRef(value);
        if (!ok) return false;
    }
    return true;
}

bool array_slots(Agent& agent, JNIEnv* jni, RecordWriter& w, jobject obj, const ClassInfo& info, const Page& page,
                 jsize length, std::string* why)
{
    const std::string component = java_type_name(info.signature.substr(1));
    const jsize from = static_cast<jsize>(std::min<int64_t>(page.offset, length));
    const jsize to = static_cast<jsize>(std::min<int64_t>(length, page.offset + page.limit));
    if (info.kind == ValueKind::ObjectArray) {
        auto array = static_cast<jobjectArray>(obj);
        for (jsize i = from; i < to; i++) {
            jobject e = jni->GetObjectArrayElement(array, i);
            bool ok = reference_slot(agent, jni, w, "element", std::to_string(i), "", component, e, why);
            if (e) jni->DeleteLocalRef(e);
            if (!ok) return false;
        }
        return true;
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
    return true;
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

bool class_slots(Agent& agent, JNIEnv* jni, RecordWriter& w, jobject obj, std::string* why)
{
    auto cls = static_cast<jclass>(obj);
    const uint32_t id = agent.classes.id_of(jni, cls, why);
    if (id == UINT32_MAX) return false;
    const ClassInfo& info = agent.classes.info(id);
    if (info.signature.size() == 1) return true;  // int.class and the like hold nothing
    if (!agent.classes.load_fields(jni, id, why)) return false;

    jclass super = jni->GetSuperclass(cls);
    if (super) {
        bool ok = reference_slot(agent, jni, w, "super", "", "", "java.lang.Class", super, why);
        jni->DeleteLocalRef(super);
        if (!ok) return false;
    }

    ScratchEnv scratch(agent.vm);
    if (!scratch.ok()) {
        *why = scratch.error();
        return false;
    }
    if (!jvmti_ok(scratch.get(), scratch.get()->SetTag(obj, scratch_tag::TARGET), "SetTag", why)) return false;
    ClassWalk walk;
    jvmtiHeapCallbacks callbacks{};
    callbacks.heap_reference_callback = class_reference;
    if (!jvmti_ok(scratch.get(), scratch.get()->FollowReferences(0, nullptr, obj, &callbacks, &walk),
                  "FollowReferences", why))
        return false;
    std::vector<jlong> tags;
    for (const auto& r : walk.refs)
        if (r.referee_tag != scratch_tag::TARGET) tags.push_back(r.referee_tag);
    std::sort(tags.begin(), tags.end());
    tags.erase(std::unique(tags.begin(), tags.end()), tags.end());
    std::vector<jobject> objects;
    std::vector<jlong> found;
    if (!objects_with_tags(scratch.get(), tags, objects, found, why)) return false;
    auto object_with = [&](jlong tag) -> jobject {
        if (tag == scratch_tag::TARGET) return obj;
        for (size_t i = 0; i < found.size(); i++)
            if (found[i] == tag) return objects[i];
        return nullptr;
    };
    std::vector<bool> listed_static(info.fields.size(), false);
    for (const auto& r : walk.refs) {
        if (r.kind == JVMTI_HEAP_REFERENCE_SUPERCLASS) continue;  // listed above, java.lang.Object too
        jobject target = object_with(r.referee_tag);
        if (!target) continue;  // gone between the walk and now
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
        if (!reference_slot(agent, jni, w, holding_name(r.kind), name, declared, type, target, why)) return false;
    }
    for (jobject o : objects) jni->DeleteLocalRef(o);

    // Statics the walk does not report: primitive values, and references that are null.
    for (size_t i = info.own_begin; i < info.fields.size(); i++) {
        const FieldEntry& f = info.fields[i];
        if (!f.is_static || listed_static[i]) continue;
        const std::string type = java_type_name(f.signature);
        if (f.signature.size() == 1) {
            primitive_slot(w, "static", f.name, f.declaring, type, format_primitive(f.signature[0], read_static(jni, cls, f)));
        } else {
            jobject value = jni->GetStaticObjectField(cls, f.id);
            if (!value) primitive_slot(w, "static", f.name, f.declaring, type, "null");
            else jni->DeleteLocalRef(value);  // set since the walk: shown at the next request
        }
    }
    return true;
}

}  // namespace

std::string object_request(RequestContext& ctx)
{
    Agent& agent = ctx.agent;
    JNIEnv* jni = ctx.jni;
    RequestArgs args(ctx.request, 1, {"offset", "limit"});
    Page page;
    page.offset = args.number("offset", 0, 0, INT32_MAX);
    page.limit = args.number("limit", DEFAULT_LIMIT, 0, MAX_LIMIT);
    if (!args.ok()) return error_body(VERB, err::USAGE, args.error());
    LocalFrame frame(jni, 64);
    std::string refused;
    jobject obj = requested_object(agent, jni, VERB, args.positional(), refused);
    if (!obj) return refused;
    std::string why;
    ObjectSummary self;
    if (!summarize(agent, jni, obj, self, &why)) return error_body(VERB, err::JVM, why);
    const ClassInfo& info = agent.classes.info(self.class_id);

    RecordWriter status, rows;
    status.record("ok").field(VERB);
    const bool is_array = info.kind == ValueKind::ObjectArray || info.kind == ValueKind::PrimitiveArray;
    jsize length = is_array ? jni->GetArrayLength(static_cast<jarray>(obj)) : 0;
    if (is_array) status.pair("offset", page.offset).pair("limit", page.limit);
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
    if (!reference_slot(agent, jni, rows, "class", "", "", "java.lang.Class", cls, &why))
        return error_body(VERB, err::JVM, why);

    bool ok = true;
    if (is_array) ok = array_slots(agent, jni, rows, obj, info, page, length, &why);
    else if (info.kind == ValueKind::ClassObject) ok = class_slots(agent, jni, rows, obj, &why);
    else ok = instance_slots(agent, jni, rows, obj, self.class_id, &why);
    if (!ok) return error_body(VERB, err::JVM, why);
    if (jni->ExceptionCheck()) {
        jni->ExceptionClear();
        return error_body(VERB, err::JVM, "reading the object raised a Java exception");
    }
    return ok_body(status, rows);
}
