#include "bridge/JsonText.h"

#include <gtest/gtest.h>

using glowmere::Value;
using namespace glowmere::jsontext;

namespace {

struct WriterCase {
    const char* what;
    Value input;
    const char* expected;
};

TEST(JsonWriter, WritesEachKindOfValueAsTheBridgeExpects) {
    const WriterCase cases[] = {
        {"empty dictionary", Value::emptyMap(), "{}"},
        {"null dictionary", Value(), "{}"},
        {"true and false texts are bare", Value::map({{"on", "true"}, {"off", "false"}}), R"({"off":false,"on":true})"},
        {"capitalised True is quoted", Value::map({{"k", "True"}}), R"({"k":"True"})"},
        {"array text is bare", Value::map({{"k", "[1,2]"}}), R"({"k":[1,2]})"},
        {"member list is bare", Value::map({{"lights", R"(["1","3"])"}}), R"({"lights":["1","3"]})"},
        {"whole number", Value::map({{"k", 300.0}}), R"({"k":300})"},
        {"negative real truncates toward zero", Value::map({{"k", -2.7}}), R"({"k":-2})"},
        {"brightness truncates", Value::map({{"bri", 200.7}}), R"({"bri":200})"},
        {"integer", Value::map({{"k", 18000}}), R"({"k":18000})"},
        {"huge number clamps to 32 bits", Value::map({{"k", 1e12}}), R"({"k":2147483647})"},
        {"nested dictionary", Value::map({{"command", Value::map({{"body", Value::map({{"on", "true"}})}})}}),
         R"({"command":{"body":{"on":true}}})"},
        {"empty text is an empty quoted text", Value::map({{"k", ""}}), R"({"k":""})"},
        {"booleans are JSON booleans", Value::map({{"on", true}}), R"({"on":true})"},
        {"example record", Value::map({{"on", "true"}, {"bri", 200.7}, {"name", "Hall"}}),
         R"({"bri":200,"name":"Hall","on":true})"},
    };
    for (const auto& c : cases) EXPECT_EQ(JSONFromDictionary(c.input), c.expected) << c.what;
}

TEST(JsonWriter, EscapesTextsSoNoNameCanInjectMembers) {
    // A lamp renamed to this must stay a name, not switch anything on.
    std::string written = JSONFromDictionary(Value::map({{"name", R"(x","on":true)"}}));
    EXPECT_EQ(written, R"({"name":"x\",\"on\":true"})");
    Value back = dictionaryOfDictionariesFromJSON(written);
    EXPECT_EQ(back.size(), 1u);
    EXPECT_EQ(back["name"].text(), R"(x","on":true)");

    EXPECT_EQ(JSONFromDictionary(Value::map({{"a\"b", "back\\slash\nline\x01"}})),
              R"({"a\"b":"back\\slash\nline\u0001"})");
    // A text that begins with a bracket but is no array is quoted.
    EXPECT_EQ(JSONFromDictionary(Value::map({{"name", R"([1],"on":true)"}})), R"({"name":"[1],\"on\":true"})");
    EXPECT_EQ(JSONFromDictionary(Value::map({{"name", "[old] lamp"}})), R"({"name":"[old] lamp"})");
}

TEST(JsonWriter, PassesUtf8Through) {
    EXPECT_EQ(JSONFromDictionary(Value::map({{"name", "Küche 客厅"}})), "{\"name\":\"Küche 客厅\"}");
}

TEST(NestingReader, ReadsTheWorkedExamples) {
    Value group =
        dictionaryOfDictionariesFromJSON(R"({"action":{"on":true,"bri":254},"lights":["1","2"],"name":"Hall"})");
    EXPECT_EQ(group["action"]["on"].text(), "true");
    EXPECT_EQ(group["action"]["bri"].text(), "254");
    EXPECT_EQ(group["lights"].text(), R"(["1","2"])");
    EXPECT_EQ(group["name"].text(), "Hall");

    Value portal = dictionaryOfDictionariesFromJSON(R"([{"id":"001","internalipaddress":"192.168.1.2"}])");
    EXPECT_EQ(portal["id"].text(), "001");
    EXPECT_EQ(portal["internalipaddress"].text(), "192.168.1.2");

    Value error = dictionaryOfDictionariesFromJSON(R"({"type":7|"address":""|"description":"some text)");
    EXPECT_EQ(error["type"].text(), "7");
    EXPECT_EQ(error["address"].text(), "");
    EXPECT_EQ(error["description"].text(), "some text");
}

TEST(NestingReader, KeepsItsOddCorners) {
    // The last member loses the closing bracket of its array; elsewhere it stays.
    // (The trailing quote goes too: quotes are trimmed from every value's ends.)
    EXPECT_EQ(dictionaryOfDictionariesFromJSON(R"({"a":"x","lights":["1","2"]})")["lights"].text(), R"(["1","2)");
    EXPECT_EQ(dictionaryOfDictionariesFromJSON(R"({"lights":["1","2"],"a":"x"})")["lights"].text(), R"(["1","2"])");
    // Colons in values are kept; a key with a colon is cut at it.
    EXPECT_EQ(dictionaryOfDictionariesFromJSON(R"({"t":"10:30"})")["t"].text(), "10:30");
    EXPECT_EQ(dictionaryOfDictionariesFromJSON(R"({"a:b":"v"})")["a"].text(), R"(b":"v)");
    // A bar outside quotes splits there (the flat reader's bars rely on it).
    Value barred = dictionaryOfDictionariesFromJSON(R"({"name":a|b:c})");
    EXPECT_EQ(barred["name"].text(), "a");
    EXPECT_EQ(barred["b"].text(), "c");
    // Two portal entries: the last address wins, the first id stays.
    Value two =
        dictionaryOfDictionariesFromJSON(R"([{"id":"a","internalipaddress":"x"},{"id":"b","internalipaddress":"y"}])");
    EXPECT_EQ(two["id"].text(), "a");
    EXPECT_EQ(two["internalipaddress"].text(), "y");
    // Only spaces and quotes are trimmed: pretty-printed keys keep their line breaks.
    Value pretty = dictionaryOfDictionariesFromJSON("{\n  \"a\": \"x\",\n  \"b\": 2\n}");
    EXPECT_EQ(pretty["\n  \"a"].text(), "x");
    EXPECT_EQ(pretty["\n  \"b"].text(), "2\n");
    // Numbers, booleans and null come back as text.
    Value scalars = dictionaryOfDictionariesFromJSON(R"({"n":254,"t":true,"f":false,"z":null})");
    EXPECT_EQ(scalars["n"].text(), "254");
    EXPECT_EQ(scalars["t"].text(), "true");
    EXPECT_EQ(scalars["f"].text(), "false");
    EXPECT_EQ(scalars["z"].text(), "null");
    // Pieces without a colon are dropped; absent or empty input gives an empty map.
    EXPECT_EQ(dictionaryOfDictionariesFromJSON(R"({"a":"1",junk,"b":"2"})").size(), 2u);
    EXPECT_TRUE(dictionaryOfDictionariesFromJSON(std::optional<std::string>()).isMap());
    EXPECT_TRUE(dictionaryOfDictionariesFromJSON("").empty());
    // Later pieces with the same key replace earlier ones.
    EXPECT_EQ(dictionaryOfDictionariesFromJSON(R"({"a":"1","a":"2"})")["a"].text(), "2");
}

TEST(NestingReader, HonoursEscapesInsideTexts) {
    Value v = dictionaryOfDictionariesFromJSON(R"({"name":"say \"hi\", then go","n":1})");
    EXPECT_EQ(v["name"].text(), R"(say "hi", then go)");
    EXPECT_EQ(v["n"].text(), "1");
    Value tail = dictionaryOfDictionariesFromJSON(R"({"name":"ends in \"quote\""})");
    EXPECT_EQ(tail["name"].text(), R"(ends in "quote")");
    Value slash = dictionaryOfDictionariesFromJSON(R"({"path":"c:\\dir\\","x":"y"})");
    EXPECT_EQ(slash["path"].text(), R"(c:\dir\)");
    EXPECT_EQ(slash["x"].text(), "y");
    Value unicode = dictionaryOfDictionariesFromJSON(R"({"name":"K\u00fcche \ud83d\udca1"})");
    EXPECT_EQ(unicode["name"].text(), "Küche \xF0\x9F\x92\xA1");
}

