// What the capture reads of a VM before it asks for a dump: its Java release (whether it
// can write into a pipe at all), its object layout from VM.flags, and its pause from the
// safepoint counters of its performance data.
#include <gtest/gtest.h>

#include "capture_target.h"
#include "pause_clock.h"
#include "perf_data.h"
#include "vm_flags.h"

TEST(JavaRelease, ReadsTheFormsVmsGive)
{
    const auto v = parseJavaVersion("17.0.15");
    ASSERT_TRUE(v);
    EXPECT_EQ(v->feature, 17);
    EXPECT_EQ(v->interim, 0);
    EXPECT_EQ(v->update, 15);
    const auto ga = parseJavaVersion("17");
    ASSERT_TRUE(ga);
    EXPECT_EQ(ga->feature, 17);
    EXPECT_EQ(ga->update, 0);
    const auto ea = parseJavaVersion("26-ea");
    ASSERT_TRUE(ea);
    EXPECT_EQ(ea->feature, 26);
    const auto eight = parseJavaVersion("1.8.0_292");
    ASSERT_TRUE(eight);
    EXPECT_EQ(eight->feature, 8);
    EXPECT_FALSE(parseJavaVersion(""));
    EXPECT_FALSE(parseJavaVersion("OpenJDK"));
    EXPECT_FALSE(parseJavaVersion("17."));

    const auto fromCommand = javaVersionOfVmVersion("12345:\nOpenJDK 64-Bit Server VM version 25.0.3+9-LTS\nJDK 25.0.3\n");
    ASSERT_TRUE(fromCommand);
    EXPECT_EQ(fromCommand->feature, 25);
    EXPECT_EQ(fromCommand->update, 3);
    EXPECT_FALSE(javaVersionOfVmVersion("OpenJDK 64-Bit Server VM version 25.0.3+9-LTS\n"));
}

TEST(JavaRelease, OverwriteCameWith17_0_1)
{
    const auto allows = [](const char* text) { return dumpsIntoPipes(*parseJavaVersion(text)); };
    EXPECT_FALSE(allows("1.8.0_292"));
    EXPECT_FALSE(allows("11.0.22"));
    EXPECT_FALSE(allows("17"));
    EXPECT_FALSE(allows("17.0.0"));
    EXPECT_TRUE(allows("17.0.1"));
    EXPECT_TRUE(allows("17.0.15"));
    EXPECT_TRUE(allows("17.1.0"));
    EXPECT_TRUE(allows("21"));
    EXPECT_TRUE(allows("25.0.3"));
}

TEST(VmFlags, LayoutFromWhatVmFlagsPrints)
{
    const char* jdk17 =
        "12345:\n"
        "     intx ObjectAlignmentInBytes                   = 8                              {product lp64_product} {default}\n"
        "     bool UseCompressedClassPointers               = true                           {product lp64_product} {ergonomic}\n"
        "     bool UseCompressedOops                        = true                           {product lp64_product} {ergonomic}\n";
    const auto l17 = layoutFromFlags(jdk17, 17);
    ASSERT_TRUE(l17);
    EXPECT_TRUE(l17->compressedOops);
    EXPECT_TRUE(l17->compressedClassPointers);
    EXPECT_FALSE(l17->compactHeaders);
    EXPECT_FALSE(l17->arraysAlignedByElement);
    EXPECT_EQ(l17->objectAlignment, 8u);

    const char* jdk25 =
        "      int ObjectAlignmentInBytes                   = 16                             {product lp64_product} {command line}\n"
        "     bool UseCompactObjectHeaders                  = true                           {product lp64_product} {command line}\n"
        "     bool UseCompressedClassPointers               = true                           {product lp64_product} {default}\n"
        "     bool UseCompressedOops                        = false                          {product lp64_product} {command line}\n";
    const auto l25 = layoutFromFlags(jdk25, 25);
    ASSERT_TRUE(l25);
    EXPECT_FALSE(l25->compressedOops);
    EXPECT_TRUE(l25->compactHeaders);
    EXPECT_TRUE(l25->arraysAlignedByElement);
    EXPECT_EQ(l25->objectAlignment, 16u);
    EXPECT_EQ(l25->instanceHeader(), 8u);

    EXPECT_FALSE(layoutFromFlags("12345:\nCould not find flags\n", 17));
    EXPECT_FALSE(layoutFromFlags("     bool UseCompressedOops = true {}\n      int ObjectAlignmentInBytes = 12 {}\n", 17))
        << "an alignment that is no power of two is no layout to trust";
}

TEST(PauseClock, SafepointTimeAndReachingTimeAdd)
{
    PerfData before;
    before.longs = {{"sun.rt.safepointTime", 5'000'000},
                    {"sun.rt.safepointSyncTime", 1'000'000},
                    {"sun.rt.safepoints", 7},
                    {"sun.os.hrt.frequency", 1'000'000'000}};
    PerfData after = before;
    after.longs["sun.rt.safepointTime"] += 480'000'000;
    after.longs["sun.rt.safepointSyncTime"] += 2'500'000;
    after.longs["sun.rt.safepoints"] += 2;
    const auto a = safepointClockOf(before), b = safepointClockOf(after);
    ASSERT_TRUE(a && b);
    const Pause pause = pauseBetween(*a, *b);
    EXPECT_DOUBLE_EQ(pause.ms, 482.5);
    EXPECT_DOUBLE_EQ(pause.reachingMs, 2.5);
    EXPECT_EQ(pause.safepoints, 2);

    PerfData noFrequency = before;
    noFrequency.longs.erase("sun.os.hrt.frequency");
    EXPECT_FALSE(safepointClockOf(noFrequency));
}
