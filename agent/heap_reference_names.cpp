#include "heap_reference_names.h"

const char* holding_name(jvmtiHeapReferenceKind kind)
{
    switch (kind) {
    case JVMTI_HEAP_REFERENCE_FIELD: return "field";
    case JVMTI_HEAP_REFERENCE_STATIC_FIELD: return "static";
    case JVMTI_HEAP_REFERENCE_ARRAY_ELEMENT: return "element";
    case JVMTI_HEAP_REFERENCE_CLASS: return "class";
    case JVMTI_HEAP_REFERENCE_SUPERCLASS: return "super";
    case JVMTI_HEAP_REFERENCE_CLASS_LOADER: return "loader";
    case JVMTI_HEAP_REFERENCE_INTERFACE: return "interface";
    case JVMTI_HEAP_REFERENCE_SIGNERS: return "signers";
    case JVMTI_HEAP_REFERENCE_PROTECTION_DOMAIN: return "domain";
    case JVMTI_HEAP_REFERENCE_CONSTANT_POOL: return "pool";
    default: return "other";
    }
}

const char* root_name(jvmtiHeapReferenceKind kind)
{
    switch (kind) {
    case JVMTI_HEAP_REFERENCE_JNI_GLOBAL: return "jni-global";
    case JVMTI_HEAP_REFERENCE_SYSTEM_CLASS: return "system-class";
    case JVMTI_HEAP_REFERENCE_MONITOR: return "monitor";
    case JVMTI_HEAP_REFERENCE_STACK_LOCAL: return "stack-local";
    case JVMTI_HEAP_REFERENCE_JNI_LOCAL: return "jni-local";
    case JVMTI_HEAP_REFERENCE_THREAD: return "thread";
    case JVMTI_HEAP_REFERENCE_OTHER: return "other";
    default: return nullptr;
    }
}
