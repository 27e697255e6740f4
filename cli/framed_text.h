// The human-readable output of vorlan-cli's heap commands: aligned columns, types in
// the wire's form as jcmd prints them, control characters of Java text made visible.
#pragma once

#include <string>

#include "collection_page.h"
#include "reply_views.h"

// The object line, the whole text of a String, then one line per slot; a field name
// that a subclass shadows is qualified with its declaring class.
std::string showText(const ObjectView& view);
// A collection as its entries: the object line with size and capacity, the wrappers
// read through, then one line per entry (position, key -> value, their handles).
std::string collectionText(const ObjectView& view, const CollectionPage& page);
// As jcmd GC.class_histogram prints it: num, #instances, #bytes, class name.
std::string histoText(const Histogram& histo);
std::string instancesText(const InstancesPage& page);
std::string referrersText(const Referrers& refs);
// The root by name, then one row per step, root first: the field it is held by, type,
// object, size, preview. Nothing indented.
std::string pathText(const PathReply& path, const std::string& handle);

// How a holder holds an object: "next", "Base.next" (qualified), "[3]", "static COUNT",
// "pool #5", "class", "loader"...
std::string holdLabel(const std::string& how, const std::string& name, const std::string& declared,
                      bool qualify);
// text with control characters as \n, \t, \xHH, so one value stays on one line.
std::string printable(const std::string& text);
