#include "signature_names.h"

#include <gtest/gtest.h>

namespace {

TEST(SignatureNames, CaptionTable)
{
    const struct {
        const char* signature;
        const char* caption;
    } cases[] = {
        {"I ", "int"},
        {"Z", "boolean"},
        {"B", "byte"},
        {"C", "char"},
        {"S", "short"},
        {"J", "long"},
        {"F", "float"},
        {"D", "double"},
        {"V", "V"},
        {"Ljava/lang/String; ", "java/lang/String"},
        {"[I ", "int[]"},
        {"[[I", "int[][]"},
        {"[Ljava/lang/Object; ", "java/lang/Object[]"},
        {"[[Ljava/util/HashMap$Node;", "java/util/HashMap$Node[][]"},
        {"L", "L"},
        {"[", "["},
        {"[[", "[[]"},
        {"Lx", ""},
        {"Q123", "Q123"},
        {"", ""},
        {"I trailing text", "int"},
        {"i", "i"},
    };
    const TraceLog quiet;
    for (const auto& c : cases)
        EXPECT_EQ(convSignature(c.signature, quiet), c.caption) << "signature \"" << c.signature << '"';
}

std::string traced(std::string_view signature, std::string* caption = nullptr)
{
    std::string log;
    const TraceLog trace(1, [&log](std::string_view text) { log += text; });
    const std::string result = convSignature(signature, trace);
    if (caption)
        *caption = result;
    return log;
}

TEST(SignatureNames, ClassTrace)
{
    EXPECT_EQ(traced("Ljava/lang/String; "),
              "convSignature\r\nLjava/lang/String; \r\n"
              "strlen(s)=18\r\n*(s+len-1)=';'\r\n"
              "L\r\njava/lang/String\r\n"
              "convSignature end\r\n");
}

TEST(SignatureNames, PrimitiveLookupTracesEntriesUpToTheMatch)
{
    EXPECT_EQ(traced("B "),
              "convSignature\r\nB \r\n"
              "strlen(s)=1\r\n*(s+len-1)='B'\r\n"
              "sign[i].c_str()=Z\r\nsign[i].c_str()=B\r\nbyte"
              "convSignature end\r\n");

    std::string caption;
    const std::string log = traced("V", &caption);
    EXPECT_EQ(caption, "V");
    EXPECT_EQ(log,
              "convSignature\r\nV\r\n"
              "strlen(s)=1\r\n*(s+len-1)='V'\r\n"
              "sign[i].c_str()=Z\r\nsign[i].c_str()=B\r\nsign[i].c_str()=C\r\nsign[i].c_str()=S\r\n"
              "sign[i].c_str()=I\r\nsign[i].c_str()=J\r\nsign[i].c_str()=F\r\nsign[i].c_str()=D\r\n"
              "convSignature end\r\n");
}

TEST(SignatureNames, EachDimensionIsANestedBracket)
{
    EXPECT_EQ(traced("[[I "),
              "convSignature\r\n[[I \r\nstrlen(s)=3\r\n*(s+len-1)='I'\r\n[\r\n"
              "convSignature\r\n[I\r\nstrlen(s)=2\r\n*(s+len-1)='I'\r\n[\r\n"
              "convSignature\r\nI\r\nstrlen(s)=1\r\n*(s+len-1)='I'\r\n"
              "sign[i].c_str()=Z\r\nsign[i].c_str()=B\r\nsign[i].c_str()=C\r\nsign[i].c_str()=S\r\n"
              "sign[i].c_str()=I\r\nint"
              "convSignature end\r\nconvSignature end\r\nconvSignature end\r\n");
}

TEST(SignatureNames, EmptyTextStopsAtItsMissingLastCharacter)
{
    EXPECT_EQ(traced(""), "convSignature\r\n\r\nstrlen(s)=0\r\n*(s+len-1)='\r\nconvSignature end\r\n");
    EXPECT_EQ(traced("Q12 x"), "convSignature\r\nQ12 x\r\nstrlen(s)=3\r\n*(s+len-1)='2'\r\nQ\r\nconvSignature end\r\n");
}

TEST(SignatureNames, DeepArraysDoNotExhaustTheStack)
{
    const std::string signature = std::string(1000000, '[') + "J";
    std::string expected = "long";
    for (int i = 0; i < 1000000; ++i)
        expected += "[]";
    EXPECT_EQ(convSignature(signature, TraceLog()), expected);
}

TEST(SignatureNames, NothingTracedBelowLevelOne)
{
    int calls = 0;
    convSignature("[Ljava/lang/Object; ", TraceLog(0, [&calls](std::string_view) { ++calls; }));
    convSignature("I", TraceLog(-1, [&calls](std::string_view) { ++calls; }));
    EXPECT_EQ(calls, 0);
}

}  // namespace
