#include <gtest/gtest.h>

#include <QRect>

#include "gui/widgets/ViewWidgets.h"
#include "gui/widgets/WindowPlacement.h"
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

TEST(GeometryTest, APopoverOpensBesideItsAnchorInsideTheWindowWhereItHasRoom) {
    const QRect screen(0, 0, 960, 540), window(100, 50, 700, 460);
    struct Case {
        const char* what;
        QRect anchor;
        Side preferred;
        QRect window;
        QRect expected;
    };
    const Case cases[] = {
        // 4 pixels between the popover and the anchor.
        {"above, centred on the anchor", {300, 400, 34, 26}, Side::Above, window, {266, 297, 100, 100}},
        // No room above inside the window: below instead.
        {"flipped below", {300, 80, 34, 26}, Side::Above, window, {266, 109, 100, 100}},
        // Centred it would stick out on the left: slid along the anchor's side.
        {"slid right", {110, 400, 34, 26}, Side::Above, window, {100, 297, 100, 100}},
        {"under a toolbar button", {500, 60, 80, 24}, Side::Below, window, {489, 87, 100, 100}},
        // A window too small for it: beside the anchor on the screen.
        {"outside a small window", {300, 400, 34, 26}, Side::Above, {280, 390, 80, 60}, {266, 297, 100, 100}},
        // At the screen's top edge: slid down onto the screen, still beside it.
        {"slid onto the screen", {10, 10, 20, 20}, Side::Right, {0, 0, 50, 50}, {33, 0, 100, 100}},
    };
    for (const auto& c : cases)
        EXPECT_EQ(popoverRect(c.anchor, QSize(100, 100), c.preferred, c.window, screen), c.expected) << c.what;
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
        {"http://host", std::nullopt},                                // a URL, not an address
        {" https://bridge.local:8443", "https://bridge.local:8443"},  // HTTPS only, kept as written
        {"https://", std::nullopt},
        {"https://host/api", std::nullopt},
        {"host/api", std::nullopt},  // would change the request's path
        {"host name", std::nullopt},
        {"-host", std::nullopt},
        {"host.", std::nullopt},
        {"h\xc3\xa4st", std::nullopt},
    };
    for (const auto& c : cases) EXPECT_EQ(normalizedBridgeAddress(c.text), c.expected) << '"' << c.text << '"';
}

}  // namespace
}  // namespace glowmere::gui
