// The two ways a collection walk stops early: the object is not laid out as expected
// (shown as its fields, with why), or the source failed (the request fails).
#pragma once

#include <string>

#include "client_error.h"

struct LayoutMismatch {
    std::string why;
};

struct SourceFailed {
    ClientError error;
};
