// Reads the class histogram the VM prints for jcmd GC.class_histogram:
//  num     #instances         #bytes  class name (module)
// -------------------------------------------------------
//    1:         12345         678900  [B (java.base@17.0.15)
// Total         12345         678900
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

struct ClassCount {
    std::string type;  // as Class.getName() gives it, without the module
    int64_t instances = 0;
    int64_t bytes = 0;
};

// The rows in the VM's order. False when a line that should be a row is not one, or
// no "Total" line ends the text: the text is not a histogram.
bool parse_class_histogram(std::string_view text, std::vector<ClassCount>* rows);
