#include <gtest/gtest.h>

#include <QRect>

#include "gui/widgets/ViewWidgets.h"
#include "gui/windows/SettingsWindow.h"

namespace glowmere::gui {
namespace {

using platform::Rect;

TEST(GeometryTest, FramesFlipFromYUpToTheWidgetsYDown) {
    struct Case {
        Rect frame;
        double rotation;
        double parentHeight;
        QRect expected;
    };
    const Case cases[] = {
        // An unfolded strip at (20, 20) in a 478-point window: its top edge
        // lies 478 - 458 = 20 from the window's top.
        {{{20, 20}, {95, 438}}, 0, 478, QRect(20, 20, 95, 438)},
        {{{115, 20}, {95, 438}}, 0, 478, QRect(115, 20, 95, 438)},
        // A folded strip (34 high, turned 90 degrees about its origin) at
        // (48, 363): it stands upright to the left of x = 48, 95 high.
        {{{48, 363}, {95, 34}}, 90, 478, QRect(14, 20, 34, 95)},
        // A checkbox in a 20-point selection row.
        {{{57.5, 0}, {18, 18}}, 0, 20, QRect(58, 2, 18, 18)},
        {{{0, 0}, {0, 0}}, 0, 0, QRect(0, 0, 0, 0)},
    };
    for (const auto& c : cases)
        EXPECT_EQ(toWidgetRect(c.frame, c.rotation, c.parentHeight), c.expected)
            << c.frame.origin.x << "," << c.frame.origin.y << " rotated " << c.rotation;
}

TEST(BridgeAddressTest, AcceptsHostsAndHostPortAndRejectsTheRest) {
    struct Case {
        const char* text;
        std::optional<std::string> expected;
    };
    const Case cases[] = {
        {"192.168.1.20", "192.168.1.20"},
        {"  bridge.local:8080 ", "bridge.local:8080"},
        {"127.0.0.1:65535", "127.0.0.1:65535"},
        {"my-bridge", "my-bridge"},
        {"", std::nullopt},
        {"   ", std::nullopt},
        {"host:", std::nullopt},
        {"host:0", std::nullopt},
        {"host:65536", std::nullopt},
        {"host:80a", std::nullopt},
        {":80", std::nullopt},
        {"http://host", std::nullopt},  // a URL, not an address
        {"host/api", std::nullopt},     // would change the request's path
        {"host name", std::nullopt},
        {"-host", std::nullopt},
        {"host.", std::nullopt},
        {"h\xc3\xa4st", std::nullopt},
    };
    for (const auto& c : cases) EXPECT_EQ(normalizedBridgeAddress(c.text), c.expected) << '"' << c.text << '"';
}

}  // namespace
}  // namespace glowmere::gui
