#include "platform/PropertyList.h"

#include <gtest/gtest.h>

#include <chrono>
#include <limits>

using glowmere::Value;
using namespace glowmere::platform;

namespace {

Value sample() {
    Value v;
    v.set("text", "Küche <&> \"quoted\" \t tab\r\nline");
    v.set("spaces", "  padded  ");
    v.set("empty", "");
    v.set("integer", -42);
    v.set("big", static_cast<long long>(1) << 60);
    v.set("real", 0.1);
    v.set("whole real", 30.0);
    v.set("tiny", std::numeric_limits<double>::denorm_min());
    v.set("yes", true);
    v.set("no", false);
    v.set("date", Value::Date(std::chrono::sys_days(std::chrono::year(2012) / 6 / 14) + std::chrono::hours(5)));
    v.set("list", Value::list({1, "two", Value::list({3.5}), Value::map({{"k", "v"}}), Value::emptyList()}));
    v.member("deep").member("a").member("b").member("c").set("d", Value::list({Value::map({{"e", false}})}));
    v.set("emptymap", Value::emptyMap());
    return v;
}

TEST(PropertyList, EveryTypeRoundTripsExactly) {
    Value original = sample();
    auto back = readPropertyList(writePropertyList(original));
    ASSERT_TRUE(back);
    for (const auto& [key, value] : original.asMap()) EXPECT_EQ((*back)[key], value) << key << ": " << (*back)[key].debugString();
    EXPECT_EQ(*back, original);
}

TEST(PropertyList, RejectsWhatIsNotAPropertyList) {
    const char* bad[] = {
        "",
        "not xml at all",
        "<plist><dict><key>a</key></dict></plist>",
        "<plist><dict><string>x</string></dict></plist>",
        "<plist><integer>12x</integer></plist>",
        "<plist><real>abc</real></plist>",
        "<plist><date>yesterday</date></plist>",
        "<plist><widget/></plist>",
        "<plist></plist>",
        "<other><dict/></other>",
        "<plist><dict><key>a</key><string>unterminated</dict></plist>",
    };
    for (const char* text : bad) {
        std::string error;
        EXPECT_FALSE(readPropertyList(text, &error)) << text;
        EXPECT_FALSE(error.empty()) << text;
    }
}

TEST(PropertyList, ReadsOtherWritersLayout) {
    auto v = readPropertyList(R"(<?xml version="1.0" encoding="UTF-8"?>
<!DOCTYPE plist PUBLIC "-//Apple//DTD PLIST 1.0//EN" "http://www.apple.com/DTDs/PropertyList-1.0.dtd">
<plist version="1.0">
<dict>
    <key>version</key>
    <string>1.2</string>
    <key>count</key>
    <integer>3</integer>
</dict>
</plist>)");
    ASSERT_TRUE(v);
    EXPECT_EQ((*v)["version"].text(), "1.2");
    EXPECT_EQ((*v)["count"].integerValue(), 3);
}

}  // namespace
