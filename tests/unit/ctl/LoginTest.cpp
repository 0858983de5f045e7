#include <gtest/gtest.h>

#include <sstream>

#include "ctl/BridgeCommands.h"
#include "ctl/Command.h"
#include "platform/DefaultsStore.h"
#include "platform/Log.h"
#include "support/FakeHttpClient.h"
#include "support/TempDir.h"

namespace glowmere::ctl {
namespace {

constexpr const char* address = "10.0.0.2:8080";
constexpr const char* linkButtonError =
    R"([{"error":{"type":101,"address":"","description":"link button not pressed"}}])";

std::string waitLine(int secondsLeft) {
    return std::string("Press the link button on the bridge at ") + address + " now: " + (secondsLeft < 10 ? " " : "") +
           std::to_string(secondsLeft) + " s left";
}

// `glowmerectl --bridge ADDRESS login` on a scripted bridge whose link button
// is pressed before the given attempt (0: never), with virtual time running
// through login's pauses.
TEST(LoginTest, CountsDownOnOneLineAndSaysWhyPairingFailed) {
    struct Case {
        const char* name;
        bool terminal;
        int pressedAt;  // attempt that finds the button pressed; 0 never, -1 no bridge answers
        int status;
        std::string out;
        std::string err;
    } cases[] = {
        // A log or pipe: a line about every 10 s, then the reason.
        {"never pressed, to a pipe", false, 0, 1,
         waitLine(75) + "\n" + waitLine(65) + "\n" + waitLine(55) + "\n" + waitLine(45) + "\n" + waitLine(35) + "\n" +
             waitLine(25) + "\n" + waitLine(15) + "\n" + waitLine(5) + "\n",
         "glowmerectl: login failed: the link button was not pressed within 75 s\n"},
        // A terminal: the one line rewritten each attempt, ended when paired.
        {"pressed on a terminal", true, 3, 0,
         "\r" + waitLine(75) + "\r" + waitLine(73) + "\r" + waitLine(70) + "\npaired with the bridge at " + address +
             "\n",
         ""},
        // No answer is no link-button question.
        {"no bridge", false, -1, 1, waitLine(75) + "\n",
         std::string("glowmerectl: login failed: could not reach the bridge at ") + address + "\n"},
    };
    platform::LogCapture quiet;  // thirty refusals in the log are no news here
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        testing::TempDir profile;
        platform::DefaultsStore defaults(profile.path());
        testing::FakeHttpClient http;
        platform::FakeClock clock;
        clock.setAutoAdvance(true);
        if (c.pressedAt >= 0) {
            http.reply("POST", "/api", R"([{"success":{"username":"paired-name"}}])");
            http.reply("POST", "/api", linkButtonError, c.pressedAt == 0 ? -1 : c.pressedAt - 1);
        }
        BridgeBridge bridge(http, defaults, clock);
        bridge.setBridgeIP(std::string(address));
        std::ostringstream out, err;
        PairingCountdown countdown(out, c.terminal);
        bridge.setLoginObserver([&](int attempt) { countdown.attempt(attempt, address); });
        LogRecorder log;
        Context ctx{defaults, bridge, log, out, err, false, false, std::string(address), std::nullopt, &countdown};
        CommandTable table;
        addBridgeCommands(table);
        const auto login = std::find_if(table.begin(), table.end(), [](const Command& c) { return c.name == "login"; });
        ASSERT_NE(login, table.end());

        EXPECT_EQ(login->run(ctx, {}), c.status);
        EXPECT_EQ(out.str(), c.out);
        EXPECT_EQ(err.str(), c.err);
        // Paired through --bridge: the address is kept with the name.
        platform::DefaultsStore stored(profile.path());
        EXPECT_EQ(stored.stringForKey("lastusedbridgeIP"), c.status == 0 ? address : "");
        EXPECT_EQ(stored.stringForKey("username"), c.status == 0 ? "paired-name" : "");
    }
}

}  // namespace
}  // namespace glowmere::ctl
