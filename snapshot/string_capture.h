// The text of a few Strings the reader wants (thread names, the dumped VM's version) in
// one forward pass, where a String's value array and the object that names the String
// may each come before or after it. Wanted identifiers are followed forward (thread ->
// String -> byte[]); what went by just before is found in two small rings of the latest
// Strings and short byte arrays, which is where a name usually is: allocated right
// before or after the object that holds it. What is still awaited at the end can be
// looked up in a file read again.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <unordered_map>
#include <vector>

class StringCapture {
public:
    // Asks for the text of String `stringId` on behalf of `key` (a thread object's id...).
    void want(uint64_t key, uint64_t stringId);
    // Every String as it is read: its value array and coder (0 Latin-1, 1 UTF-16).
    void onString(uint64_t id, uint64_t valueId, uint8_t coder);
    // Every byte[] of at most kMaxText bytes as it is read, and longer ones while
    // wantsLongValues(): bytes holds min(length, kMaxText) of them.
    void onByteArray(uint64_t id, const uint8_t* bytes, uint32_t length);
    bool wantsLongValues() const { return !wantedValues_.empty(); }
    static constexpr uint32_t kMaxText = 256;  // bytes of a value kept: longer names are cut

    // The text found for `key`, if any.
    bool text(uint64_t key, std::string& out) const;
    // What is still awaited: Strings not yet seen, and value arrays of Strings seen. Feeding
    // them to onString and onByteArray, from another read of the dump, finishes them.
    // Only those asked for on behalf of a key `needed` says yes to.
    std::vector<uint64_t> awaitedStrings(const std::function<bool(uint64_t key)>& needed) const;
    std::vector<uint64_t> awaitedValues(const std::function<bool(uint64_t key)>& needed) const;
    size_t wanted() const { return requests_; }
    size_t found() const { return texts_.size(); }

private:
    struct RecentString {
        uint64_t id = 0;
        uint64_t valueId = 0;
        uint8_t coder = 0;
    };
    struct RecentBytes {
        uint64_t id = 0;
        uint32_t length = 0;
        std::array<uint8_t, kMaxText> bytes{};
    };
    struct Waiting {
        uint64_t key;
        uint8_t coder;
    };
    static constexpr size_t kRing = 256;

    void wantValue(uint64_t key, uint64_t valueId, uint8_t coder);
    void finish(uint64_t key, uint8_t coder, const uint8_t* bytes, uint32_t length);

    std::vector<RecentString> strings_ = std::vector<RecentString>(kRing);
    std::vector<RecentBytes> bytes_ = std::vector<RecentBytes>(kRing);
    size_t nextString_ = 0, nextBytes_ = 0;
    std::unordered_multimap<uint64_t, uint64_t> wantedStrings_;  // String id -> key
    std::unordered_multimap<uint64_t, Waiting> wantedValues_;    // byte[] id -> key
    std::unordered_map<uint64_t, std::string> texts_;            // key -> text
    size_t requests_ = 0;
};

// UTF-8 of a String's value: Latin-1 bytes (coder 0) or UTF-16 in the VM's byte order,
// little-endian here (coder 1).
std::string decodeJavaString(const uint8_t* bytes, uint32_t length, uint8_t coder);
