// Listing text: the lines of root and reference listings, built by appending to a body.
#pragma once

#include <string>

#include "object_details.h"

// Root-kind filter: value < 0 lets nothing through, 0 everything, otherwise each decimal
// digit of value names one root kind that passes (23: system classes and monitors).
bool kind_filter(int root_kind, int value);

// Appends "%x %s \n" (handle, signature) after depth TAB characters.
void append_listing_line(std::string& body, const ObjectDetails* d, int depth);

// Appends one line per root whose latest root kind passes the filter, in root-list order.
void append_root_listing(std::string& body, const RootList& roots, int kind_value);

// Appends one line per distinct entry of d's reference list, in list order.
void append_reference_listing(std::string& body, ObjectDetails* d);
