// Framed requests as they go on the wire: "VRL1 ", the name, each argument after a TAB,
// a line feed.
#pragma once

#include <string>
#include <string_view>
#include <vector>

constexpr std::string_view kFrameMagic = "VRL1 ";

// One request before encoding: its name, the positional argument (if the request takes
// one) first, then "name=value" options.
struct Request {
    std::string name;
    std::vector<std::string> args;
};

std::string encodeRequest(std::string_view name, const std::vector<std::string>& args);
std::string encodeRequest(const Request& request);
