#include "entry_walk.h"

#include "layout_error.h"

void checkCount(long long counted, long long size, const std::string& what)
{
    if (counted != size)
        throw LayoutMismatch{"counted " + std::to_string(counted) + " " + what + ", but its size says " +
                             std::to_string(size)};
}

void checkNotBeyond(long long counted, long long size, const std::string& what)
{
    if (counted > size)
        throw LayoutMismatch{"counted more than the " + std::to_string(size) + " " + what + " its size says"};
}
