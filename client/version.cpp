#include "version.h"

const char* vorlanVersion()
{
    return VORLAN_VERSION;
}
