// The details pane's text for a snapshot object: what it is, its sizes and dominator,
// then what it holds (fields with their values when the dump can be read again,
// references with their targets' sizes otherwise).
#pragma once

#include <QString>

#include "snapshot_replies.h"

QString snapshotDetailsHtml(const ObjectReply& reply);
