// The --json output of vorlan-cli's heap commands: one document per reply, field names
// as in docs/protocol.md, types in the wire's form, counts the reply lacked as null.
#pragma once

#include <string>

#include "reply_views.h"

std::string showJson(const ObjectView& view);
std::string histoJson(const Histogram& histo);
std::string instancesJson(const InstancesPage& page);
std::string referrersJson(const AgentReferrers& refs);
std::string pathJson(const PathReply& path);
