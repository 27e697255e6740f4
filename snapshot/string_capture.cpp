#include "string_capture.h"

#include <algorithm>

namespace {

void appendUtf8(std::string& out, uint32_t c)
{
    if (c < 0x80) {
        out += static_cast<char>(c);
    } else if (c < 0x800) {
        out += static_cast<char>(0xC0 | (c >> 6));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
        out += static_cast<char>(0xE0 | (c >> 12));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (c >> 18));
        out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    }
}

}  // namespace

std::string decodeJavaString(const uint8_t* bytes, uint32_t length, uint8_t coder)
{
    std::string out;
    if (coder == 0) {
        for (uint32_t i = 0; i < length; ++i)
            appendUtf8(out, bytes[i]);
        return out;
    }
    for (uint32_t i = 0; i + 1 < length; i += 2) {
        uint32_t c = bytes[i] | (uint32_t{bytes[i + 1]} << 8);
        if (c >= 0xD800 && c < 0xDC00 && i + 3 < length) {
            const uint32_t low = bytes[i + 2] | (uint32_t{bytes[i + 3]} << 8);
            if (low >= 0xDC00 && low < 0xE000) {
                c = 0x10000 + ((c - 0xD800) << 10) + (low - 0xDC00);
                i += 2;
            }
        }
        appendUtf8(out, c);
    }
    return out;
}

void StringCapture::want(uint64_t key, uint64_t stringId)
{
    ++requests_;
    for (const RecentString& s : strings_) {
        if (s.id == stringId && stringId != 0) {
            wantValue(key, s.valueId, s.coder);
            return;
        }
    }
    wantedStrings_.emplace(stringId, key);
}

void StringCapture::wantValue(uint64_t key, uint64_t valueId, uint8_t coder)
{
    for (const RecentBytes& b : bytes_) {
        if (b.id == valueId && valueId != 0) {
            finish(key, coder, b.bytes.data(), b.length);
            return;
        }
    }
    wantedValues_.emplace(valueId, Waiting{key, coder});
}

void StringCapture::onString(uint64_t id, uint64_t valueId, uint8_t coder)
{
    strings_[nextString_] = {id, valueId, coder};
    nextString_ = (nextString_ + 1) % kRing;
    if (wantedStrings_.empty())
        return;
    auto [first, last] = wantedStrings_.equal_range(id);
    if (first == last)
        return;
    std::vector<uint64_t> keys;
    for (auto it = first; it != last; ++it)
        keys.push_back(it->second);
    wantedStrings_.erase(first, last);
    for (uint64_t key : keys)
        wantValue(key, valueId, coder);
}

void StringCapture::onByteArray(uint64_t id, const uint8_t* bytes, uint32_t length)
{
    const uint32_t kept = std::min(length, kMaxText);
    RecentBytes& slot = bytes_[nextBytes_];
    nextBytes_ = (nextBytes_ + 1) % kRing;
    slot.id = id;
    slot.length = kept;
    std::copy(bytes, bytes + kept, slot.bytes.begin());
    if (wantedValues_.empty())
        return;
    auto [first, last] = wantedValues_.equal_range(id);
    if (first == last)
        return;
    std::vector<Waiting> waiting;
    for (auto it = first; it != last; ++it)
        waiting.push_back(it->second);
    wantedValues_.erase(first, last);
    for (const Waiting& w : waiting)
        finish(w.key, w.coder, bytes, kept);
}

void StringCapture::finish(uint64_t key, uint8_t coder, const uint8_t* bytes, uint32_t length)
{
    texts_[key] = decodeJavaString(bytes, length, coder);
}

bool StringCapture::text(uint64_t key, std::string& out) const
{
    auto found = texts_.find(key);
    if (found == texts_.end())
        return false;
    out = found->second;
    return true;
}

std::vector<uint64_t> StringCapture::awaitedStrings(const std::function<bool(uint64_t key)>& needed) const
{
    std::vector<uint64_t> ids;
    for (const auto& [id, key] : wantedStrings_) {
        if (needed(key))
            ids.push_back(id);
    }
    std::sort(ids.begin(), ids.end());
    ids.erase(std::unique(ids.begin(), ids.end()), ids.end());
    return ids;
}

std::vector<uint64_t> StringCapture::awaitedValues(const std::function<bool(uint64_t key)>& needed) const
{
    std::vector<uint64_t> ids;
    for (const auto& [id, waiting] : wantedValues_) {
        if (needed(waiting.key))
            ids.push_back(id);
    }
    std::sort(ids.begin(), ids.end());
    ids.erase(std::unique(ids.begin(), ids.end()), ids.end());
    return ids;
}
