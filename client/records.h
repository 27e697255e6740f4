// Record bodies of framed replies: one record per line, its kind and fields split at
// TAB and unescaped, and the status record that opens every framed reply.
#pragma once

#include <map>
#include <string>
#include <string_view>
#include <vector>

struct Record {
    std::vector<std::string> fields;  // fields[0] is the kind; all unescaped

    const std::string& kind() const;
    // Field i, or the empty text when the record is shorter: later agents may add
    // fields, earlier ones may lack them.
    const std::string& field(size_t i) const;
};

// Every complete line of body as a record; text after the last line feed is dropped.
std::vector<Record> splitRecords(std::string_view body);

// The key=value fields of an "ok" record, as text; see figureNumber.
using Figures = std::map<std::string, std::string>;

// A figure as a number: its decimal (possibly fractional) value, or fallback when it is
// absent or not a number.
double figureNumber(const Figures& figures, const std::string& key, double fallback = -1);
// A whole decimal number that a long long holds, or fallback.
long long countOf(const std::string& text, long long fallback = -1);
// A figure that counts something (a total, an offset): its whole decimal value, or fallback
// when it is absent, not a whole number, or beyond what a long long holds.
long long figureCount(const Figures& figures, const std::string& key, long long fallback = -1);

struct Status {
    bool ok = false;
    std::string verb;     // the request's name, "-" when the agent could not read one
    Figures figures;      // ok: walk_ms, walks, gc_ms, total...
    std::string code;     // error: framing, usage, not-found...
    std::string message;  // error: the agent's explanation
};

// Reads record as a status record ("ok VERB key=value..." or "error VERB CODE MESSAGE");
// false when it is none.
bool readStatus(const Record& record, Status& status);

// A framed reply: its status and the records after it.
struct FramedReply {
    Status status;
    std::vector<Record> records;
};

// False when body is not a framed reply: empty, or a first line that is no status
// record. That is how an agent that knows only the classic commands answers, with a
// root listing or nothing.
bool readFramedReply(std::string_view body, FramedReply& reply);
