#include "request_line.h"

#include "wire_text.h"

std::string encodeRequest(std::string_view name, const std::vector<std::string>& args)
{
    std::string line(kFrameMagic);
    line += escapeArgument(name);
    for (const std::string& arg : args) {
        line += '\t';
        line += escapeArgument(arg);
    }
    line += '\n';
    return line;
}

std::string encodeRequest(const Request& request)
{
    return encodeRequest(request.name, request.args);
}
