// From a snapshot object back to the same object in the running VM. Addresses change
// between a capture and now, so the object is found again by the way it is reached: its
// path from a GC root, from the last class or named thread on it (names that stay the
// same while the program runs), field by field, each step with the class the snapshot
// had there. The agent's follow request takes the chain (AgentSession::follow).
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "queries.h"
#include "root_paths.h"

class HeapIndex;

struct LiveChain {
    FollowQuery query;
    std::vector<uint32_t> objects;  // the snapshot's object at the start and after each step
};

struct LiveChainResult {
    std::optional<LiveChain> chain;
    std::string why;  // when there is none: what on the path the agent cannot follow
};

// The chain to path's last object. Fails when no class or named thread is on the path
// (it starts at a JNI reference or a frame's local, which cannot be named again) or when
// a step after the last one goes through what the VM lets no agent read (a class's
// constant pool, its signers or protection domain).
LiveChainResult liveChainTo(const HeapIndex& index, const RootPath& path);
