#include "text_match.h"

#include "agent_state.h"
#include "object_values.h"

namespace {

// A String longer than this is searched in its first MiB of characters, as `object`
// shows it.
constexpr size_t MAX_TEXT_CHARS = size_t{1} << 20;

}  // namespace

TextMatch::TextMatch(Agent& agent, JNIEnv* jni, std::string text)
    : agent_(agent), jni_(jni), text_(std::move(text)), string_class_(jni->FindClass("java/lang/String"))
{
    if (!string_class_) jni_->ExceptionClear();
}

bool TextMatch::string_contains(jobject s)
{
    return string_text(jni_, static_cast<jstring>(s), MAX_TEXT_CHARS).find(text_) != std::string::npos;
}

Expected<bool> TextMatch::holds(jobject obj, uint32_t class_id)
{
    const ClassInfo& info = agent_.classes.info(class_id);
    if (info.kind == ValueKind::String) return string_contains(obj);
    if (info.kind == ValueKind::ObjectArray || info.kind == ValueKind::PrimitiveArray) return false;
    if (Status s = agent_.classes.load_fields(jni_, class_id); !s) return s.failure();
    for (const FieldEntry& f : agent_.classes.info(class_id).fields) {
        if (f.is_static) continue;
        if (f.signature.size() == 1) {
            const char type = f.signature[0];
            if (format_primitive(type, field_value(jni_, obj, f.id, type)).find(text_) != std::string::npos)
                return true;
            continue;
        }
        // A field of any declared type that holds a String: a map node's value is an Object.
        jobject value = jni_->GetObjectField(obj, f.id);
        if (!value) continue;
        const bool match = string_class_ && jni_->IsInstanceOf(value, string_class_) && string_contains(value);
        jni_->DeleteLocalRef(value);
        if (match) return true;
    }
    return false;
}
