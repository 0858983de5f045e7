#include <QtTest/qtestspontaneevent.h>
#include <QAbstractButton>
#include <QApplication>
#include <QCheckBox>
#include <QContextMenuEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QPushButton>
#include <QScreen>
#include <QScrollArea>
#include <QScrollBar>
#include <QStatusBar>
#include <QTest>
#include <QTimer>
#include <QToolBar>
#include <QWheelEvent>
#include <iostream>
#include <nlohmann/json.hpp>

#include "GuiHarness.h"
#include "controller/ControllerSettings.h"
#include "controller/ManualController.h"
#include "controls/LampControlStrip.h"
#include "gui/adapters/QtMainWindow.h"
#include "gui/adapters/QtStatusItem.h"
#include "gui/widgets/ControlWidgets.h"
#include "gui/widgets/ViewWidgets.h"
#include "gui/windows/CommandBar.h"
#include "gui/windows/MainWindowWidget.h"
#include "gui/windows/PushLinkWindow.h"
#include "gui/windows/SettingsWindow.h"
#include "platform/DefaultsStore.h"
#include "platform/Log.h"

namespace glowmere::testing {
namespace {

using MainWindowTest = GuiTest;
using nlohmann::json;
using namespace std::chrono_literals;
using gui::CommandBar;

QWidget* controlWidget(AppUnderTest& t, std::size_t strip, int tag) {
    auto* widget = t.stripWidget(strip);
    return widget ? t.app().context().widgetFor(widget->view().subviewWithTag(tag)) : nullptr;
}

// The visible button titled `text` in any window, or none.
QPushButton* visibleButton(const QString& text) {
    for (QWidget* top : QApplication::topLevelWidgets())
        for (auto* b : top->findChildren<QPushButton*>())
            if (b->isVisible() && b->text() == text) return b;
    return nullptr;
}

QLineEdit* visibleLineEdit() {
    for (QWidget* top : QApplication::topLevelWidgets())
        if (top->isVisible() && top->windowFlags() & (Qt::Popup | Qt::Tool))
            for (auto* e : top->findChildren<QLineEdit*>())
                if (e->isVisible()) return e;
    return nullptr;
}

// A question is answered from a timer once its alert shows.
void answerNextAlert(const QString& button) {
    auto* timer = new QTimer(qApp);
    timer->setInterval(20);
    QObject::connect(timer, &QTimer::timeout, [timer, button] {
        for (QWidget* top : QApplication::topLevelWidgets()) {
            auto* box = qobject_cast<QMessageBox*>(top);
            if (!box || !box->isVisible()) continue;
            for (QAbstractButton* b : box->buttons())
                if (b->text() == button) {
                    timer->stop();
                    timer->deleteLater();
                    b->click();
                    return;
                }
        }
    });
    timer->start();
}

void click(CommandBar::Command command, AppUnderTest& t) {
    t.app().mainWindow().commandBar().action(command)->trigger();
}

int rebuilds(AppUnderTest& t) {
    int n = 0;
    t.onController([&] { n = t.app().manualController().rebuildCount(); });
    return n;
}

TEST_F(MainWindowTest, RenamingALampThroughItsPopoverReachesTheBridgeAndTheStrip) {
    AppUnderTest t(house(2, 0));
    ASSERT_TRUE(t.waitForStrips(2));
    t.sim().clearRequestLog();
    QTest::mouseClick(controlWidget(t, 0, 6), Qt::LeftButton);
    QLineEdit* field = nullptr;
    ASSERT_TRUE(pumpUntil([&] { return (field = visibleLineEdit()) && field->text() == "Hall"; }));
    field->setFocus();
    field->selectAll();
    QTest::keyClicks(field, "Hall by the door");
    QTest::keyClick(field, Qt::Key_Return);
    ASSERT_TRUE(pumpUntil([&] { return !requestsTo(t.sim(), "PUT", "/lights/1").empty(); }));
    const auto puts = requestsTo(t.sim(), "PUT", "/lights/1");
    ASSERT_EQ(puts.size(), 1u);
    EXPECT_EQ(json::parse(puts[0].body), json({{"name", "Hall by the door"}}));
    EXPECT_TRUE(pumpUntil([&] { return t.labelText(0) == "Hall by the door"; })) << t.labelText(0).toStdString();
    EXPECT_NE(t.sim().state().find("Hall by the door"), std::string::npos);
    EXPECT_TRUE(pumpUntil([&] { return !visibleLineEdit(); })) << "Return closes the popover";

    // What the field holds is trimmed and cut to 32 characters; a blank name
    // sends nothing and keeps the old one; a name the bridge refuses (it
    // counts bytes: twenty "ü" are forty) shows in the status line in plain words.
    auto rename = [&](const QString& text) {
        QTest::mouseClick(controlWidget(t, 0, 6), Qt::LeftButton);
        ASSERT_TRUE(pumpUntil([&] { return (field = visibleLineEdit()) != nullptr; }));
        field->setFocus();
        field->setText(text);  // typed keys are ASCII only
        QTest::keyClick(field, Qt::Key_Return);
        ASSERT_TRUE(pumpUntil([&] { return !visibleLineEdit(); }));
    };
    t.sim().clearRequestLog();
    rename("  " + QString(40, 'x'));
    ASSERT_TRUE(pumpUntil([&] { return !requestsTo(t.sim(), "PUT", "/lights/1").empty(); }));
    EXPECT_EQ(json::parse(requestsTo(t.sim(), "PUT", "/lights/1")[0].body), json({{"name", std::string(32, 'x')}}));
    t.sim().clearRequestLog();
    rename("   ");
    rename(QString(20, QChar(0xFC)));
    ASSERT_TRUE(pumpUntil([&] { return !requestsTo(t.sim(), "PUT", "/lights/1").empty(); }));
    EXPECT_EQ(requestsTo(t.sim(), "PUT", "/lights/1").size(), 1u) << "the blank name sent nothing";
    QStatusBar* status = t.app().mainWindow().widget()->statusBar();
    // The lamp goes by its name there (the one it had or the one refused).
    EXPECT_TRUE(pumpUntil([&] {
        return status->currentMessage().startsWith("The bridge refused a change to x") ||
               status->currentMessage().startsWith("The bridge refused a change to " + QString(20, QChar(0xFC)));
    })) << status->currentMessage().toStdString();
}

// A dusk runs on its strip: the switch stays on while the lamp fades, the
// moon button counts the minutes down, and the popover stops the fade.
TEST_F(MainWindowTest, ADuskShowsOnItsStripUntilStoppedFromTheMoonButton) {
    AppUnderTest t(house(2, 0, true));
    ASSERT_TRUE(t.waitForStrips(2));
    const int brightness = t.slider(0, 3)->value();
    ASSERT_TRUE(t.onOffSwitch(0)->isChecked());
    t.sim().clearRequestLog();
    auto* moon = qobject_cast<QPushButton*>(controlWidget(t, 0, 8));
    ASSERT_TRUE(moon);
    QTest::mouseClick(moon, Qt::LeftButton);
    QPushButton* start = nullptr;
    ASSERT_TRUE(pumpUntil([&] { return (start = visibleButton("Start")) != nullptr; }));
    auto says = [](QWidget* popover, const QString& text) {
        for (auto* label : popover->window()->findChildren<QLabel*>())
            if (label->text() == text) return true;
        return false;
    };
    EXPECT_TRUE(says(start, "Perform false dusk using Hall with transition time 30 minutes (set in Settings)"));
    start->click();
    ASSERT_TRUE(pumpUntil([&] { return !requestsTo(t.sim(), "PUT", "/lights/1/state").empty(); }));
    const json body = json::parse(requestsTo(t.sim(), "PUT", "/lights/1/state").back().body);
    EXPECT_EQ(body.value("transitiontime", -1), 30 * 600) << body.dump();
    EXPECT_TRUE(pumpUntil([&] { return !visibleButton("Start"); }));

    EXPECT_TRUE(pumpUntil([&] { return moon->text() == "30m"; })) << moon->text().toStdString();
    EXPECT_TRUE(moon->toolTip().contains("30 minutes left")) << moon->toolTip().toStdString();
    ASSERT_TRUE(t.fakeClock().waitForWaiters(3));
    t.fakeClock().advance(std::chrono::minutes(10));  // polls on the way read the fading lamp
    EXPECT_TRUE(pumpUntil([&] { return moon->text() == "20m"; })) << moon->text().toStdString();
    EXPECT_TRUE(t.onOffSwitch(0)->isChecked()) << "the lamp is on while it fades";

    t.sim().clearRequestLog();
    QTest::mouseClick(moon, Qt::LeftButton);
    QPushButton* stop = nullptr;
    ASSERT_TRUE(pumpUntil([&] { return (stop = visibleButton("Stop dusk")) != nullptr; }));
    EXPECT_TRUE(says(stop, "False dusk using Hall is running: 20 minutes left"));
    stop->click();
    ASSERT_TRUE(pumpUntil([&] { return !requestsTo(t.sim(), "PUT", "/lights/1/state").empty(); }));
    EXPECT_EQ(json::parse(requestsTo(t.sim(), "PUT", "/lights/1/state").back().body),
              json({{"on", true}, {"bri", brightness}, {"transitiontime", 0}}));
    EXPECT_TRUE(pumpUntil([&] { return moon->text().isEmpty() && !moon->icon().isNull(); }));
    EXPECT_TRUE(pumpUntil([&] { return t.slider(0, 3)->value() == brightness; }));
    EXPECT_TRUE(t.onOffSwitch(0)->isChecked());
}

// The popover on screen (a frameless panel showing a logic view), or none.
QWidget* visiblePopover() {
    for (QWidget* top : QApplication::topLevelWidgets())
        if (top->isVisible() && (top->windowType() == Qt::Popup || top->windowType() == Qt::Tool) &&
            top->findChild<gui::ViewWidget*>())
            return top;
    return nullptr;
}

TEST_F(MainWindowTest, EachPopoverOpensBesideItsButtonInsideTheWindowAndEscapeClosesIt) {
    AppUnderTest t(house(6, 1));
    ASSERT_TRUE(t.waitForStrips(7));
    QMainWindow* window = t.app().mainWindow().widget();
    window->show();
    ASSERT_TRUE(pumpUntil([&] { return window->isVisible(); }));
    CommandBar& bar = t.app().mainWindow().commandBar();
    auto commandButton = [&](CommandBar::Command command) {
        return bar.toolBar()->widgetForAction(bar.action(command));
    };
    struct Case {
        const char* name;
        std::function<QWidget*()> button;
        std::function<void()> open;
        bool below;  // under its button (the command bar's) rather than beside it
    };
    const Case cases[] = {
        {"rename", [&] { return controlWidget(t, 5, 6); },
         [&] { QTest::mouseClick(controlWidget(t, 5, 6), Qt::LeftButton); }, false},
        {"dusk", [&] { return controlWidget(t, 0, 8); },
         [&] { QTest::mouseClick(controlWidget(t, 0, 8), Qt::LeftButton); }, false},
        {"make group", [&] { return commandButton(CommandBar::Command::MakeGroup); },
         [&] { click(CommandBar::Command::MakeGroup, t); }, true},
        {"remove group", [&] { return commandButton(CommandBar::Command::RemoveGroup); },
         [&] { click(CommandBar::Command::RemoveGroup, t); }, true},
    };
    const QRect screen = window->screen()->availableGeometry();
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        t.sim().clearRequestLog();
        c.open();
        QWidget* popover = nullptr;
        ASSERT_TRUE(pumpUntil([&] { return (popover = visiblePopover()) != nullptr; }));
        pumpUntil([] { return false; }, 50);
        const QRect p = popover->frameGeometry();
        QWidget* button = c.button();
        const QRect b(button->mapToGlobal(QPoint(0, 0)), button->size());
        EXPECT_FALSE(p.intersects(b)) << "the button stays in sight";
        // Beside it: touching its side, within a few pixels, and overlapping it along that side.
        const int dx = std::max({0, b.left() - p.right(), p.left() - b.right()});
        const int dy = std::max({0, b.top() - p.bottom(), p.top() - b.bottom()});
        EXPECT_LE(dx + dy, 8) << "popover at " << p.x() << "," << p.y() << ", button at " << b.x() << "," << b.y();
        if (c.below) {
            EXPECT_GT(p.top(), b.bottom());
        }
        EXPECT_TRUE(screen.contains(p));
        EXPECT_TRUE(window->frameGeometry().contains(p)) << "inside the window, which has room for it";
        // The tick boxes lie beside the strips, never across an edge of one.
        for (auto* box : window->findChildren<QCheckBox*>()) {
            if (!box->isVisible()) continue;
            const QRect r(box->mapToGlobal(QPoint(0, 0)), box->size());
            for (std::size_t k = 0; k < t.stripCount(); ++k) {
                const QRect s(t.stripWidget(k)->mapToGlobal(QPoint(0, 0)), t.stripWidget(k)->size());
                EXPECT_TRUE(s.contains(r) || !s.intersects(r)) << "box at " << r.x() << "," << r.y();
            }
        }
        QWidget* focus = popover->focusWidget() ? popover->focusWidget() : popover;
        QTest::keyClick(focus, Qt::Key_Escape);
        EXPECT_TRUE(pumpUntil([&] { return !visiblePopover(); }));
        for (auto* box : window->findChildren<QCheckBox*>()) EXPECT_FALSE(box->isVisible());
    }
    pumpUntil([] { return false; }, 200);
    EXPECT_TRUE(requestsTo(t.sim(), "PUT", "/").empty()) << "Escape renames and starts nothing";
    EXPECT_EQ(t.labelText(5), "Lamp 6");
}

TEST_F(MainWindowTest, MakingAndRemovingAGroupTakeOneRequestAndOneRebuildEach) {
    AppUnderTest t(house(3, 1));
    ASSERT_TRUE(t.waitForStrips(4));
    t.sim().clearRequestLog();
    const int before = rebuilds(t);

    click(CommandBar::Command::MakeGroup, t);
    QLineEdit* name = nullptr;
    ASSERT_TRUE(pumpUntil([&] { return (name = visibleLineEdit()) != nullptr; }));
    // Tick the first and third lamps' boxes over their strips.
    QList<QCheckBox*> boxes;
    ASSERT_TRUE(pumpUntil([&] {
        boxes.clear();
        for (auto* b : t.app().mainWindow().widget()->findChildren<QCheckBox*>())
            if (b->isVisible()) boxes << b;
        return boxes.size() == 3;
    }));
    std::sort(boxes.begin(), boxes.end(), [](QCheckBox* a, QCheckBox* b) { return a->x() < b->x(); });
    QTest::mouseClick(boxes[0], Qt::LeftButton);
    QTest::mouseClick(boxes[2], Qt::LeftButton);
    name->setFocus();
    QTest::keyClicks(name, "Reading");
    pumpUntil([] { return false; }, 100);
    visibleButton("Make group")->click();
    ASSERT_TRUE(t.waitForStrips(5));
    pumpUntil([] { return false; }, 200);
    const auto posts = requestsTo(t.sim(), "POST", "/groups");
    ASSERT_EQ(posts.size(), 1u);
    EXPECT_EQ(json::parse(posts[0].body), json({{"name", "Reading"}, {"lights", {"1", "3"}}}));
    EXPECT_EQ(rebuilds(t), before + 1);
    EXPECT_EQ(t.labelText(4), "Reading");

    click(CommandBar::Command::RemoveGroup, t);
    ASSERT_TRUE(pumpUntil([&] { return visibleButton("Remove") != nullptr; }));
    QCheckBox* groupBox = nullptr;
    ASSERT_TRUE(pumpUntil([&] {
        for (auto* b : t.app().mainWindow().widget()->findChildren<QCheckBox*>())
            if (b->isVisible() && (!groupBox || b->x() > groupBox->x())) groupBox = b;
        return groupBox != nullptr;
    }));
    QTest::mouseClick(groupBox, Qt::LeftButton);  // the rightmost: the new group
    pumpUntil([] { return false; }, 100);
    visibleButton("Remove")->click();
    ASSERT_TRUE(t.waitForStrips(4));
    pumpUntil([] { return false; }, 200);
    const auto deletes = requestsTo(t.sim(), "DELETE", "/groups/");
    ASSERT_EQ(deletes.size(), 1u);
    EXPECT_EQ(deletes[0].path.substr(deletes[0].path.rfind('/')), "/2");
    EXPECT_EQ(rebuilds(t), before + 2);
}

TEST_F(MainWindowTest, ADoubleClickFoldsAndUnfoldsAStripAndItsRenameButtonUnfoldsIt) {
    auto options = house(2, 0);
    // A stored entry of a lamp that is gone: the next save drops it.
    options.extraDefaults =
        "<key>allowFold</key><true/>"
        "<key>UIState</key><array><dict><key>ID</key><string>9</string><key>folded</key><true/>"
        "<key>group</key><false/></dict></array>";
    AppUnderTest t(options);
    ASSERT_TRUE(t.waitForStrips(2));
    auto folded = [&] {
        bool f = false;
        t.onController([&] { f = t.app().manualController().collection()[1]->isRotated(); });
        return f;
    };
    // A double click beside the sliders, through the window as the desktop
    // delivers it (press, release, double click, release): it folds, and
    // another one unfolds.
    QMainWindow* window = t.app().mainWindow().widget();
    window->show();
    ASSERT_TRUE(pumpUntil([&] { return window->isVisible(); }));
    EXPECT_TRUE(t.stripWidget(1)->toolTip().contains("Double-click to fold"));
    auto doubleClick = [&] {
        gui::StripViewWidget* strip = t.stripWidget(1);
        const QPoint at = strip->isFolded() ? QPoint(strip->width() / 2, 20) : QPoint(91, 300);
        QTest::mouseDClick(window->windowHandle(), Qt::LeftButton, {}, strip->mapTo(window, at));
    };
    doubleClick();
    ASSERT_TRUE(pumpUntil(folded));
    ASSERT_TRUE(pumpUntil([&] { return t.stripWidget(1)->isFolded(); }));
    doubleClick();
    ASSERT_TRUE(pumpUntil([&] { return !folded() && !t.stripWidget(1)->isFolded(); }));
    doubleClick();
    ASSERT_TRUE(pumpUntil([&] { return folded() && t.stripWidget(1)->isFolded(); }));
    std::string stored;
    t.onController([&] {
        const Value entries = t.app().defaults().objectForKey("UIState");
        for (const auto& entry : entries.asList())
            stored += entry["ID"].textValue() + (entry["folded"].boolValue() ? "f " : " ");
    });
    EXPECT_EQ(stored, "1 2f ");
    QTest::mouseClick(controlWidget(t, 1, 6), Qt::LeftButton);
    EXPECT_TRUE(pumpUntil([&] { return !folded(); }));
    EXPECT_TRUE(pumpUntil([&] { return !t.stripWidget(1)->isFolded(); }));
    EXPECT_FALSE(visibleLineEdit()) << "a folded strip's rename button unfolds and renames nothing";
}

TEST_F(MainWindowTest, TheBulbSearchFindsALampThatArrivesDuringItAndOtherwiseGivesUpAfterTwentyTries) {
    for (const bool arrives : {true, false}) {
        SCOPED_TRACE(arrives ? "a lamp arrives" : "none arrives");
        platform::LogCapture log;
        AppUnderTest t(house(2, 0, true));
        ASSERT_TRUE(t.waitForStrips(2));
        t.sim().setClock("2026-12-08T06:00:00Z");
        if (arrives) t.sim().queueNewLamps(1, 2, {"Porch"});  // after the first try
        const int before = rebuilds(t);
        answerNextAlert("Search");
        click(CommandBar::Command::SearchForNewBulbs, t);
        const char* tried = "tried lights response, result is ";
        auto tries = [&] {
            std::size_t n = 0;
            for (const auto& line : log.lines()) n += line.rfind(tried, 0) == 0;
            return n;
        };
        ASSERT_TRUE(pumpUntil([&] { return tries() == 1; }));
        EXPECT_TRUE(log.contains("succesfully sent request to search for lights"));
        EXPECT_TRUE(pumpUntil([&] { return t.app().mainWindow().throbberSpinning(); }));
        // The search thread logs a try before it sleeps on the clock, so one
        // jump of three seconds could pass its next deadline before it is
        // set. The time moves a tenth of a second at a time instead, and on
        // past three seconds only while the next try has not come.
        auto pauseUntil = [&](const std::function<bool()>& done, int extraSteps) {
            for (int step = 0; step < 30; ++step) t.fakeClock().advance(100ms);
            for (int step = 0; step <= extraSteps; ++step) {
                if (pumpUntil(done, step == extraSteps ? 10000 : 300)) return true;
                t.fakeClock().advance(100ms);
            }
            return false;
        };
        const std::size_t expectedTries = arrives ? 2 : 20;
        for (std::size_t k = 1; k < expectedTries; ++k) {
            if (arrives) t.sim().advanceClock(3);
            ASSERT_TRUE(pauseUntil([&] { return tries() == k + 1; }, 20)) << k;
        }
        ASSERT_TRUE(pauseUntil(
            [&] {
                int running = 1;
                std::size_t threads = 1;
                t.onController([&] {
                    running = t.app().manualController().bulbSearchesRunning();
                    threads = t.app().manualController().bulbSearchThreads();
                });
                return running == 0 && threads == 0;  // ended, and its thread joined
            },
            20))
            << [&] {
                   std::string all;
                   for (const auto& line : log.lines()) all += line.substr(0, 80) + "\n";
                   return all;
               }();
        EXPECT_TRUE(pumpUntil([&] { return !t.app().mainWindow().throbberSpinning(); }));
        t.fakeClock().advance(3s);
        EXPECT_EQ(tries(), expectedTries) << "no try after the search ended";
        if (arrives) {
            EXPECT_TRUE(log.contains("found a new light, id 3"));
            ASSERT_TRUE(t.waitForStrips(3));
            EXPECT_EQ(t.labelText(2), "Porch");
            EXPECT_EQ(rebuilds(t), before + 1);
        } else {
            EXPECT_EQ(rebuilds(t), before);
            EXPECT_EQ(t.stripCount(), 2u);
        }
    }
}

TEST_F(MainWindowTest, AWhiteOnlyLampsStripSendsNoColourKeys) {
    AppUnderTest t(house(4, 0));  // lamp "4" has neither hue nor saturation
    ASSERT_TRUE(t.waitForStrips(4));
    EXPECT_FALSE(controlWidget(t, 3, 4)->isVisible());
    EXPECT_FALSE(controlWidget(t, 3, 5)->isVisible());
    t.sim().clearRequestLog();
    drag(t.slider(3, 3), {60, 120});
    ASSERT_TRUE(pumpUntil([&] { return !requestsTo(t.sim(), "PUT", "/lights/4/state").empty(); }));
    pumpUntil([] { return false; }, 300);
    for (const auto& put : requestsTo(t.sim(), "PUT", "/lights/4")) {
        const json body = json::parse(put.body);
        EXPECT_FALSE(body.contains("hue")) << body.dump();
        EXPECT_FALSE(body.contains("sat")) << body.dump();
    }
    EXPECT_EQ(json::parse(t.sim().state())["lights"]["4"]["state"].value("bri", -1), 120);
}

TEST_F(MainWindowTest, GroupStripsOfferWhatTheirLampsHaveAndTheAllStripShowsTheBridgeBeforeAnyPoll) {
    auto options = house(4, 4, true);  // group "g" holds lamp "g"; lamp "4" is white only
    options.extraDefaults = "<key>makeAllGroup</key><true/>";
    AppUnderTest t(options);
    ASSERT_TRUE(t.waitForStrips(9));
    struct Case {
        std::size_t strip;
        bool colour;
    };
    const Case cases[] = {{3, false}, {4, true}, {6, true}, {7, false}, {8, true}};
    for (const auto& c : cases) {
        for (int tag : {4, 5})
            EXPECT_EQ(controlWidget(t, c.strip, tag)->isHidden(), !c.colour) << "strip " << c.strip << " tag " << tag;
        EXPECT_TRUE(controlWidget(t, c.strip, 9)->isHidden()) << "strip " << c.strip;
    }
    // No poll has run (the clock stands still), yet the All strip shows the
    // bridge's state for all its lamps.
    const json all = json::parse(t.sim().userRequest("GET", "groups/0").value_or("{}"))["action"];
    ASSERT_TRUE(all.value("on", false) || all.value("bri", 0) > 0) << all.dump();
    EXPECT_EQ(t.onOffSwitch(8)->isChecked(), all.value("on", false));
    EXPECT_EQ(t.slider(8, 3)->value(), all.value("bri", -1));
}

// Chooses `entry` from the context menu of `strip`, as a right click and a
// click in the menu would.
void chooseFromStripMenu(QWidget* strip, const QString& entry) {
    QTimer::singleShot(0, strip, [entry] {
        auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget());
        if (!menu) return;
        for (QAction* action : menu->actions())
            if (action->text() == entry) menu->setActiveAction(action);
        QTest::keyClick(menu, Qt::Key_Return);
    });
    QContextMenuEvent event(QContextMenuEvent::Mouse, QPoint(91, 300), strip->mapToGlobal(QPoint(91, 300)));
    QApplication::sendEvent(strip, &event);
}

