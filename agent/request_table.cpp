#include "request_table.h"

#include "records.h"

const std::vector<RequestSpec>& request_table()
{
    static const std::vector<RequestSpec> table = {
        {"hello", "", hello_request},
        {"roots", "[offset=N] [limit=N]", roots_request},
        {"object", "H [offset=N] [limit=N]", object_request},
        {"histo", "[match=TEXT] [limit=N]", histo_request},
        {"instances", "CLASS [subclasses=1] [offset=N] [limit=N] [gc=0]", instances_request},
        {"referrers", "H [limit=N]", referrers_request},
        {"path", "H [weak=1] [depth=N]", path_request},
    };
    return table;
}

std::string serve_framed(Agent& agent, JNIEnv* jni, std::string_view line)
{
    FramedRequest req;
    std::string why;
    if (!decode_request_line(line, req, why)) return error_body("-", err::FRAMING, why);
    for (const RequestSpec& spec : request_table()) {
        if (req.name != spec.name) continue;
        if (!jni) return error_body(req.name, err::JVM, "the server thread could not attach to the VM");
        RequestContext ctx{agent, jni, req};
        return spec.handler(ctx);
    }
    return error_body(req.name, err::UNKNOWN_REQUEST, "no request named '" + req.name + "' (hello lists them)");
}
