// Record bodies of framed replies: one record per line, fields after TABs, every field
// escaped so the body is plain ASCII. The only place the new reply format is written.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

// Error codes of the status record (see docs/protocol.md).
namespace err {
constexpr const char* FRAMING = "framing";
constexpr const char* TOO_LONG = "too-long";
constexpr const char* UNKNOWN_REQUEST = "unknown-request";
constexpr const char* USAGE = "usage";
constexpr const char* NOT_FOUND = "not-found";
constexpr const char* TOO_LARGE = "too-large";
constexpr const char* JVM = "jvm";
}  // namespace err

// Appends bytes (UTF-8 or the VM's modified UTF-8) escaped: \\ \t \n \r, \xHH for
// control bytes and bytes outside valid sequences, \uXXXX per UTF-16 unit otherwise.
void escape_text(std::string& out, std::string_view bytes);
// Appends UTF-16 text (a Java String's chars) escaped the same way.
void escape_utf16(std::string& out, const uint16_t* chars, size_t count);

class RecordWriter {
public:
    // Starts a record of this kind; the previous one, if any, is ended.
    RecordWriter& record(std::string_view kind);
    RecordWriter& field(std::string_view text);
    RecordWriter& field(int64_t n);
    RecordWriter& field_utf16(const uint16_t* chars, size_t count);
    // A "name=value" field of a status record.
    RecordWriter& pair(std::string_view name, std::string_view value);
    RecordWriter& pair(std::string_view name, int64_t value);
    RecordWriter& pair_ms(std::string_view name, double ms);

    // Appends every record of other, which is left empty.
    RecordWriter& append(RecordWriter& other);

    // The body so far, every record ended by a line feed.
    std::string take();
    size_t size() const { return body_.size(); }

private:
    void end_record();
    std::string body_;
    bool open_ = false;
};

// A complete reply body: the status record "ok VERB ..." written by the caller into
// status, then the rows.
std::string ok_body(RecordWriter& status, RecordWriter& rows);
std::string error_body(std::string_view verb, std::string_view code, std::string_view message);
