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
    case ValueKind::Boxed: {
        jvalue v{};
        switch (info.box) {
        case 'Z': v.z = jni->GetBooleanField(obj, info.value_field); break;
        case 'B': v.b = jni->GetByteField(obj, info.value_field); break;
        case 'C': v.c = jni->GetCharField(obj, info.value_field); break;
        case 'S': v.s = jni->GetShortField(obj, info.value_field); break;
        case 'I': v.i = jni->GetIntField(obj, info.value_field); break;
        case 'J': v.j = jni->GetLongField(obj, info.value_field); break;
        case 'F': v.f = jni->GetFloatField(obj, info.value_field); break;
        case 'D': v.d = jni->GetDoubleField(obj, info.value_field); break;
        default: return "";
        }
        return format_primitive(info.box, v);
    }
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
        uint32_t id = agent.classes.id_of(jni, static_cast<jclass>(obj));
        if (id == UINT32_MAX) return "class";
        const std::string& sig = agent.classes.info(id).signature;
        return "class " + (sig.size() == 1 ? java_type_name(sig) : agent.classes.info(id).name);
    }
    case ValueKind::Plain:
        break;
    }
    return "";
}

}  // namespace

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

bool summarize(Agent& agent, JNIEnv* jni, jobject obj, ObjectSummary& out, std::string* why)
{
    out = ObjectSummary{};
    out.handle = handle_for(agent, jni, obj, why);
    if (out.handle == 0) return false;
    jclass cls = jni->GetObjectClass(obj);
    out.class_id = agent.classes.id_of(jni, cls, why);
    jni->DeleteLocalRef(cls);
    if (out.class_id == UINT32_MAX) return false;
    const ClassInfo& info = agent.classes.info(out.class_id);
    out.type = info.name;
    jlong size = 0;
    if (!jvmti_ok(agent.jvmti, agent.jvmti->GetObjectSize(obj, &size), "GetObjectSize", why)) return false;
    out.size = size;
    out.preview = preview_of(agent, jni, obj, info);
    jni->ExceptionClear();
    return true;
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
        uint32_t id = cls ? agent.classes.id_of(jni, cls) : UINT32_MAX;
        if (cls) jni->DeleteLocalRef(cls);
        const FieldEntry* f = id != UINT32_MAX ? agent.classes.field_at(jni, id, index) : nullptr;
        if (f) {
            h.name = f->name;
            h.declared = f->declaring;
        } else {
            h.name = std::to_string(index);
        }
    }
    return h;
}
