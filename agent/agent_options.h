// The option string of -agentlib:vorlanagt=port=P,kind=K,debug=D.
#pragma once

#include <cstdio>

#include "agent_log.h"

constexpr int MAX_OPTION_ITEMS = 10;

// Parses comma-separated key=value items into s, echoing each step to echo.
// Items beyond the tenth, keys without a value and items made only of "=" are ignored.
void parse_options(const char* options, AgentSettings& s, FILE* echo);

// atoi semantics without undefined behaviour on overflow: saturates to int.
int atoi_sat(const char* text);
