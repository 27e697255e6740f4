#include "hprof_format.h"

namespace hprof {

const char* primitiveName(uint8_t type)
{
    switch (type) {
    case kBoolean: return "boolean";
    case kChar: return "char";
    case kFloat: return "float";
    case kDouble: return "double";
    case kByte: return "byte";
    case kShort: return "short";
    case kInt: return "int";
    case kLong: return "long";
    default: return "Object";
    }
}

char primitiveLetter(uint8_t type)
{
    switch (type) {
    case kBoolean: return 'Z';
    case kChar: return 'C';
    case kFloat: return 'F';
    case kDouble: return 'D';
    case kByte: return 'B';
    case kShort: return 'S';
    case kInt: return 'I';
    case kLong: return 'J';
    default: return 'L';
    }
}

}  // namespace hprof
