#include "perf_data.h"

#include <cstring>

namespace {

constexpr unsigned char kMagic[4] = {0xca, 0xfe, 0xc0, 0xc0};  // the same bytes in either order
constexpr size_t kPrologueSize = 32;
constexpr size_t kEntryHeaderSize = 20;
constexpr int kMajorVersion = 2;

// Fixed-width integers in the buffer's own byte order.
class Reader {
public:
    Reader(std::string_view bytes, bool littleEndian) : bytes_(bytes), little_(littleEndian) {}

    bool has(size_t offset, size_t length) const { return offset <= bytes_.size() && length <= bytes_.size() - offset; }

    uint64_t unsignedAt(size_t offset, size_t width) const
    {
        uint64_t value = 0;
        for (size_t i = 0; i < width; ++i) {
            const auto byte = static_cast<unsigned char>(bytes_[offset + (little_ ? width - 1 - i : i)]);
            value = (value << 8) | byte;
        }
        return value;
    }
    int32_t int32At(size_t offset) const { return static_cast<int32_t>(unsignedAt(offset, 4)); }
    int64_t int64At(size_t offset) const { return static_cast<int64_t>(unsignedAt(offset, 8)); }

private:
    std::string_view bytes_;
    bool little_;
};

bool fail(std::string* error, const std::string& why)
{
    if (error)
        *error = why;
    return false;
}

}  // namespace

std::string PerfData::text(const std::string& name) const
{
    const auto found = strings.find(name);
    return found == strings.end() ? std::string() : found->second;
}

std::optional<PerfData> parsePerfData(std::string_view bytes, std::string* error)
{
    if (bytes.size() < kPrologueSize || std::memcmp(bytes.data(), kMagic, sizeof kMagic) != 0) {
        fail(error, "not a performance data file");
        return std::nullopt;
    }
    const bool little = bytes[4] == 1;
    if (bytes[5] != kMajorVersion) {
        fail(error, "performance data of version " + std::to_string(static_cast<int>(bytes[5])));
        return std::nullopt;
    }
    const Reader in(bytes, little);
    const int32_t entryOffset = in.int32At(24);
    const int32_t entryCount = in.int32At(28);
    if (entryOffset < 0 || entryCount < 0) {
        fail(error, "a negative entry offset or count");
        return std::nullopt;
    }

    PerfData data;
    size_t at = static_cast<size_t>(entryOffset);
    for (int32_t i = 0; i < entryCount; ++i) {
        if (!in.has(at, kEntryHeaderSize)) {
            fail(error, "entry " + std::to_string(i) + " at byte " + std::to_string(at) + " runs past the end");
            return std::nullopt;
        }
        const int32_t length = in.int32At(at);
        const int32_t nameOffset = in.int32At(at + 4);
        const int32_t vectorLength = in.int32At(at + 8);
        const char type = bytes[at + 12];
        const int32_t dataOffset = in.int32At(at + 16);
        if (length < static_cast<int32_t>(kEntryHeaderSize) || !in.has(at, static_cast<size_t>(length)) ||
            nameOffset < 0 || nameOffset >= length || dataOffset < 0 || dataOffset > length || vectorLength < 0) {
            fail(error, "entry " + std::to_string(i) + " at byte " + std::to_string(at) + " is malformed");
            return std::nullopt;
        }
        const std::string_view entry = bytes.substr(at, static_cast<size_t>(length));
        const std::string_view nameArea = entry.substr(static_cast<size_t>(nameOffset));
        const std::string name(nameArea.substr(0, nameArea.find('\0')));
        const std::string_view value = entry.substr(static_cast<size_t>(dataOffset));
        if (type == 'B' && vectorLength > 0) {
            const std::string_view text = value.substr(0, static_cast<size_t>(vectorLength));
            data.strings[name] = std::string(text.substr(0, text.find('\0')));
        } else if (type == 'J' && vectorLength == 0 && value.size() >= 8) {
            data.longs[name] = in.int64At(at + static_cast<size_t>(dataOffset));
        }
        at += static_cast<size_t>(length);
    }
    return data;
}
