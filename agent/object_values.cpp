#include "object_values.h"

#include <algorithm>
#include <vector>

#include "agent_state.h"
#include "heap_reference_names.h"
#include "jvmti_check.h"
#include "object_binding.h"
#include "records.h"

namespace {

constexpr size_t PREVIEW_CHARS = 100;

std::string preview_of(Agent& agent, JNIEnv* jni, jobject obj, const ClassInfo& info)
{
    switch (info.kind) {
    case ValueKind::String: {
        jsize n = jni->GetStringLength(static_cast<jstring>(obj));
        std::string text = string_text(jni, static_cast<jstring>(obj), PREVIEW_CHARS);
        return "\"" + text + (static_cast<size_t>(n) > PREVIEW_CHARS ? "...\"" : "\"");
    }
    case ValueKind::Boxed:
        return format_primitive(info.box, field_value(jni, obj, info.value_field, info.box));
    case ValueKind::Enum: {
        auto name = static_cast<jstring>(jni->GetObjectField(obj, info.value_field));
        if (!name) return "";
        std::string text = string_text(jni, name, PREVIEW_CHARS);
        jni->DeleteLocalRef(name);
        return text;
    }
    case ValueKind::ObjectArray:
    case ValueKind::PrimitiveArray:
        return "[" + std::to_string(jni->GetArrayLength(static_cast<jarray>(obj))) + "]";
    case ValueKind::ClassObject: {
        Expected<uint32_t> id = agent.classes.id_of(jni, static_cast<jclass>(obj));
        if (!id) return "class";
        const ClassInfo& named = agent.classes.info(*id);
        return "class " + (named.signature.size() == 1 ? java_type_name(named.signature) : named.name);
    }
    case ValueKind::Plain:
        break;
    }
    return "";
}

}  // namespace

jvalue field_value(JNIEnv* jni, jobject obj, jfieldID field, char type)
{
    jvalue v{};
    switch (type) {
    case 'Z': v.z = jni->GetBooleanField(obj, field); break;
    case 'B': v.b = jni->GetByteField(obj, field); break;
    case 'C': v.c = jni->GetCharField(obj, field); break;
    case 'S': v.s = jni->GetShortField(obj, field); break;
    case 'I': v.i = jni->GetIntField(obj, field); break;
    case 'J': v.j = jni->GetLongField(obj, field); break;
    case 'F': v.f = jni->GetFloatField(obj, field); break;
    case 'D': v.d = jni->GetDoubleField(obj, field); break;
    default: break;
    }
    return v;
}

jvalue static_value(JNIEnv* jni, jclass cls, jfieldID field, char type)
{
    jvalue v{};
    switch (type) {
    case 'Z': v.z = jni->GetStaticBooleanField(cls, field); break;
    case 'B': v.b = jni->GetStaticByteField(cls, field); break;
    case 'C': v.c = jni->GetStaticCharField(cls, field); break;
    case 'S': v.s = jni->GetStaticShortField(cls, field); break;
    case 'I': v.i = jni->GetStaticIntField(cls, field); break;
    case 'J': v.j = jni->GetStaticLongField(cls, field); break;
    case 'F': v.f = jni->GetStaticFloatField(cls, field); break;
    case 'D': v.d = jni->GetStaticDoubleField(cls, field); break;
    default: break;
    }
    return v;
}

std::string format_primitive(char type, jvalue v)
{
    switch (type) {
    case 'Z': return v.z ? "true" : "false";
    case 'B': return std::to_string(v.b);
    case 'C': return utf16_to_text(&v.c, 1);
    case 'S': return std::to_string(v.s);
    case 'I': return std::to_string(v.i);
    case 'J': return std::to_string(v.j);
    case 'F': return format_floating(v.f, true);
    case 'D': return format_floating(v.d, false);
    default: return "";
    }
}

std::string string_text(JNIEnv* jni, jstring s, size_t max_chars)
{
    jsize n = jni->GetStringLength(s);
    size_t take = std::min(static_cast<size_t>(n), max_chars);
    std::string out;
    std::vector<jchar> chunk(4096);
    for (size_t at = 0; at < take;) {
        size_t part = std::min(chunk.size(), take - at);
        jni->GetStringRegion(s, static_cast<jsize>(at), static_cast<jsize>(part), chunk.data());
        out += utf16_to_text(chunk.data(), part);
        at += part;
    }
    return out;
}

Expected<ObjectSummary> summarize(Agent& agent, JNIEnv* jni, jobject obj)
{
    ObjectSummary out;
    Expected<uint32_t> handle = handle_for(agent, jni, obj);
    if (!handle) return handle.failure();
    out.handle = *handle;
    jclass cls = jni->GetObjectClass(obj);
    Expected<uint32_t> class_id = agent.classes.id_of(jni, cls);
    jni->DeleteLocalRef(cls);
    if (!class_id) return class_id.failure();
    out.class_id = *class_id;
    const ClassInfo& info = agent.classes.info(out.class_id);
    out.type = info.name;
    jlong size = 0;
    if (Status sized = jvmti_check(agent.jvmti, agent.jvmti->GetObjectSize(obj, &size), "GetObjectSize"); !sized)
        return sized.failure();
    out.size = size;
    out.preview = preview_of(agent, jni, obj, info);
    jni->ExceptionClear();
    return out;
}

void write_object_fields(RecordWriter& w, const ObjectSummary* s)
{
    if (!s) {
        w.field("").field("").field("").field("");
        return;
    }
    w.field(handle_text(s->handle)).field(s->type).field(s->size).field(s->preview);
}

Holding describe_holding(Agent& agent, JNIEnv* jni, jobject holder, int kind, int index)
{
    auto k = static_cast<jvmtiHeapReferenceKind>(kind);
    Holding h{holding_name(k), "", ""};
    if (k == JVMTI_HEAP_REFERENCE_ARRAY_ELEMENT || k == JVMTI_HEAP_REFERENCE_CONSTANT_POOL) {
        h.name = std::to_string(index);
    } else if (k == JVMTI_HEAP_REFERENCE_FIELD || k == JVMTI_HEAP_REFERENCE_STATIC_FIELD) {
        // Static fields are numbered within the class the class object stands for.
        jclass cls = k == JVMTI_HEAP_REFERENCE_STATIC_FIELD ? static_cast<jclass>(jni->NewLocalRef(holder))
                                                             : jni->GetObjectClass(holder);
        const FieldEntry* f = nullptr;
        if (cls) {
            if (Expected<uint32_t> id = agent.classes.id_of(jni, cls)) f = agent.classes.field_at(jni, *id, index);
            jni->DeleteLocalRef(cls);
        }
        if (f) {
            h.name = f->name;
            h.declared = f->declaring;
        } else {
            h.name = std::to_string(index);
        }
    }
    return h;
}
