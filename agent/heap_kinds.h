// Translation of FollowReferences' reference kinds into the JVMTI 1.0 root and reference kinds.
#pragma once

#include <jvmti.h>

// 1.0 root kind (1..7) of a root reference, or 0 when the reference is not a root.
int root_kind_of(jvmtiHeapReferenceKind kind);
// 1.0 object reference kind (1..9) of an object-to-object reference.
int object_ref_kind_of(jvmtiHeapReferenceKind kind);
// Index the 1.0 callback reported with a reference: field, element or pool index, else -1.
jint referrer_index_of(jvmtiHeapReferenceKind kind, const jvmtiHeapReferenceInfo* info);
