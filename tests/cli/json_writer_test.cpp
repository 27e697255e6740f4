#include "json_writer.h"

#include <gtest/gtest.h>

namespace {

TEST(JsonWriter, NestedDocumentWithCommasInTheirPlaces)
{
    JsonWriter w;
    w.beginObject();
    w.key("a").beginArray().value(1LL).value("x").null().flag(false).endArray();
    w.key("b").beginObject().key("c").count(-1).key("d").count(7).endObject();
    w.key("e").beginArray().endArray();
    w.endObject();
    EXPECT_EQ(w.text(), "{\"a\":[1,\"x\",null,false],\"b\":{\"c\":null,\"d\":7},\"e\":[]}\n");
}

TEST(JsonWriter, StringsEscapedAndInvalidUtf8Replaced)
{
    EXPECT_EQ(jsonString("a\"b\\c\n\t\x01\x7f"), "\"a\\\"b\\\\c\\n\\t\\u0001\\u007f\"");
    EXPECT_EQ(jsonString("caf\xC3\xA9 \xF0\x9F\x98\x80"), "\"caf\xC3\xA9 \xF0\x9F\x98\x80\"");
    // A stray continuation byte, a cut sequence, an overlong form, an encoded surrogate.
    EXPECT_EQ(jsonString("\x80|\xC3|\xC0\xAF|\xED\xA0\x80"),
              "\"\xEF\xBF\xBD|\xEF\xBF\xBD|\xEF\xBF\xBD\xEF\xBF\xBD|\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD\"");
}

TEST(JsonWriter, AgentFiguresStayNumbersOnlyWhenJsonSaysSo)
{
    for (const char* number : {"0", "12", "-3", "1.25", "0.5", "2e3", "1.5E-2"})
        EXPECT_TRUE(isJsonNumber(number)) << number;
    for (const char* text : {"", "-", "01", "1.", ".5", "1e", "NaN", "inf", "0x10", "strong", "1 "})
        EXPECT_FALSE(isJsonNumber(text)) << text;
    JsonWriter w;
    w.beginArray().numberText("1.25").numberText("weak").endArray();
    EXPECT_EQ(w.text(), "[1.25,\"weak\"]\n");
}

}  // namespace
