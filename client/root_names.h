// GC roots named as a Java developer names them: a thread by its name, a local variable
// by its thread and method, a static field as Class.field. Shared by every front end.
#pragma once

#include <string>

#include "reply_views.h"

// "thread \"main\"", "local variable in VorlanDemo.main (thread \"main\")", "JNI global
// reference", "system class", "monitor (a lock held)"...
std::string rootName(const GcRoot& root);

// What keeps a path's object alive, as a developer names it: when the chain goes through
// a class's static field, the last such field ("static field app.Registry.ENTRIES"):
// what lies above it is the class loading machinery that keeps every class; else the
// GC root by rootName. Empty when the path has no root.
std::string pathRootName(const PathReply& path);

// The index in path.steps of the object that the last static field on the chain holds;
// -1 when the chain goes through none.
int staticStepOfPath(const PathReply& path);
