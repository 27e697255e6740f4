#include "class_tagging.h"

#include "jvmti_check.h"
#include "loaded_classes.h"
#include "scratch_tags.h"

Status tag_loaded_classes(ClassCatalog& catalog, JNIEnv* jni, jvmtiEnv* scratch, const std::vector<bool>* wanted,
                          std::vector<uint32_t>* ids)
{
    LoadedClasses classes(scratch, jni);
    if (Status s = classes.status(); !s) return s;
    if (ids) ids->clear();
    for (jclass cls : classes) {
        Expected<uint32_t> id = catalog.id_of(jni, cls);
        if (!id) return id.failure();
        if (ids) ids->push_back(*id);
        if (wanted && (*id >= wanted->size() || !(*wanted)[*id])) continue;
        if (Status s = jvmti_check(scratch, scratch->SetTag(cls, scratch_tag::CLASS | *id), "SetTag"); !s) return s;
    }
    return {};
}
