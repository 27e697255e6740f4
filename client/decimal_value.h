// Decimal text as the agent's header and the viewer's command line carry it.
#pragma once

#include <string_view>

// Decimal conversion with atoi's rules (leading white space, optional sign, digits up
// to the first other character, 0 without digits), saturated to the int range.
int decimalValue(std::string_view text);
