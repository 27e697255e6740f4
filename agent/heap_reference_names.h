// Names of how one object holds another, as the framed replies spell them.
#pragma once

#include <jvmti.h>

// "field", "static", "element", "class", "super", "loader", "interface", "signers",
// "domain", "pool", "other".
const char* holding_name(jvmtiHeapReferenceKind kind);

// Root kinds: "jni-global", "system-class", "monitor", "stack-local", "jni-local",
// "thread", "other"; nullptr for a reference that is not a root.
const char* root_name(jvmtiHeapReferenceKind kind);