TEST_F(MainWindowTest, AHiddenStripStaysHiddenAndAMovedOneKeepsItsPlaceAfterARestart) {
    // Hall, Küche, Living room, Bedroom: Küche hidden, Bedroom moved left
    // past Living room.
    auto arranged = [](AppUnderTest& t) {
        std::vector<int> x;
        for (std::size_t k = 0; k < 4; ++k) x.push_back(t.stripWidget(k)->isHidden() ? -1 : t.stripWidget(k)->x());
        return x[1] == -1 && x[0] < x[3] && x[3] < x[2];
    };
    Value stored;
    {
        AppUnderTest t(house(4, 0));
        ASSERT_TRUE(t.waitForStrips(4));
        // Folding is off in a new profile: the strip says where to allow it.
        EXPECT_TRUE(t.stripWidget(0)->toolTip().contains("\"Allow strips to fold\" is on in Settings"))
            << t.stripWidget(0)->toolTip().toStdString();
        chooseFromStripMenu(t.stripWidget(1), "Hide");
        chooseFromStripMenu(t.stripWidget(3), "Move left");
        ASSERT_TRUE(pumpUntil([&] { return arranged(t); }));
        stored = platform::DefaultsStore(t.profile()).objectForKey("UIState");
    }
    auto options = house(4, 0);
    options.adjust = [&](gui::GlowmereApp::Options& app) {
        platform::DefaultsStore(app.profile).setObject("UIState", stored);
    };
    AppUnderTest t(options);
    ASSERT_TRUE(t.waitForStrips(4));
    EXPECT_TRUE(pumpUntil([&] { return arranged(t); }));
    // The View menu brings it back, in its place.
    QAction* showHidden = nullptr;
    for (QAction* action : t.app().mainWindow().widget()->menuBar()->findChildren<QAction*>())
        if (action->text() == "Show hidden strips") showHidden = action;
    ASSERT_TRUE(showHidden);
    showHidden->trigger();
    EXPECT_TRUE(pumpUntil([&] {
        return !t.stripWidget(1)->isHidden() && t.stripWidget(0)->x() < t.stripWidget(1)->x() &&
               t.stripWidget(1)->x() < t.stripWidget(3)->x();
    }));
}

