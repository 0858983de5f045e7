#include "controller/StripLayout.h"

#include <gtest/gtest.h>

#include "controls/ControlStripView.h"
#include "support/FakeViews.h"

namespace glowmere {
namespace {

using testing::FakeMainWindow;

// Four lamp strips "a".."d" in the bridge's order, placed as set-up places
// them, over a store the test keeps.
struct Window {
    explicit Window(platform::DefaultsStore& store) : defaults(store) {}

    void build() {
        strips.clear();
        layout.clear();
        for (const char* id : {"a", "b", "c", "d"}) {
            auto strip = std::make_unique<LampControlStrip>();
            strip->setID(id);
            strip->setControlStripView(std::make_unique<ControlStripView>(
                std::make_shared<platform::View>("SingleControl", platform::Rect{{0, 0}, {95, 400}})));
            strips.push_back(std::move(strip));
            layout.place(*strips.back());
        }
    }
    LampControlStrip& operator[](char id) { return *strips[static_cast<std::size_t>(id - 'a')]; }
    std::string order() const {
        std::string text;
        for (LampControlStrip* strip : layout.displayOrder()) text += strip->getID();
        return text;
    }

    platform::DefaultsStore& defaults;
    FakeMainWindow panel;
    StripLayout::Strips strips;
    StripLayout layout{strips, defaults, panel};
};

TEST(StripLayoutTest, MovesSwapWithTheNextShownStripAndSurviveARebuild) {
    struct Case {
        const char* what;
        const char* hidden;  // hidden before the move
        char strip;
        int step;
        bool moved;
        const char* order;
    } cases[] = {
        {"right by one", "", 'b', +1, true, "acbd"},
        {"left by one", "", 'c', -1, true, "acbd"},
        {"first strip leftwards: nowhere to go", "", 'a', -1, false, "abcd"},
        {"last strip rightwards: nowhere to go", "", 'd', +1, false, "abcd"},
        {"a hidden neighbour is jumped", "c", 'b', +1, true, "adcb"},
        {"only hidden strips beyond: stays", "cd", 'b', +1, false, "abcd"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        platform::DefaultsStore defaults;
        Window window(defaults);
        window.build();
        for (const char* id = c.hidden; *id; ++id) window.layout.hide(window[*id]);
        EXPECT_EQ(window.layout.move(window[c.strip], c.step), c.moved);
        EXPECT_EQ(window.order(), c.order);
        window.layout.save();

        // A rebuild reads the arrangement back from the stored state.
        window.build();
        EXPECT_EQ(window.order(), c.order);
        for (const char* id = c.hidden; *id; ++id) {
            EXPECT_TRUE(window.layout.isHidden(window[*id]));
            EXPECT_TRUE(window[*id].mainView()->isHidden());
        }
    }
}

TEST(StripLayoutTest, HiddenStripsTakeNoRoomAndComeBackInTheirPlaces) {
    platform::DefaultsStore defaults;
    Window window(defaults);
    window.build();
    window.layout.hide(window['b']);
    window.layout.arrange();
    auto x = [&](char id) { return window[id].mainView()->frame().origin.x; };
    EXPECT_EQ(x('a'), StripLayout::stripMargin);
    EXPECT_EQ(x('c'), StripLayout::stripMargin + StripLayout::stripPitch);
    EXPECT_EQ(window.panel.frame().size.width, StripLayout::minimumWindowWidth);

    window.layout.showHidden();
    window.layout.arrange();
    EXPECT_FALSE(window['b'].mainView()->isHidden());
    EXPECT_EQ(x('c'), StripLayout::stripMargin + 2 * StripLayout::stripPitch);
    EXPECT_EQ(window.panel.frame().size.width, StripLayout::stripMargin + 4 * StripLayout::stripPitch + 156);
}

}  // namespace
}  // namespace glowmere
