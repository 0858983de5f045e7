#include "platform/Value.h"

#include <gtest/gtest.h>

using glowmere::Value;

namespace {

TEST(ValueReading, TextsReadAsNumbersByTheirLeadingDigits) {
    struct Case {
        const char* text;
        long long integer;
        double real;
    } cases[] = {
        {"7", 7, 7},       {"05", 5, 5},         {"10b2", 10, 10},     {"abc", 0, 0},
        {"  -12x", -12, -12}, {"+3", 3, 3},       {"254.00", 254, 254}, {"0.5", 0, 0.5},
        {"", 0, 0},        {"1e3", 1, 1000},     {"-0.25", 0, -0.25},  {".5", 0, 0.5},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(Value(c.text).integerValue(), c.integer) << c.text;
        EXPECT_DOUBLE_EQ(Value(c.text).doubleValue(), c.real) << c.text;
    }
}

TEST(ValueReading, BooleansFromTextsAndNumbers) {
    for (const char* yes : {"true", "YES", "yes", "T", "1", "7", " 0009", "Yellow"})
        EXPECT_TRUE(Value(yes).boolValue()) << yes;
    for (const char* no : {"false", "NO", "no", "0", "", "abc", "000", "-"}) EXPECT_FALSE(Value(no).boolValue()) << no;
    EXPECT_TRUE(Value(2).boolValue());
    EXPECT_TRUE(Value(0.5).boolValue());
    EXPECT_FALSE(Value(0).boolValue());
}

TEST(ValueReading, AbsentReadsAsFalseZeroOrEmpty) {
    Value record = Value::map({{"a", 1}});
    const Value& missing = record["nothing"];
    EXPECT_TRUE(missing.isNull());
    EXPECT_FALSE(missing.boolValue());
    EXPECT_EQ(missing.integerValue(), 0);
    EXPECT_EQ(missing.textValue(), "");
    EXPECT_FALSE(record.contains("nothing"));
    EXPECT_TRUE(Value(5)["x"].isNull());  // reading a non-map
}

TEST(ValueReading, NumbersAsText) {
    EXPECT_EQ(Value(254).textValue(), "254");
    EXPECT_EQ(Value(254.0).textValue(), "254");
    EXPECT_EQ(Value(0.1).textValue(), "0.1");
    EXPECT_EQ(Value(true).textValue(), "1");
    EXPECT_EQ(Value(1e300).intValue(), 2147483647);
}

TEST(ValueWriting, MapsAndListsBuildAndCompare) {
    Value v;
    v.set("b", 2);
    v.member("a").set("nested", "x");
    v.member("list").append(1);
    v.member("list").append("two");
    EXPECT_TRUE(v.isMap());
    EXPECT_EQ(v.size(), 3u);
    EXPECT_EQ(v["a"]["nested"].text(), "x");
    EXPECT_EQ(v["list"].at(1).text(), "two");
    EXPECT_TRUE(v["list"].at(5).isNull());
    Value copy = v;
    EXPECT_EQ(copy, v);
    copy.set("b", 3);
    EXPECT_FALSE(copy == v);
    EXPECT_TRUE(v.erase("b"));
    EXPECT_FALSE(v.erase("b"));
    EXPECT_NE(Value(1), Value(1.0));  // types are kept apart
}

}  // namespace