TEST_F(MainWindowTest, TheBannerComesWithinOneCycleWhenTheBridgeStopsAnsweringAndGoesWhenItAnswers) {
    AppUnderTest t(house(2, 0, true));
    ASSERT_TRUE(t.waitForStrips(2));
    gui::MainWindowWidget* window = t.app().mainWindow().windowWidget();
    EXPECT_FALSE(window->banner->isVisibleTo(window));
    const int height = window->height();
    t.sim().closeWithoutReply(-1);
    t.fakeClock().advance(6s);
    ASSERT_TRUE(pumpUntil([&] { return window->banner->isVisibleTo(window); }));
    EXPECT_TRUE(pumpUntil([&] { return window->height() == height + window->banner->sizeHint().height(); }))
        << "the window grows by the banner, so it cuts off no strip: " << height << " to " << window->height();
    EXPECT_EQ(window->bannerText->text(), QString("Bridge not reachable at %1").arg(t.sim().address().c_str()));
    EXPECT_FALSE(window->contentWidget->isEnabled()) << "the strips are greyed";
    EXPECT_TRUE(window->retryButton->isVisibleTo(window));
    EXPECT_TRUE(window->bridgeSettingsButton->isVisibleTo(window));
    t.sim().clearFaults();
    t.fakeClock().advance(6s);
    ASSERT_TRUE(pumpUntil([&] { return !window->banner->isVisibleTo(window); }));
    EXPECT_TRUE(window->contentWidget->isEnabled());
    EXPECT_TRUE(pumpUntil([&] { return window->height() == height; }));
}