// Whatever a name holds, it reads back exactly, and the members after it
// are all there: through the nesting reader (lamp and group lists) and
// through the flat reader's value read again (the request layer's errors).
TEST(NestingReader, ReadsEveryNameBackExactly) {
    const std::string names[] = {
        "Desk | left", "Shelf [2",    "Shelf [2]",      "a]b",           "{curly",
        "curly}",      "comma, then", "say \"hi\"",     "back\\slash\\", "tab\there",
        "line\nbreak", "bell\x07",    "esc\x1b[31mred", "colon: yes",    "",
    };
    for (const std::string& name : names) {
        const std::string quoted = "\"" + escapeJSONText(name) + "\"";
        Value list =
            dictionaryOfDictionariesFromJSON(R"({"1":{"name":)" + quoted + R"(,"type":"x"},"2":{"name":"Two"}})");
        EXPECT_EQ(list["1"]["name"].textValue(), name) << name;
        EXPECT_EQ(list["1"]["type"].textValue(), "x") << name;
        EXPECT_EQ(list["2"]["name"].textValue(), "Two") << name;

        Value flat = dictionaryFromJSON(R"([{"error":{"type":7,"description":)" + quoted + R"(,"address":"/x"}}])");
        ASSERT_EQ(flat.size(), 1u) << name;
        for (Value inner :
             {dictionaryFromJSON(flat["error"].text()), dictionaryOfDictionariesFromJSON(flat["error"].text())}) {
            EXPECT_EQ(inner["description"].textValue(), name) << name;
            EXPECT_EQ(inner["address"].textValue(), "/x") << name;
        }
        Value array = arrayOfDictionariesFromJSON(R"([{"name":)" + quoted + R"(},{"name":"b"}])");
        ASSERT_EQ(array.size(), 2u) << name;
        EXPECT_EQ(array.at(0)["name"].textValue(), name) << name;
    }
}

