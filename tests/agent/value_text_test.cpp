// Primitive values as Java prints them, checked against what Double.toString and
// Float.toString print on a current JDK.
#include <gtest/gtest.h>

#include <charconv>
#include <cmath>
#include <cstring>
#include <limits>
#include <random>

#include "value_text.h"

namespace {

std::string d(double v) { return format_floating(v, false); }
std::string f(float v) { return format_floating(v, true); }

TEST(ValueText, NaNInfinitiesAndSignedZeros)
{
    EXPECT_EQ(d(std::nan("")), "NaN");
    EXPECT_EQ(f(std::nanf("")), "NaN");
    EXPECT_EQ(d(std::numeric_limits<double>::infinity()), "Infinity");
    EXPECT_EQ(d(-std::numeric_limits<double>::infinity()), "-Infinity");
    EXPECT_EQ(f(-std::numeric_limits<float>::infinity()), "-Infinity");
    EXPECT_EQ(d(0.0), "0.0");
    EXPECT_EQ(d(-0.0), "-0.0");
    EXPECT_EQ(f(-0.0f), "-0.0");
}

TEST(ValueText, PlainFromAThousandthUpToTenMillionScientificOutside)
{
    EXPECT_EQ(d(0.001), "0.001");
    EXPECT_EQ(d(0.00099), "9.9E-4");
    EXPECT_EQ(d(0.000999), "9.99E-4");
    EXPECT_EQ(d(9999999.0), "9999999.0");
    EXPECT_EQ(d(1e7), "1.0E7");
    EXPECT_EQ(d(12345678.9), "1.23456789E7");
    EXPECT_EQ(d(100.0), "100.0");
    EXPECT_EQ(d(123456.789), "123456.789");
    EXPECT_EQ(d(-0.5), "-0.5");
    EXPECT_EQ(d(1e-7), "1.0E-7");
    EXPECT_EQ(d(1e21), "1.0E21");
    EXPECT_EQ(f(0.001f), "0.001");
    EXPECT_EQ(f(1e7f), "1.0E7");
    EXPECT_EQ(f(9999999.0f), "9999999.0");
    EXPECT_EQ(f(16777216.0f), "1.6777216E7");
    EXPECT_EQ(f(1e10f), "1.0E10");
}

TEST(ValueText, TheShortestDigitsThatReadBackInTheValuesOwnWidth)
{
    EXPECT_EQ(d(0.1), "0.1");
    EXPECT_EQ(d(1.0 / 3), "0.3333333333333333");
    EXPECT_EQ(d(1e23), "1.0E23");
    EXPECT_EQ(d(2e23), "2.0E23");
    EXPECT_EQ(d(std::numeric_limits<double>::max()), "1.7976931348623157E308");
    EXPECT_EQ(f(0.1f), "0.1");  // as a double it would be 0.10000000149011612
    EXPECT_EQ(f(1.1f), "1.1");
    EXPECT_EQ(f(123456789.0f), "1.2345679E8");
    EXPECT_EQ(f(std::numeric_limits<float>::max()), "3.4028235E38");

    // Whatever the value, the text reads back as exactly that value.
    std::mt19937_64 random(17);
    for (int i = 0; i < 20000; i++) {
        uint64_t bits = random();
        double v;
        std::memcpy(&v, &bits, sizeof v);
        if (!std::isfinite(v)) continue;
        const std::string text = d(v);
        double back = 0;
        ASSERT_EQ(std::from_chars(text.data(), text.data() + text.size(), back).ec, std::errc()) << text;
        ASSERT_EQ(back, v) << text;

        uint32_t fbits = static_cast<uint32_t>(bits >> 32);
        float w;
        std::memcpy(&w, &fbits, sizeof w);
        if (!std::isfinite(w)) continue;
        const std::string ftext = f(w);
        float fback = 0;
        ASSERT_EQ(std::from_chars(ftext.data(), ftext.data() + ftext.size(), fback).ec, std::errc()) << ftext;
        ASSERT_EQ(fback, w) << ftext;
    }
}

TEST(ValueText, SubnormalsTakeTheNearerOfOneOrTwoDigits)
{
    const double min_double = std::numeric_limits<double>::denorm_min();
    EXPECT_EQ(d(min_double), "4.9E-324");
    EXPECT_EQ(d(3 * min_double), "1.5E-323");
    EXPECT_EQ(d(99 * min_double), "4.9E-322");
    EXPECT_EQ(d(100 * min_double), "4.94E-322");
    EXPECT_EQ(d(-min_double), "-4.9E-324");
    EXPECT_EQ(d(std::numeric_limits<double>::min()), "2.2250738585072014E-308");
    const float min_float = std::numeric_limits<float>::denorm_min();
    EXPECT_EQ(f(min_float), "1.4E-45");
    EXPECT_EQ(f(21 * min_float), "2.9E-44");
    EXPECT_EQ(f(std::numeric_limits<float>::min()), "1.1754944E-38");
}

TEST(ValueText, Utf16UnitsEachAsTheirOwnSequence)
{
    const uint16_t text[] = {'a', 0xe9, 0x2603, 0xd834, 0xdd1e, 0xdc00, 0};
    EXPECT_EQ(utf16_to_text(text, 3), "a\xc3\xa9\xe2\x98\x83");
    // A pair as two three-byte sequences, a lone surrogate as one, NUL as itself.
    EXPECT_EQ(utf16_to_text(text + 3, 2), "\xed\xa0\xb4\xed\xb4\x9e");
    EXPECT_EQ(utf16_to_text(text + 5, 2), std::string("\xed\xb0\x80\0", 4));
    EXPECT_EQ(utf16_to_text(text, 0), "");
}

}  // namespace