TEST_F(MainWindowTest, ABridgeWithoutLampsSaysSoAndOffersTheBulbSearch) {
    AppUnderTest t(house(0, 0));
    gui::MainWindowWidget* window = t.app().mainWindow().windowWidget();
    ASSERT_TRUE(pumpUntil([&] { return window->emptySearchButton->isVisibleTo(window); }));
    EXPECT_TRUE(window->emptyText->text().startsWith("Your bridge has no lamps yet."));
    EXPECT_TRUE(window->emptyState->isVisibleTo(window));
    EXPECT_FALSE(window->banner->isVisibleTo(window)) << "the bridge answers";
}

TEST_F(MainWindowTest, TheTrayMenusLampsTickWhatIsOnAndSwitchIt) {
    AppUnderTest t(house(2, 1));
    ASSERT_TRUE(t.waitForStrips(3));
    QMenu* lamps = nullptr;
    auto ticks = [&] {
        QString out;
        lamps = t.app().statusItem()->shownMenu()->findChild<QMenu*>("lampsMenu");
        for (QAction* a : lamps ? lamps->actions() : QList<QAction*>())
            if (!a->isSeparator()) out += a->text() + (a->isChecked() ? "+ " : "- ");
        return out;
    };
    // Odd lamps start on; a group is on when one of its lamps is.
    ASSERT_TRUE(pumpUntil([&] { return ticks() == "Hall+ Küche- Downstairs+ "; })) << ticks().toStdString();
    t.sim().clearRequestLog();
    for (QAction* a : lamps->actions())
        if (a->text() == "Küche") a->trigger();
    ASSERT_TRUE(pumpUntil([&] { return !requestsTo(t.sim(), "PUT", "/lights/2/state").empty(); }));
    EXPECT_EQ(json::parse(requestsTo(t.sim(), "PUT", "/lights/2/state")[0].body).value("on", false), true);
    EXPECT_TRUE(pumpUntil([&] { return ticks() == "Hall+ Küche+ Downstairs+ "; })) << ticks().toStdString();
}

