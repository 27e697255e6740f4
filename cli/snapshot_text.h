// The human-readable output of vorlan-cli's commands on a heap snapshot: aligned
// columns, each object by its snapshot name with its shallow and retained sizes, the
// reply's notes in parentheses at the end.
#pragma once

#include <string>

#include "snapshot_replies.h"

std::string topText(const TopReply& top);
std::string suspectsText(const SuspectsReply& suspects);
std::string dominatorsText(const DominatorsReply& dominators);
// jcmd GC.class_histogram's columns, and retained bytes beside them.
std::string snapshotHistoText(const HistogramReply& histo);
std::string snapshotInstancesText(const InstancesReply& instances);
std::string snapshotShowText(const ObjectReply& object);
std::string snapshotPathText(const RootPathReply& path);
std::string snapshotReferrersText(const ReferrersReply& referrers);
std::string compareText(const CompareReply& compare);
