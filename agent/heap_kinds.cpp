#include "heap_kinds.h"

int root_kind_of(jvmtiHeapReferenceKind kind)
{
    switch (kind) {
    case JVMTI_HEAP_REFERENCE_JNI_GLOBAL: return JVMTI_HEAP_ROOT_JNI_GLOBAL;
    case JVMTI_HEAP_REFERENCE_SYSTEM_CLASS: return JVMTI_HEAP_ROOT_SYSTEM_CLASS;
    case JVMTI_HEAP_REFERENCE_MONITOR: return JVMTI_HEAP_ROOT_MONITOR;
    case JVMTI_HEAP_REFERENCE_STACK_LOCAL: return JVMTI_HEAP_ROOT_STACK_LOCAL;
    case JVMTI_HEAP_REFERENCE_JNI_LOCAL: return JVMTI_HEAP_ROOT_JNI_LOCAL;
    case JVMTI_HEAP_REFERENCE_THREAD: return JVMTI_HEAP_ROOT_THREAD;
    case JVMTI_HEAP_REFERENCE_OTHER: return JVMTI_HEAP_ROOT_OTHER;
    default: return 0;
    }
}

int object_ref_kind_of(jvmtiHeapReferenceKind kind)
{
    switch (kind) {
    case JVMTI_HEAP_REFERENCE_CLASS: return JVMTI_REFERENCE_CLASS;
    case JVMTI_HEAP_REFERENCE_FIELD: return JVMTI_REFERENCE_FIELD;
    case JVMTI_HEAP_REFERENCE_ARRAY_ELEMENT: return JVMTI_REFERENCE_ARRAY_ELEMENT;
    case JVMTI_HEAP_REFERENCE_CLASS_LOADER: return JVMTI_REFERENCE_CLASS_LOADER;
    case JVMTI_HEAP_REFERENCE_SIGNERS: return JVMTI_REFERENCE_SIGNERS;
    case JVMTI_HEAP_REFERENCE_PROTECTION_DOMAIN: return JVMTI_REFERENCE_PROTECTION_DOMAIN;
    case JVMTI_HEAP_REFERENCE_INTERFACE: return JVMTI_REFERENCE_INTERFACE;
    case JVMTI_HEAP_REFERENCE_STATIC_FIELD: return JVMTI_REFERENCE_STATIC_FIELD;
    case JVMTI_HEAP_REFERENCE_CONSTANT_POOL: return JVMTI_REFERENCE_CONSTANT_POOL;
    // 1.0 had no superclass kind; it reported the superclass like the class itself.
    case JVMTI_HEAP_REFERENCE_SUPERCLASS: return JVMTI_REFERENCE_CLASS;
    default: return 0;
    }
}

jint referrer_index_of(jvmtiHeapReferenceKind kind, const jvmtiHeapReferenceInfo* info)
{
    if (!info) return -1;
    switch (kind) {
    case JVMTI_HEAP_REFERENCE_FIELD:
    case JVMTI_HEAP_REFERENCE_STATIC_FIELD: return info->field.index;
    case JVMTI_HEAP_REFERENCE_ARRAY_ELEMENT: return info->array.index;
    case JVMTI_HEAP_REFERENCE_CONSTANT_POOL: return info->constant_pool.index;
    default: return -1;
    }
}