TEST_F(MainWindowTest, PairingCanBeCancelledAndTriedAgainAndLogsOnlyTheUserNamesStart) {
    platform::LogCapture log;
    auto options = house(2, 0, true);
    options.bridge.user = "";  // not paired yet
    AppUnderTest t(options);
    gui::PushLinkWindow& pairing = t.app().pushLinkWindow();
    auto attempts = [&] { return requestsTo(t.sim(), "POST", "/api").size(); };
    ASSERT_TRUE(pumpUntil([&] { return attempts() >= 1 && pairing.isVisible(); }));
    EXPECT_TRUE(pairing.cancelButton()->isVisible());

    // Cancel: the window goes and nothing pairs behind the user's back.
    pairing.cancelButton()->click();
    EXPECT_FALSE(pairing.isVisible());
    const std::size_t atCancel = attempts();
    for (int i = 0; i < 5; ++i) {
        t.fakeClock().advance(2500ms);
        pumpUntil([] { return false; }, 30);
    }
    EXPECT_LE(attempts(), atCancel + 1);
    gui::MainWindowWidget* window = t.app().mainWindow().windowWidget();
    ASSERT_TRUE(pumpUntil([&] { return window->emptyPairButton->isVisibleTo(window); }));

    // Asked again, it tries until the attempts run out, then says so.
    window->emptyPairButton->click();
    ASSERT_TRUE(pumpUntil([&] { return attempts() > atCancel && pairing.isVisible(); }));

    for (int i = 0; i < 80 && !pairing.failed(); ++i) {
        t.fakeClock().advance(2500ms);
        pumpUntil([&] { return pairing.failed(); }, 30);
    }
    ASSERT_TRUE(pairing.failed());
    EXPECT_TRUE(pairing.tryAgainButton()->isVisible());
    pumpUntil([] { return false; }, 50);
    for (auto* label : pairing.findChildren<QLabel*>()) {
        if (label->wordWrap()) {
            EXPECT_GE(label->height(), label->heightForWidth(label->width())) << "no line cut off";
        }
    }

    t.sim().pressLinkButton();
    pairing.tryAgainButton()->click();
    // Login sleeps on the test's clock: only the window is asked meanwhile.
    for (int i = 0; i < 20 && pairing.isVisible(); ++i) {
        t.fakeClock().advance(2500ms);
        pumpUntil([&] { return !pairing.isVisible(); }, 50);
    }
    ASSERT_TRUE(t.waitForStrips(2));
    EXPECT_FALSE(pairing.isVisible());
    std::string user;
    t.onController([&] { user = t.app().defaults().stringForKey("username"); });
    ASSERT_GT(user.size(), 4u);
    EXPECT_TRUE(log.contains("logged into bridge as: " + user.substr(0, 4) + "…"));
    for (const auto& line : log.lines()) EXPECT_EQ(line.find(user), std::string::npos) << line;
}

