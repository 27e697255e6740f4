// A small JSON writer for vorlan-cli --json: one document, built in order, with commas
// and escaping taken care of, so the output always parses (jq, python -m json.tool).
#pragma once

#include <string>
#include <string_view>
#include <vector>

class JsonWriter {
public:
    JsonWriter& beginObject();
    JsonWriter& endObject();
    JsonWriter& beginArray();
    JsonWriter& endArray();
    // The name of the next member of the open object.
    JsonWriter& key(std::string_view name);

    JsonWriter& value(std::string_view text);
    JsonWriter& value(const char* text) { return value(std::string_view(text)); }
    JsonWriter& value(long long number);
    JsonWriter& flag(bool on);
    JsonWriter& null();
    // A number as the agent wrote it ("1.25"), or a string when it is no JSON number.
    JsonWriter& numberText(std::string_view text);
    // A count the reply lacked (-1) is null.
    JsonWriter& count(long long number);

    // The document, ended by a line feed.
    std::string text() const { return out_ + "\n"; }

private:
    void separate();
    std::string out_;
    std::vector<bool> firstInLevel_;
    bool afterKey_ = false;
};

// text as a JSON string literal, quotes included. Bytes that are no valid UTF-8 become
// U+FFFD, since JSON text is Unicode.
std::string jsonString(std::string_view text);

// Whether text is a number by JSON's grammar.
bool isJsonNumber(std::string_view text);
