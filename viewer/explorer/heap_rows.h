// The rows that replies become: an object's slots, referrers, path steps and GC roots,
// with the texts every heap tree shows for them.
#pragma once

#include <memory>

#include "heap_tree_item.h"
#include "reply_views.h"

// A row for the object ref, captioned name: its type, its preview or handle, its size.
std::unique_ptr<HeapTreeItem> objectRow(const ObjectRef& ref, QString name, QString tip = {});
// A field, element, static or other slot: an object row when it refers to an object,
// else a value row (a primitive, or null).
std::unique_ptr<HeapTreeItem> slotRow(const Slot& slot);
// A referrer, or a step of a path: the holding object, captioned by how it holds.
std::unique_ptr<HeapTreeItem> hopRow(const Hop& hop);
std::unique_ptr<HeapTreeItem> gcRootRow(const GcRoot& root);
std::unique_ptr<HeapTreeItem> noteRow(QString text, QString tip = {});

// How a page's title names an object: "java.lang.String @1a2b".
QString objectTitle(const ObjectRef& object);

// The cells of the object's own row, refreshed from an object reply.
RowCells refreshedCells(const RowCells& old, const ObjectRef& object);

// What the Value column shows for a reference: the preview, or the handle as "@1a2b".
QString referenceValue(const ObjectRef& ref);
// How a holder holds: "name" for a field, "[3]" for an element, "<class>" and the like.
QString holdName(const std::string& how, const std::string& name);
// "JNI global", "System class", ... for the agent's root kinds; unknown kinds as they come.
QString rootKindTitle(const std::string& kind);
// Where a kind's group stands among the others: the order Java tools list roots in.
int rootKindOrder(const std::string& kind);