// A bridge that no longer knows the name asks for the link button; the
// name stays until a new pairing replaces it.
TEST_F(MainWindowTest, AnUnauthorizedReplyAsksToPairAndKeepsTheNameUntilThen) {
    AppUnderTest t(house(2, 0, true));
    ASSERT_TRUE(t.waitForStrips(2));
    gui::PushLinkWindow& pairing = t.app().pushLinkWindow();
    auto storedName = [&] {
        std::string user;
        t.onController([&] { user = t.app().defaults().stringForKey("username"); });
        return user;
    };
    t.sim().makeUnauthorized(t.sim().user());
    t.fakeClock().advance(6s);
    ASSERT_TRUE(pumpUntil([&] { return pairing.isVisible(); }));
    EXPECT_EQ(storedName(), t.sim().user());

    t.sim().pressLinkButton();
    for (int i = 0; i < 20 && pairing.isVisible(); ++i) {
        t.fakeClock().advance(2500ms);
        pumpUntil([&] { return !pairing.isVisible(); }, 50);
    }
    EXPECT_FALSE(pairing.isVisible());
    EXPECT_NE(storedName(), t.sim().user());
    EXPECT_FALSE(storedName().empty());
}

TEST_F(MainWindowTest, SettingsTakeEffectAtOnceAndANewAddressOnlyWhenABridgeAnswersThere) {
    AppUnderTest t(house(2, 0));
    ASSERT_TRUE(t.waitForStrips(2));
    SimulatedBridge other(bridgeWith(3, 0));
    gui::SettingsWindow& settings = t.app().settingsWindow();
    auto enter = [&](const std::string& address) {
        std::string status;
        t.onController([&] {
            settings.manualAddress().setStringValue(address);
            settings.manualAddress().sendAction();
            status = settings.bridgeStatus().stringValue();
        });
        return status;
    };
    auto shown = [&] {
        std::string address;
        t.onController([&] { address = settings.manualAddress().stringValue(); });
        return address;
    };
    // A refused address (no bridge there, or no address at all) leaves the
    // field showing the one in use.
    std::string connection;
    t.onController([&] {
        settings.showConnection();
        connection = settings.connection().stringValue();
    });
    EXPECT_EQ(connection, "The connection is not encrypted: the bridge offers plain HTTP only");
    EXPECT_EQ(enter("127.0.0.1:1"), "No bridge answers at 127.0.0.1:1; Glowmere keeps using " + t.sim().address());
    EXPECT_EQ(shown(), t.sim().address());
    EXPECT_EQ(enter("a b"), "\"a b\" is not a host name or host:port");
    EXPECT_EQ(shown(), t.sim().address());
    EXPECT_EQ(t.stripCount(), 2u);
    EXPECT_EQ(enter(other.address()), "Glowmere now uses the bridge at " + other.address());
    ASSERT_TRUE(t.waitForStrips(3));
    auto stored = [&](const char* key) {
        Value v;
        t.onController([&] { v = t.app().defaults().objectForKey(key); });
        return v;
    };
    EXPECT_EQ(stored("lastusedbridgeIP").textValue(), other.address());

    // The All strip comes and goes with its box, stored at once.
    QCheckBox* all = nullptr;
    for (auto* box : settings.findChildren<QCheckBox*>())
        if (box->text() == "Show a strip for all lamps") all = box;
    ASSERT_TRUE(all);
    all->click();
    ASSERT_TRUE(t.waitForStrips(4));
    EXPECT_TRUE(stored("makeAllGroup").boolValue());
    all->click();
    ASSERT_TRUE(t.waitForStrips(3));
    EXPECT_FALSE(stored("makeAllGroup").boolValue());

    // The sensitivity shows its value; nothing reports light, so no light
    // controls show.
    auto* sensitivity = settings.findChild<QLabel*>("sensitivityValue");
    ASSERT_TRUE(sensitivity);
    t.onController([&] { t.app().controllerSettings().slSoundSensitivity.setDoubleValue(-42); });
    EXPECT_TRUE(pumpUntil([&] { return sensitivity->text() == "-42 dB"; })) << sensitivity->text().toStdString();
    settings.show();
    settings.tabs()->setCurrentWidget(settings.findChild<QWidget*>("sound"));
    EXPECT_TRUE(sensitivity->isVisible());
    for (auto* widget : settings.findChildren<QWidget*>()) {
        if (widget->accessibleName().startsWith("Light")) {
            EXPECT_FALSE(widget->isVisible()) << widget->accessibleName().toStdString();
        }
    }

    // Escape and Ctrl+W close the window.
    for (const QKeySequence& keys : {QKeySequence(Qt::Key_Escape), QKeySequence(QKeySequence::Close)}) {
        settings.show();
        QTest::keySequence(&settings, keys);
        EXPECT_FALSE(settings.isVisible()) << keys.toString().toStdString();
    }
}

