// A small JSON reader for the tests: reads back what vorlan-cli --json prints, strictly,
// so a document that jq would refuse fails the test.
#pragma once

#include <map>
#include <optional>
#include <string>
#include <vector>

struct JsonValue {
    enum Kind { Null, Bool, Number, String, Array, Object } kind = Null;
    bool flag = false;
    double number = 0;
    std::string text;
    std::vector<JsonValue> items;
    std::map<std::string, JsonValue> members;

    // The member name of an object; a Null value when there is none.
    const JsonValue& operator[](const std::string& name) const;
    const JsonValue& operator[](size_t i) const { return items.at(i); }
};

// The one document in text (white space around it allowed), or nullopt.
std::optional<JsonValue> readJson(const std::string& text);
