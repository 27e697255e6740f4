#include "request_table.h"

#include <malloc.h>

#include "records.h"

const std::vector<RequestEntry>& request_table()
{
    static const std::vector<RequestEntry> table = {
        {"hello", "", hello_request, false},
        {"roots", "[offset=N] [limit=N]", roots_request, true},
        {"object", "H [offset=N] [limit=N]", object_request, false},
        {"histo", "[match=TEXT] [limit=N] [walk=1]", histo_request, true},
        {"instances", "CLASS [subclasses=1] [offset=N] [limit=N] [gc=0]", instances_request, true},
        {"referrers", "H [limit=N]", referrers_request, true},
        {"path", "H [weak=1] [depth=N]", path_request, true},
    };
    return table;
}

std::string serve_framed(Agent& agent, JNIEnv* jni, std::string_view line)
{
    FramedRequest req;
    std::string why;
    if (!decode_request_line(line, req, why)) return error_body("-", err::FRAMING, why);
    for (const RequestEntry& entry : request_table()) {
        if (req.name != entry.name) continue;
        if (!jni) return error_body(req.name, err::JVM, "the server thread could not attach to the VM");
        RequestContext ctx{agent, jni, req};
        std::string body = entry.handler(ctx);
        // The VM's walk grows the C heap for its visit stack and the scratch tags; what
        // it has freed goes back, so a request leaves the process as large as it was.
        if (entry.walks_heap) malloc_trim(0);
        return body;
    }
    return error_body(req.name, err::UNKNOWN_REQUEST, "no request named '" + req.name + "' (hello lists them)");
}
