// The --json output of vorlan-cli's heap commands: one document per reply, field names
// as in docs/protocol.md, types in the wire's form, counts the reply lacked as null.
#pragma once

#include <string>

#include "collection_page.h"
#include "reply_views.h"

// note: why a collection is shown as its fields; a "note" member when not empty.
std::string showJson(const ObjectView& view, const std::string& note = {});
// The object, and its entries under "collection".
std::string collectionJson(const ObjectView& view, const CollectionPage& page);
std::string histoJson(const Histogram& histo);
std::string instancesJson(const InstancesPage& page);
std::string referrersJson(const Referrers& refs);
std::string pathJson(const PathReply& path);
