#include "vm_histogram.h"

#include "local_frame.h"
#include "records.h"

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

// The step that failed, and the exception it raised, if any.
Failure failed(JNIEnv* jni, const std::string& step)
{
    std::string thrown = take_exception(jni);
    return {err::JVM, step + (thrown.empty() ? "" : ": " + thrown)};
}

}  // namespace

Status VmHistogram::prepare(JNIEnv* jni)
{
    if (bean_) return {};
    jclass provider = jni->FindClass(PROVIDER_CLASS);
    if (!provider ||
        !jni->GetStaticMethodID(provider, "getDiagnosticMXBean", "()Lcom/sun/management/HotSpotDiagnosticMXBean;"))
        return failed(jni, "this JDK's platform beans are not the ones known here");
    jclass impl = jni->FindClass(BEAN_CLASS);
    if (!impl) return failed(jni, "this JDK has no diagnostic command bean");
    jmethodID get_bean =
        jni->GetStaticMethodID(impl, "getDiagnosticCommandMBean", "()Lcom/sun/management/DiagnosticCommandMBean;");
    execute_ = get_bean ? jni->GetMethodID(impl, "executeDiagnosticCommand", "(Ljava/lang/String;)Ljava/lang/String;")
                        : nullptr;
    if (!execute_) return failed(jni, "the diagnostic command bean is not the one known here");
    jobject bean = jni->CallStaticObjectMethod(impl, get_bean);
    if (!bean || jni->ExceptionCheck()) return failed(jni, "the diagnostic command bean");
    jstring command = jni->NewStringUTF("GC.class_histogram");
    if (!command) return failed(jni, "no room for the command");
    command_ = static_cast<jstring>(jni->NewGlobalRef(command));
    bean_ = command_ ? jni->NewGlobalRef(bean) : nullptr;
    if (!bean_) return failed(jni, "no room for global references");
    return {};
}

Status VmHistogram::count(JNIEnv* jni, std::vector<ClassCount>& rows)
{
    if (refused_) return Failure{err::JVM, "refused before"};
    Status counted = ask(jni, rows);
    if (!counted) refused_ = true;
    return counted;
}

Status VmHistogram::ask(JNIEnv* jni, std::vector<ClassCount>& rows)
{
    LocalFrame frame(jni, 16);
    if (!frame.ok()) return failed(jni, "no room for local references");
    if (Status s = prepare(jni); !s) return s;
    auto text = static_cast<jstring>(jni->CallObjectMethod(bean_, execute_, command_));
    if (!text || jni->ExceptionCheck()) return failed(jni, "GC.class_histogram");
    const char* chars = jni->GetStringUTFChars(text, nullptr);
    if (!chars) return failed(jni, "no room for the histogram's text");
    const bool parsed = parse_class_histogram(chars, &rows);
    jni->ReleaseStringUTFChars(text, chars);
    if (!parsed) return Failure{err::JVM, "GC.class_histogram answered with something that is not a histogram"};
    return {};
}
