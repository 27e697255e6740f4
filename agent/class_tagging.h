// Loaded classes tagged in a scratch environment with CLASS | catalog id, so that the
// class tags a walk reports name catalog entries.
#pragma once

#include <jni.h>
#include <jvmti.h>

#include <cstdint>
#include <vector>

#include "class_catalog.h"
#include "outcome.h"

// With wanted absent every loaded class is tagged; otherwise only those whose catalog
// id is marked in wanted. ids, when given, receives every loaded class's catalog id (in
// GetLoadedClasses order) for the caller to choose from.
Status tag_loaded_classes(ClassCatalog& catalog, JNIEnv* jni, jvmtiEnv* scratch,
                          const std::vector<bool>* wanted = nullptr, std::vector<uint32_t>* ids = nullptr);