// Pairing again with a working pairing waits for the link button and keeps
// the name the bridge then issues; the bridge and its lamps are the same, so
// the strips stay as they are.
TEST_F(MainWindowTest, PairAgainWaitsForTheLinkButtonAndKeepsTheStrips) {
    AppUnderTest t(house(2, 0, true));
    ASSERT_TRUE(t.waitForStrips(2));
    gui::PushLinkWindow& pairing = t.app().pushLinkWindow();
    gui::SettingsWindow& settings = t.app().settingsWindow();
    const int before = rebuilds(t);
    QPushButton* pairAgain = nullptr;
    for (auto* button : settings.findChildren<QPushButton*>())
        if (button->text() == "Pair again") pairAgain = button;
    ASSERT_TRUE(pairAgain);
    pairAgain->click();
    ASSERT_TRUE(pumpUntil([&] { return pairing.isVisible(); }));
    t.sim().pressLinkButton();
    for (int i = 0; i < 20 && pairing.isVisible(); ++i) {
        t.fakeClock().advance(2500ms);
        pumpUntil([&] { return !pairing.isVisible(); }, 50);
    }
    EXPECT_FALSE(pairing.isVisible());
    std::string user, status;
    t.onController([&] {
        user = t.app().defaults().stringForKey("username");
        status = settings.bridgeStatus().stringValue();
    });
    EXPECT_NE(user, t.sim().user());
    EXPECT_FALSE(user.empty());
    EXPECT_EQ(status, "Paired with the bridge again");
    EXPECT_EQ(rebuilds(t), before);
    EXPECT_EQ(t.stripCount(), 2u);
}

