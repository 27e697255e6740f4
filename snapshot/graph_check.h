// Checks that a heap graph keeps the promises the algorithms rely on (array sizes, rows in
// order, every reference naming an object), so that a fault in whatever built it is an
// error with a reason rather than a read out of bounds. One pass over the references.
#pragma once

#include <string>

#include "heap_graph.h"

// Empty when the graph is sound, else what is wrong with it.
std::string graphFault(const HeapGraph& graph);
