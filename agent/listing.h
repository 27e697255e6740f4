// Listing text: which descriptors a reply lists, and the lines that name them. A listing
// keeps the descriptors, not the text: lines are formatted as they are sent, so a
// million-line reply never exists as one string.
#pragma once

#include <cstddef>
#include <functional>
#include <string>
#include <vector>

#include "object_details.h"

struct Listing {
    std::vector<ObjectDetails*> entries;  // one line each, at depth 0, in order
    size_t length = 0;                          // bytes of the body they make

    // Appends d's line (traced as "obj_d=%x").
    void add(ObjectDetails* d);
    // Empties the listing and gives its memory back.
    void clear();
};

// Root-kind filter: value < 0 lets nothing through, 0 everything, otherwise each decimal
// digit of value names one root kind that passes (23: system classes and monitors).
bool kind_filter(int root_kind, int value);

// The listing line of d: depth TAB characters, then "%x %s \n" (handle, signature).
void append_listing_line(std::string& body, const ObjectDetails* d, int depth);

// One line per root whose latest root kind passes the filter, in root-list order.
void collect_root_listing(Listing& out, const RootList& roots, int kind_value);
// One line per distinct entry of d's reference list, in list order.
void collect_reference_listing(Listing& out, ObjectDetails* d);

// Hands the body to sink in pieces of up to 64 KiB, in order; stops and returns false
// as soon as sink does.
bool write_listing(const Listing& listing, const std::function<bool(const char*, size_t)>& sink);
// The whole body as one text (for the trace and for tests).
std::string listing_text(const Listing& listing);
