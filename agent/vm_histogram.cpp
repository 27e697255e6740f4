#include "vm_histogram.h"

#include "local_frame.h"

namespace {

constexpr const char* BEAN_CLASS = "com/sun/management/internal/DiagnosticCommandImpl";
// Its natives are in a library the provider of the platform beans loads as it is
// initialised; asking for a static method's id initialises a class.
constexpr const char* PROVIDER_CLASS = "com/sun/management/internal/PlatformMBeanProviderImpl";

// The pending exception's text, cleared; "" when there is none.
std::string take_exception(JNIEnv* jni)
{
    jthrowable thrown = jni->ExceptionOccurred();
    if (!thrown) return "";
    jni->ExceptionClear();
    std::string text = "an exception";
    jclass throwable = jni->FindClass("java/lang/Throwable");
    jmethodID to_string = throwable ? jni->GetMethodID(throwable, "toString", "()Ljava/lang/String;") : nullptr;
    auto s = to_string ? static_cast<jstring>(jni->CallObjectMethod(thrown, to_string)) : nullptr;
    if (s && !jni->ExceptionCheck()) {
        if (const char* chars = jni->GetStringUTFChars(s, nullptr)) {
            text = chars;
            jni->ReleaseStringUTFChars(s, chars);
        }
    }
    jni->ExceptionClear();
    return text;
}

bool failed(JNIEnv* jni, const std::string& step, std::string* why)
{
    std::string thrown = take_exception(jni);
    *why = step + (thrown.empty() ? "" : ": " + thrown);
    return false;
}

}  // namespace

bool VmHistogram::prepare(JNIEnv* jni, std::string* why)
{
    if (bean_) return true;
    jclass provider = jni->FindClass(PROVIDER_CLASS);
    if (!provider ||
        !jni->GetStaticMethodID(provider, "getDiagnosticMXBean", "()Lcom/sun/management/HotSpotDiagnosticMXBean;"))
        return failed(jni, "this JDK's platform beans are not the ones known here", why);
    jclass impl = jni->FindClass(BEAN_CLASS);
    if (!impl) return failed(jni, "this JDK has no diagnostic command bean", why);
    jmethodID get_bean =
        jni->GetStaticMethodID(impl, "getDiagnosticCommandMBean", "()Lcom/sun/management/DiagnosticCommandMBean;");
    execute_ = get_bean ? jni->GetMethodID(impl, "executeDiagnosticCommand", "(Ljava/lang/String;)Ljava/lang/String;")
                        : nullptr;
    if (!execute_) return failed(jni, "the diagnostic command bean is not the one known here", why);
    jobject bean = jni->CallStaticObjectMethod(impl, get_bean);
    if (!bean || jni->ExceptionCheck()) return failed(jni, "the diagnostic command bean", why);
    jstring command = jni->NewStringUTF("GC.class_histogram");
    if (!command) return failed(jni, "no room for the command", why);
    command_ = static_cast<jstring>(jni->NewGlobalRef(command));
    bean_ = command_ ? jni->NewGlobalRef(bean) : nullptr;
    if (!bean_) return failed(jni, "no room for global references", why);
    return true;
}

bool VmHistogram::count(JNIEnv* jni, std::vector<ClassCount>* rows, std::string* why)
{
    if (refused_) {
        *why = "refused before";
        return false;
    }
    LocalFrame frame(jni, 16);
    bool ok = frame.ok() || failed(jni, "no room for local references", why);
    if (ok) ok = prepare(jni, why);
    jstring text = nullptr;
    if (ok) {
        text = static_cast<jstring>(jni->CallObjectMethod(bean_, execute_, command_));
        if (!text || jni->ExceptionCheck()) ok = failed(jni, "GC.class_histogram", why);
    }
    if (ok) {
        const char* chars = jni->GetStringUTFChars(text, nullptr);
        if (!chars) {
            ok = failed(jni, "no room for the histogram's text", why);
        } else {
            ok = parse_class_histogram(chars, rows);
            jni->ReleaseStringUTFChars(text, chars);
            if (!ok) *why = "GC.class_histogram answered with something that is not a histogram";
        }
    }
    if (!ok) refused_ = true;
    return ok;
}
