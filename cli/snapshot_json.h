// The --json output of vorlan-cli's commands on a heap snapshot: one document per
// reply, members named as the reply's fields, sizes in bytes, shares as fractions.
#pragma once

#include <string>

#include "snapshot_replies.h"

std::string topJson(const TopReply& top);
std::string suspectsJson(const SuspectsReply& suspects);
std::string dominatorsJson(const DominatorsReply& dominators);
std::string snapshotHistoJson(const HistogramReply& histo);
std::string snapshotInstancesJson(const InstancesReply& instances);
std::string snapshotShowJson(const ObjectReply& object);
std::string snapshotPathJson(const RootPathReply& path);
std::string snapshotReferrersJson(const ReferrersReply& referrers);
std::string compareJson(const CompareReply& compare);
