// The search of path H: the shortest chain of references from a GC root to H.
//
// A full heap walk can only say, for each reference it reports, which tagged objects
// are involved; tagging every object to search forward from the roots costs seconds
// and hundreds of megabytes on a large heap. So the search runs backwards from H:
// each walk tags the objects that refer to an object already known to lead to H, with
// its distance to H. One walk is enough to find every object one hop further than the
// walks before it; objects the walk happens to visit in a good order may get further.
// After walk k every object within k hops has its true distance, so a GC root found
// at distance d <= k is the nearest one. Root-held objects are tagged in the first
// walk, so they are known the moment they are reached.
#pragma once

#include <jni.h>
#include <jvmti.h>

#include <cstdint>
#include <unordered_map>
#include <vector>

#include "class_catalog.h"
#include "heap_roots.h"
#include "outcome.h"

struct PathEdge {
    int kind = 0;
    int index = -1;
};

// An object known to lead to H.
struct PathNode {
    static constexpr uint32_t FAR = UINT32_MAX;
    static constexpr uint32_t NONE = UINT32_MAX;

    jlong tag = 0;  // the tag the object carries in the scratch environment
    uint32_t dist_strong = FAR, dist_any = FAR;  // hops to H, without and with referents
    uint32_t next_strong = NONE, next_any = NONE;
    PathEdge how_strong, how_any;  // how this object holds its next
    uint32_t root = NONE;          // the root report that holds this object, if any
};

// What the walks have found so far. H is node 0; the caller tags H with
// scratch_tag::NODE before the first walk.
struct PathSearch {
    PathSearch(const ThreadList& threads, size_t node_limit);

    const ThreadList* threads;
    size_t node_limit;  // more nodes than this and the search gives up (too_large)
    std::vector<PathNode> nodes;
    std::vector<RootReport> roots;
    std::vector<uint32_t> rooted_node;   // by ROOTED index
    std::vector<uint32_t> thread_node;   // by thread position
    std::vector<uint32_t> thread_root;
    std::unordered_map<uint64_t, uint32_t> class_node, class_root;  // by catalog id
    std::unordered_map<uint64_t, int> referent_index;  // Reference classes: the referent's field index
    bool changed = false;
    bool too_large = false;

    uint32_t add(jlong tag, uint32_t root);
    uint32_t node_of(jlong& tag, bool make);
    uint32_t add_root(const RootReport& report);
    void note_root(jlong& tag, const RootReport& report);
    // The root-held node nearest to H by the strong or the any distance.
    uint32_t nearest_rooted(bool any) const;
};

// Tags the loaded Reference classes (CLASS | catalog id), so that the walks know which
// field is a referent.
Status tag_reference_classes(ClassCatalog& catalog, JNIEnv* jni, jvmtiEnv* scratch, PathSearch& s);

struct PathOutcome {
    uint32_t found = PathNode::NONE;  // the root-held node the chain starts from
    bool any = false;                 // the chain may pass a referent
    bool exhausted = false;           // every object that leads to H is known
    int64_t walks = 0;
    double walk_ms = 0;
};

// Walks until the nearest root is known, nothing new is found, or depth walks are made.
// s.too_large says the search gave up on its memory bound.
Expected<PathOutcome> search_path(jvmtiEnv* env, PathSearch& s, bool allow_weak, int64_t depth);

// The nodes of the chain, from the root-held one down to H.
std::vector<uint32_t> path_chain(const PathSearch& s, const PathOutcome& o);
