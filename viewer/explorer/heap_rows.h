// The rows that replies become: an object's slots, referrers, path steps and GC roots,
// with the texts every heap tree shows for them.
#pragma once

#include <memory>
#include <vector>

#include "heap_tree_item.h"
#include "reply_views.h"

// A row for the object ref, captioned name: its type, its preview or handle, its size.
std::unique_ptr<HeapTreeItem> objectRow(const ObjectRef& ref, QString name, QString tip = {});
// A field, element, static or other slot: an object row when it refers to an object,
// else a value row (a primitive, or null). A field that another of the object's fields
// shadows (qualify) is named with its declaring class: "AbstractMap.keySet".
std::unique_ptr<HeapTreeItem> slotRow(const Slot& slot, bool qualify = false);
// The slots' rows, the fields that share a name qualified.
std::vector<std::unique_ptr<HeapTreeItem>> slotRows(const std::vector<Slot>& slots, bool withClass = true);
// A referrer, or a step of a path: the holding object, captioned by how it holds.
std::unique_ptr<HeapTreeItem> hopRow(const Hop& hop);
std::unique_ptr<HeapTreeItem> gcRootRow(const GcRoot& root);
// How the Objects view names an object a root holds: a thread by its name
// (thread "main"), a local by its thread and method ("main": Demo.run); other roots by
// the object's handle.
QString rootRowName(const GcRoot& root, const std::string& handle);
// A path to a GC root as flat rows, root first: one per step, held by (the root named as
// people name it, a field, an index), type, object, size. The steps above the static
// field that holds the chain (class loading, which keeps every class) are muted.
std::vector<std::unique_ptr<HeapTreeItem>> pathRows(const PathReply& path);
std::unique_ptr<HeapTreeItem> noteRow(QString text, QString tip = {});

// How a page's title names an object: "java.lang.String @1a2b".
QString objectTitle(const ObjectRef& object);

// The cells of the object's own row, refreshed from an object reply.
RowCells refreshedCells(const RowCells& old, const ObjectRef& object);

// What the Value column shows for a reference: the preview, or the handle as "@1a2b".
QString referenceValue(const ObjectRef& ref);
// How a holder holds: "name" for a field, "[3]" for an element, "<class>" and the like.
QString holdName(const std::string& how, const std::string& name);
// A class's simple name: "java.util.AbstractMap" -> "AbstractMap".
QString simpleClassName(const std::string& className);
// "JNI global", "System class", ... for the agent's root kinds; unknown kinds as they come.
QString rootKindTitle(const std::string& kind);
// Where a kind's group stands among the others: the order Java tools list roots in.
int rootKindOrder(const std::string& kind);