TEST(NestingReader, PassesUtf8Through) {
    Value v = dictionaryOfDictionariesFromJSON("{\"1\":{\"name\":\"Küche\"},\"2\":{\"name\":\"客厅\"}}");
    EXPECT_EQ(v["1"]["name"].text(), "Küche");
    EXPECT_EQ(v["2"]["name"].text(), "客厅");
}

TEST(NestingReader, StopsRecursingAtAFixedDepth) {
    std::string deep;
    for (int i = 0; i < 10000; ++i) deep += R"({"a":)";
    deep += "1";
    for (int i = 0; i < 10000; ++i) deep += "}";
    Value v = dictionaryOfDictionariesFromJSON(deep);  // must not blow the stack
    EXPECT_TRUE(v.contains("a"));
}

TEST(FlatReader, ReadsRepliesTheWayTheRequestLayerNeeds) {
    Value login = dictionaryFromJSON(R"([{"success":{"username":"abcdef0123456789"}}])");
    ASSERT_EQ(login.size(), 1u);
    EXPECT_EQ(login["success"].text(), R"({"username":"abcdef0123456789)");
    EXPECT_EQ(dictionaryFromJSON(login["success"].text())["username"].text(), "abcdef0123456789");

    Value error = dictionaryFromJSON(R"([{"error":{"type":7,"address":"","description":"some text"}}])");
    ASSERT_EQ(error.size(), 1u);
    EXPECT_EQ(error["error"].text(), R"({"type":7|"address":""|"description":"some text)");
    for (Value inner :
         {dictionaryFromJSON(error["error"].text()), dictionaryOfDictionariesFromJSON(error["error"].text())}) {
        EXPECT_EQ(inner["type"].text(), "7");
        EXPECT_EQ(inner["address"].text(), "");
        EXPECT_EQ(inner["description"].text(), "some text");
    }

    // Only the first result counts.
    Value mixed = dictionaryFromJSON(R"([{"success":{"id":"1"}},{"error":{"type":1}}])");
    EXPECT_EQ(mixed.size(), 1u);
    EXPECT_TRUE(mixed.contains("success"));

    EXPECT_EQ(dictionaryFromJSON(R"([{"success":"/groups/1 deleted"}])")["success"].text(), "/groups/1 deleted");
    EXPECT_TRUE(dictionaryFromJSON(std::optional<std::string>()).empty());
}

TEST(FlatReader, KeepsEscapesForTheSecondReading) {
    Value first = dictionaryFromJSON(
        R"([{"error":{"type":7,"address":"/lights/1","description":"invalid value, \"a,b\", for parameter, name"}}])");
    Value inner = dictionaryFromJSON(first["error"].text());
    EXPECT_EQ(inner["description"].text(), R"(invalid value, "a,b", for parameter, name)");
    EXPECT_EQ(inner["address"].text(), "/lights/1");
}

TEST(ArrayReader, ReadsOneDictionaryPerObject) {
    Value list =
        arrayOfDictionariesFromJSON(R"([{"id":"a","internalipaddress":"x"},{"id":"b","internalipaddress":"y"}])");
    ASSERT_EQ(list.size(), 2u);
    EXPECT_EQ(list.at(0)["internalipaddress"].text(), "x");
    EXPECT_EQ(list.at(1)["id"].text(), "b");
    Value empty = arrayOfDictionariesFromJSON(std::optional<std::string>());
    ASSERT_EQ(empty.size(), 1u);
    EXPECT_TRUE(empty.at(0).empty());
}

TEST(JsonArraySyntax, TellsArraysFromOtherText) {
    EXPECT_TRUE(isJSONArrayText(R"(["1","3"])"));
    EXPECT_TRUE(isJSONArrayText("[1, 2.5e3, true, null, {\"a\": [ ]}]"));
    EXPECT_TRUE(isJSONArrayText("[]"));
    EXPECT_FALSE(isJSONArrayText("[1,2"));
    EXPECT_FALSE(isJSONArrayText(R"([1],"on":true)"));
    EXPECT_FALSE(isJSONArrayText("[01x]"));
    EXPECT_FALSE(isJSONArrayText(R"(["a\q"])"));
}

}  // namespace
