// GC roots named as a Java developer names them: a thread by its name, a local variable
// by its thread and method, a static field as Class.field. Shared by every front end.
#pragma once

#include <string>

#include "reply_views.h"

// "thread \"main\"", "local variable in VorlanDemo.main (thread \"main\")", "JNI global
// reference", "system class", "monitor (a lock held)"...
std::string rootName(const GcRoot& root);

// What holds a path's first object, named through the chain: when the root is a class
// that holds the next step by a static field, "static field Registry.ENTRIES"; else
// rootName. Empty when the path has no root.
std::string pathRootName(const PathReply& path);

// The step that a path's root names, when it is a class's static field: the index in
// path.steps of the object the static holds; -1 otherwise.
int staticStepOfPath(const PathReply& path);
