// Fields HotSpot adds to a few JDK classes for its own use (javaClasses.hpp's
// *_INJECTED_FIELDS). They take room in every instance but a heap dump does not list
// them, so the layout model adds them back. They differ between releases; where this
// table is wrong for a class with several instances, the spacing of the objects in the
// heap corrects it (layout_inference.h).
#pragma once

#include <cstdint>
#include <string_view>
#include <vector>

// hprof::Type of each field injected into the class of that internal name
// ("java/lang/Class") in a VM of that feature release (17, 21, 25; 0 if unknown).
std::vector<uint8_t> injectedFieldTypes(std::string_view internalName, int javaFeature);
