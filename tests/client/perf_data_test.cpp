// Reading a VM's performance data: built here in the layout HotSpot writes, in either
// byte order, and cut or corrupted to check that a bad file is refused, never overrun.
#include "perf_data.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

namespace {

// A performance data buffer: the 32-byte prologue, then entries of a 20-byte header, the
// NUL-terminated name, padding to 8 bytes, and the value.
class PerfBuffer {
public:
    explicit PerfBuffer(bool little) : little_(little) {}

    PerfBuffer& text(const std::string& name, const std::string& value, int32_t capacity)
    {
        std::string data = value;
        data.resize(static_cast<size_t>(capacity), '\0');
        entries_.push_back(entry(name, 'B', capacity, data));
        return *this;
    }
    PerfBuffer& number(const std::string& name, int64_t value)
    {
        entries_.push_back(entry(name, 'J', 0, bytes(static_cast<uint64_t>(value), 8)));
        return *this;
    }

    std::string build(int32_t countOverride = -1) const
    {
        std::string out = "\xca\xfe\xc0\xc0";
        out += static_cast<char>(little_ ? 1 : 0);
        out += static_cast<char>(2);  // major version
        out += static_cast<char>(0);
        out += static_cast<char>(1);  // accessible
        std::string body;
        for (const std::string& e : entries_) body += e;
        out += bytes(32 + body.size(), 4) + bytes(0, 4) + bytes(0, 8) + bytes(32, 4);
        out += bytes(static_cast<uint64_t>(countOverride >= 0 ? countOverride : static_cast<int32_t>(entries_.size())), 4);
        return out + body;
    }

private:
    std::string bytes(uint64_t value, size_t width) const
    {
        std::string out(width, '\0');
        for (size_t i = 0; i < width; ++i) out[little_ ? i : width - 1 - i] = static_cast<char>(value >> (8 * i));
        return out;
    }

    std::string entry(const std::string& name, char type, int32_t vectorLength, const std::string& data) const
    {
        std::string namePart = name + '\0';
        while ((20 + namePart.size()) % 8) namePart += '\0';
        const size_t dataOffset = 20 + namePart.size();
        const size_t length = dataOffset + data.size();
        std::string out = bytes(length, 4) + bytes(20, 4) + bytes(static_cast<uint64_t>(vectorLength), 4);
        out += type;
        out += static_cast<char>(0);
        out += static_cast<char>(vectorLength ? 5 : 1);
        out += static_cast<char>(1);
        out += bytes(dataOffset, 4);
        return out + namePart + data;
    }

    bool little_;
    std::vector<std::string> entries_;
};

PerfBuffer sample(bool little)
{
    PerfBuffer buffer(little);
    buffer.text("sun.rt.javaCommand", "com.example.Main --verbose", 64)
        .number("sun.rt.createVmBeginTime", 1765195200123LL)
        .text("java.property.java.vm.version", "17.0.15+6", 32)
        .text("sun.rt.jvmCapabilities", "1100", 65)
        .number("sun.gc.collector.0.invocations", -3);
    return buffer;
}

TEST(PerfData, ReadsStringsAndCountersInEitherByteOrder)
{
    for (bool little : {true, false}) {
        const std::string bytes = sample(little).build();
        std::string error;
        const auto data = parsePerfData(bytes, &error);
        ASSERT_TRUE(data) << error;
        EXPECT_EQ(data->text("sun.rt.javaCommand"), "com.example.Main --verbose");
        EXPECT_EQ(data->text("java.property.java.vm.version"), "17.0.15+6");
        EXPECT_EQ(data->text("sun.rt.jvmCapabilities"), "1100");
        EXPECT_EQ(data->longs.at("sun.rt.createVmBeginTime"), 1765195200123LL);
        EXPECT_EQ(data->longs.at("sun.gc.collector.0.invocations"), -3);
        EXPECT_EQ(data->text("no.such.entry"), "");
    }
}

TEST(PerfData, RefusesWhatIsNoPerformanceDataAndNeverReadsPastTheEnd)
{
    std::string error;
    EXPECT_FALSE(parsePerfData("", &error));
    EXPECT_FALSE(parsePerfData(std::string(64, 'x'), &error));
    EXPECT_EQ(error, "not a performance data file");

    std::string wrongVersion = sample(true).build();
    wrongVersion[5] = 1;
    EXPECT_FALSE(parsePerfData(wrongVersion, &error));

    // Every cut of a good buffer lacks part of an announced entry: refused, without
    // reading past the cut (a copy of exactly that size, so ASan would tell).
    const std::string whole = sample(true).build();
    for (size_t size = 0; size < whole.size(); ++size) {
        const std::string cut = whole.substr(0, size);
        EXPECT_FALSE(parsePerfData(cut)) << size;
    }
    // More entries announced than there are.
    EXPECT_FALSE(parsePerfData(sample(true).build(9), &error));
    EXPECT_NE(error.find("runs past the end"), std::string::npos) << error;

    // An entry whose length would loop or jump outside the buffer.
    std::string zeroLength = sample(true).build();
    zeroLength[32] = zeroLength[33] = zeroLength[34] = zeroLength[35] = 0;
    EXPECT_FALSE(parsePerfData(zeroLength, &error));
    std::string hugeName = sample(true).build();
    hugeName[36] = '\x7f';
    hugeName[39] = '\x7f';
    EXPECT_FALSE(parsePerfData(hugeName, &error));
}

}  // namespace
