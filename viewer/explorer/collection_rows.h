// The rows a page of a collection's entries becomes in a heap tree: a map's entries, each
// opening to its key and value; a list's, set's or queue's elements as the objects they
// are; and the texts that say what was read.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "collection_page.h"
#include "heap_tree_item.h"

// How a key, value or element reads in one cell: a String in quotes, a boxed value, an
// enum constant's name, "[N]", "null"; else its class's simple name and its handle.
QString entryText(const ObjectRef& object);
// A map's entry, `"user7" → "value-7"`, which opens to its key and its value.
std::unique_ptr<HeapTreeItem> entryRow(const CollectionEntry& entry);
// An element of a list, set or queue, named by its position: the object itself.
std::unique_ptr<HeapTreeItem> elementRow(const CollectionEntry& entry);
// The rows of one page: the wrappers read through first (on the first page), then the
// entries.
std::vector<std::unique_ptr<HeapTreeItem>> collectionRows(const CollectionPage& page);
// "size 50, capacity 64"; the capacity only where the collection has one.
QString collectionSizeText(const CollectionPage& page);
// What the wrappers a page was read through are: "read through java.util.Collections$Unmod…".
QString unwrappedText(const CollectionPage& page);

// Whether objects of this type are the insides of a JDK collection (its nodes, its
// table, an array that holds its elements): the Referrers view looks through them to
// the collection and what holds it.
bool isCollectionInternal(const std::string& type);