TEST_F(MainWindowTest, TwentyLampsScrollInsideAWindowThatFitsTheScreen) {
    AppUnderTest t(house(20, 0));
    ASSERT_TRUE(t.waitForStrips(20));
    gui::MainWindowWidget* window = t.app().mainWindow().windowWidget();
    window->show();
    const QRect screen = window->screen()->availableGeometry();
    ASSERT_TRUE(pumpUntil([&] { return window->contentSize().width() >= 20 * 95; }));
    pumpUntil([] { return false; }, 100);
    EXPECT_LE(window->frameGeometry().width(), screen.width());
    EXPECT_TRUE(screen.contains(window->frameGeometry())) << "fully on the screen";
    // Every strip can be scrolled into view.
    QScrollBar* bar = window->scrollArea->horizontalScrollBar();
    EXPECT_GE(bar->maximum() + window->scrollArea->viewport()->width(), t.stripWidget(19)->geometry().right());
    window->scrollArea->ensureWidgetVisible(t.stripWidget(19));
    pumpUntil([] { return false; }, 50);
    const QRect last(t.stripWidget(19)->mapTo(window->scrollArea->viewport(), QPoint(0, 0)), t.stripWidget(19)->size());
    EXPECT_TRUE(window->scrollArea->viewport()->rect().intersects(last));
    EXPECT_FALSE(window->scrollArea->verticalScrollBar()->isVisible()) << "the strips fit in height";

    // The wheel scrolls sideways over the strips, over a slider too, which
    // it moves only once the slider has the keyboard focus.
    auto wheel = [](QWidget* over, int notches) {
        const QPoint at = over->rect().center();
        QWheelEvent e(at, over->mapToGlobal(at), QPoint(), QPoint(0, 120 * notches), Qt::NoButton, Qt::NoModifier,
                      Qt::NoScrollPhase, false);
        // As from the desktop: unless taken, it travels up to the parents.
        QSpontaneKeyEvent::setSpontaneous(&e);
        qApp->notify(over, &e);
    };
    bar->setValue(0);
    gui::StripSlider* slider = t.slider(0, 3);
    const int before = slider->value();
    wheel(slider, -2);
    EXPECT_GT(bar->value(), 0);
    EXPECT_EQ(slider->value(), before);
    const int scrolled = bar->value();
    wheel(t.stripWidget(1), 1);
    EXPECT_LT(bar->value(), scrolled);
    window->activateWindow();
    QApplication::setActiveWindow(window);
    slider->setFocus();
    ASSERT_TRUE(pumpUntil([&] { return slider->hasFocus(); }));
    const int atFocus = bar->value();
    wheel(slider, 1);
    EXPECT_NE(slider->value(), before);
    EXPECT_EQ(bar->value(), atFocus);
    EXPECT_TRUE(slider->toolTip().endsWith("%")) << "the value shows: " << slider->toolTip().toStdString();
}

// Run by CTest once more on a 1920x1080 screen at scale 2 (960x540 logical)
// whose windows have frames (see CMakeLists.txt); on any screen the window
// of a big house is sized to it and lies inside it.
using ScaledScreenTest = GuiTest;

TEST_F(ScaledScreenTest, TheMainWindowOfABigHouseLiesInsideItsScreen) {
    AppUnderTest t(house(20, 2));
    ASSERT_TRUE(t.waitForStrips(22));
    gui::MainWindowWidget* window = t.app().mainWindow().windowWidget();
    t.app().mainWindow().makeKeyAndOrderFront();
    ASSERT_TRUE(pumpUntil([&] { return window->isVisible(); }));
    pumpUntil([] { return false; }, 200);
    const QRect screen = window->screen()->availableGeometry();
    std::cout << "screen " << screen.width() << "x" << screen.height() << " at scale "
              << window->screen()->devicePixelRatio() << ", window frame " << window->frameGeometry().width() << "x"
              << window->frameGeometry().height() << "+" << window->frameGeometry().x() << "+"
              << window->frameGeometry().y() << "\n";
    EXPECT_TRUE(screen.contains(window->frameGeometry()));
    EXPECT_GE(window->frameGeometry().width(), screen.width() * 9 / 10) << "as wide as the screen allows";
    // A window manager placing the new window at +50+50 (as one did) does
    // not push it off the screen's edges.
    window->hide();
    t.app().mainWindow().makeKeyAndOrderFront();
    ASSERT_TRUE(pumpUntil([&] { return window->isVisible(); }));
    window->move(50, 50);
    pumpUntil([] { return false; }, 100);
    EXPECT_TRUE(screen.contains(window->frameGeometry()))
        << window->frameGeometry().x() << "," << window->frameGeometry().y();
    // The settings window too.
    QWidget* settings = nullptr;
    for (QWidget* top : QApplication::topLevelWidgets())
        if (qobject_cast<gui::SettingsWindow*>(top)) settings = top;
    ASSERT_TRUE(settings);
    t.app().mainWindow().commandBar().action(CommandBar::Command::Settings)->trigger();
    ASSERT_TRUE(pumpUntil([&] { return settings->isVisible(); }));
    pumpUntil([] { return false; }, 100);
    EXPECT_TRUE(screen.contains(settings->frameGeometry()));
}

}  // namespace
}  // namespace glowmere::testing
