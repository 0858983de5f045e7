#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDoubleSpinBox>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMessageBox>
#include <QPushButton>
#include <QTableWidget>
#include <QTest>
#include <QTimer>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <nlohmann/json.hpp>

#include "GuiHarness.h"
#include "controller/BridgeSceneMenus.h"
#include "controller/ManualController.h"
#include "controller/MicListener.h"
#include "controls/SettingsWindowController.h"
#include "gui/adapters/QtMainWindow.h"
#include "gui/app/ListeningAndPresets.h"
#include "gui/windows/CommandBar.h"
#include "gui/windows/ListenCountdownPanel.h"
#include "gui/windows/MainWindowWidget.h"
#include "gui/windows/PresetPanels.h"
#include "gui/windows/SettingsWindow.h"
#include "platform/Log.h"
#include "platform/TimeZone.h"

namespace glowmere::testing {
namespace {

using PresetsTest = GuiTest;
using gui::CommandBar;
using nlohmann::json;

// GLOWMERE_TEST_SCREENSHOTS=DIR keeps a picture of each window the tests open.
void keepPicture(QWidget* widget, const char* name) {
    const QByteArray dir = qgetenv("GLOWMERE_TEST_SCREENSHOTS");
    if (dir.isEmpty() || !widget) return;
    widget->grab().save(QString::fromLocal8Bit(dir) + "/" + name + ".png");
}

QStringList titles(QMenu* menu) {
    QStringList out;
    for (QAction* a : menu->actions()) out << (a->isSeparator() ? "-" : a->text());
    return out;
}

QAction* actionTitled(QMenu* menu, const QString& title) {
    for (QAction* a : menu->actions())
        if (a->text() == title) return a;
    return nullptr;
}

TEST_F(PresetsTest, SavedFromThePresetsMenuAppliedFromItAndRetimedInTheTable) {
    AppUnderTest t(house(3, 0));
    ASSERT_TRUE(t.waitForStrips(3));
    QMenu* menu = t.app().mainWindow().commandBar().action(CommandBar::Command::Presets)->menu();
    ASSERT_TRUE(menu);
    EXPECT_EQ(titles(menu), (QStringList{"Save preset…", "Manage presets...", "-", "No presets yet"}));
    EXPECT_FALSE(actionTitled(menu, "No presets yet")->isEnabled());

    gui::PresetPanels& panels = t.app().listening().presetPanels();
    actionTitled(menu, "Save preset…")->trigger();
    ASSERT_TRUE(pumpUntil([&] { return panels.namingWidget()->isVisible(); }));
    auto* name = panels.namingWidget()->findChild<QLineEdit*>("presetName");
    ASSERT_TRUE(name);
    QTest::keyClicks(name, "Evening");
    keepPicture(panels.namingWidget(), "preset-naming");
    QTest::keyClick(name, Qt::Key_Return);
    ASSERT_TRUE(pumpUntil([&] { return actionTitled(menu, "Evening") != nullptr; }));
    EXPECT_FALSE(panels.namingWidget()->isVisible());
    EXPECT_EQ(t.app().defaults().objectForKey("presets").size(), 1u);

    t.sim().changeLamp("1", R"({"bri":10})");
    t.sim().clearRequestLog();
    actionTitled(menu, "Evening")->trigger();
    ASSERT_TRUE(pumpUntil([&] { return requestsTo(t.sim(), "PUT", "/lights/").size() >= 3; }));
    const auto puts = requestsTo(t.sim(), "PUT", "/lights/");
    EXPECT_EQ(json::parse(puts[0].body).value("transitiontime", -1), 5) << "\"presetTransition\": 0.5 s";
    EXPECT_NE(puts[0].path.find("/lights/1/state"), std::string::npos);

    actionTitled(menu, "Manage presets...")->trigger();
    QTableWidget* table = panels.tableWidget();
    ASSERT_TRUE(pumpUntil([&] { return panels.managementWidget()->isVisible() && table->rowCount() == 1; }));
    EXPECT_EQ(table->item(0, 0)->text(), "Evening");
    EXPECT_EQ(table->item(0, 1)->text(), "");
    table->selectRow(0);
    // The transition is seconds in a spin box: letters cannot go in.
    table->editItem(table->item(0, 1));
    auto* seconds = qobject_cast<QDoubleSpinBox*>(table->indexWidget(table->model()->index(0, 1)));
    ASSERT_TRUE(seconds);
    EXPECT_EQ(seconds->suffix(), " s");
    seconds->selectAll();
    QTest::keyClicks(seconds, "abc2.5");
    QTest::keyClick(seconds, Qt::Key_Return);
    ASSERT_TRUE(pumpUntil([&] { return !table->indexWidget(table->model()->index(0, 1)); }));
    ASSERT_TRUE(
        pumpUntil([&] { return t.app().defaults().objectForKey("presets").at(0)["transition"].doubleValue() == 2.5; }));
    EXPECT_TRUE(pumpUntil([&] { return table->item(0, 1)->text() == "2.5"; }));

    // A name is trimmed; an empty one is refused at the field and the old one kept.
    auto* message = panels.managementWidget()->findChild<QLabel*>("presetMessage");
    auto rename = [&](const QString& typed) {
        table->editItem(table->item(0, 0));
        auto* field = qobject_cast<QLineEdit*>(table->indexWidget(table->model()->index(0, 0)));
        ASSERT_TRUE(field);
        field->selectAll();
        QTest::keyClicks(field, typed);
        QTest::keyClick(field, Qt::Key_Return);
        // The delegate commits and closes its editor on the next turn of the loop.
        ASSERT_TRUE(pumpUntil([&] { return !table->indexWidget(table->model()->index(0, 0)); }));
    };
    rename("   ");
    EXPECT_TRUE(message->isVisible());
    EXPECT_EQ(message->text(), "A preset needs a name. The preset keeps its name.");
    EXPECT_EQ(table->item(0, 0)->text(), "Evening");
    rename("  Late evening ");
    ASSERT_TRUE(pumpUntil(
        [&] { return t.app().defaults().objectForKey("presets").at(0)["name"].textValue() == "Late evening"; }));
    EXPECT_FALSE(message->isVisible());
    keepPicture(panels.managementWidget(), "preset-management");
}

// Clicks `button` of the next question once it shows.
void answerNextAlert(QWidget* owner, const QString& button) {
    auto* timer = new QTimer(owner);
    timer->setInterval(20);
    QObject::connect(timer, &QTimer::timeout, [timer, button] {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        if (!box) return;
        for (QAbstractButton* b : box->buttons())
            if (b->text() == button) b->click();
        timer->deleteLater();
    });
    timer->start();
}

// A scene another app made shows after the presets, ticked while the lamps
// are in its states; a change made elsewhere clears the tick within a poll,
// and choosing it recalls it with one request. A preset kept on the bridge
// becomes a scene there, and deleting it asks about the scene.
TEST_F(PresetsTest, BridgeScenesShowInThePresetsMenuTickedWhileInEffect) {
    using namespace std::chrono_literals;
    AppUnderTest t(house(3, 0, true));
    ASSERT_TRUE(t.waitForStrips(3));
    const json made =
        json::parse(*t.sim().userRequest("POST", "scenes", R"({"name":"Reading","lights":["1","2"],"recycle":false})"));
    const std::string id = made.at(0).at("success").at("id");
    QMenu* menu = t.app().mainWindow().commandBar().action(CommandBar::Command::Presets)->menu();
    gui::MainWindowWidget* window = t.app().mainWindow().windowWidget();
    auto poll = [&] {
        ASSERT_TRUE(t.fakeClock().waitForWaiters(3));
        t.fakeClock().advance(6s);
    };
    auto ticked = [&](const QString& title) {
        QAction* a = actionTitled(menu, title);
        return a && a->isCheckable() && a->isChecked();
    };

    poll();
    ASSERT_TRUE(pumpUntil([&] { return ticked("Reading"); }, 5000)) << titles(menu).join(", ").toStdString();
    EXPECT_EQ(titles(menu), (QStringList{"Save preset…", "Manage presets...", "-", "No presets yet", "-",
                                         "Scenes on the bridge", "Reading"}));
    EXPECT_FALSE(actionTitled(menu, "Scenes on the bridge")->isEnabled());
    EXPECT_EQ(window->presetInEffect(), "Preset: Reading");

    t.sim().changeLamp("1", R"({"on":true,"bri":3})");
    poll();
    EXPECT_TRUE(pumpUntil([&] { return !ticked("Reading") && window->presetInEffect().isEmpty(); }, 5000));

    t.sim().clearRequestLog();
    actionTitled(menu, "Reading")->trigger();
    ASSERT_TRUE(pumpUntil([&] { return !requestsTo(t.sim(), "PUT", "").empty(); }));
    pumpUntil([] { return false; }, 200);
    const auto puts = requestsTo(t.sim(), "PUT", "");
    ASSERT_EQ(puts.size(), 1u);
    EXPECT_EQ(json::parse(puts[0].body), json({{"scene", id}}));
    poll();
    EXPECT_TRUE(pumpUntil([&] { return ticked("Reading"); }, 5000));

    // The sound trigger's pop-up lists the scene after the presets; chosen
    // there, it is kept by its id beside the preset's key, and the trigger
    // recalls it with one request.
    auto* trigger = t.app().settingsWindow().findChild<QComboBox*>("soundTriggerPreset");
    ASSERT_TRUE(trigger);
    auto entries = [&] {
        QStringList out;
        for (int i = 0; i < trigger->count(); ++i) {
            const bool enabled = trigger->model()->flags(trigger->model()->index(i, 0)) & Qt::ItemIsEnabled;
            out << (trigger->itemText(i).isEmpty() ? "-" : trigger->itemText(i) + (enabled ? "" : " (title)"));
        }
        return out;
    };
    ASSERT_TRUE(pumpUntil([&] { return trigger->count() == 4; })) << entries().join(", ").toStdString();
    EXPECT_EQ(entries(), (QStringList{"No presets yet", "-", "Scenes on the bridge (title)", "Reading"}));
    const Value presetBefore = t.app().defaults().objectForKey("soundTriggerPreset");
    emit trigger->activated(3);
    ASSERT_TRUE(pumpUntil([&] { return t.app().defaults().stringForKey("soundTriggerScene") == id; }));
    EXPECT_EQ(t.app().defaults().objectForKey("soundTriggerPreset"), presetBefore);
    t.sim().changeLamp("1", R"({"on":true,"bri":3})");
    t.sim().clearRequestLog();
    t.onController([&] { t.app().manualController().soundTrigger(); });
    ASSERT_TRUE(pumpUntil([&] { return !requestsTo(t.sim(), "PUT", "").empty(); }));
    pumpUntil([] { return false; }, 200);
    ASSERT_EQ(requestsTo(t.sim(), "PUT", "").size(), 1u);
    EXPECT_EQ(json::parse(requestsTo(t.sim(), "PUT", "")[0].body), json({{"scene", id}}));

    // "Also keep on the bridge" for a preset.
    ManualController& manual = t.app().manualController();
    t.onController([&] {
        manual.presetNameEditingField().setStringValue("Evening");
        manual.savePreset();
    });
    gui::PresetPanels& panels = t.app().listening().presetPanels();
    actionTitled(menu, "Manage presets...")->trigger();
    QTableWidget* table = panels.tableWidget();
    ASSERT_TRUE(pumpUntil([&] { return table->rowCount() == 1; }));
    table->selectRow(0);
    QCheckBox* keep = panels.keepOnBridgeBox();
    ASSERT_TRUE(pumpUntil([&] { return keep->isEnabled(); }));
    keep->click();
    auto scenesNamed = [&](const std::string& name) {
        int n = 0;
        const json listed = json::parse(*t.sim().userRequest("GET", "scenes"));
        for (const auto& [sceneId, scene] : listed.items()) n += scene.at("name") == name;
        return n;
    };
    ASSERT_TRUE(pumpUntil([&] { return scenesNamed("Evening") == 1; }));
    EXPECT_TRUE(t.app().defaults().objectForKey("presets").at(0)["keepOnBridge"].boolValue());

    // The pop-up rebuilt with the preset keeps the scene chosen; choosing
    // the preset instead stores it by name and lets go of the scene.
    ASSERT_TRUE(pumpUntil([&] { return trigger->findText("Evening", Qt::MatchExactly) == 0; }));
    EXPECT_EQ(trigger->currentText(), "Reading");
    emit trigger->activated(0);
    ASSERT_TRUE(pumpUntil([&] { return !t.app().defaults().hasStoredObject("soundTriggerScene"); }));
    EXPECT_EQ(t.app().defaults().stringForKey("soundTriggerPreset"), "Evening");

    answerNextAlert(window, "Delete");
    t.onController([&] { manual.deletePreset(); });
    ASSERT_TRUE(pumpUntil([&] { return t.app().defaults().objectForKey("presets").size() == 0; }));
    answerNextAlert(window, "Delete scene");
    EXPECT_TRUE(pumpUntil([&] { return scenesNamed("Evening") == 0; }));
    EXPECT_EQ(scenesNamed("Reading"), 1);
}

// No sound server while it lives, whatever the machine has: the microphone
// is missing. The old value comes back, so tests after it in the same
// process (and the processes they start) find the machine's server.
class WithoutSoundServer {
public:
    WithoutSoundServer() { qputenv("PULSE_SERVER", "unix:/nonexistent/glowmere-test"); }
    ~WithoutSoundServer() { had_ ? qputenv("PULSE_SERVER", old_) : qunsetenv("PULSE_SERVER"); }

private:
    bool had_ = qEnvironmentVariableIsSet("PULSE_SERVER");
    QByteArray old_ = qgetenv("PULSE_SERVER");
};

TEST_F(PresetsTest, ListenWaitsForAMicrophoneThenCountsDownUntilSkipped) {
    WithoutSoundServer noSound;
    AppUnderTest t(house(1, 0, true));
    ASSERT_TRUE(t.waitForStrips(1));
    CommandBar& bar = t.app().mainWindow().commandBar();
    QAction* listen = bar.action(CommandBar::Command::Listen);
    ASSERT_TRUE(listen->isCheckable());
    // No microphone: Listen and "Start listening" are off and say why.
    QAction* startListening = actionTitled(bar.menu(), "Start listening");
    ASSERT_TRUE(startListening);
    for (QAction* action : {listen, startListening}) {
        EXPECT_FALSE(action->isEnabled()) << action->text().toStdString();
        EXPECT_TRUE(action->toolTip().startsWith("No microphone was found")) << action->toolTip().toStdString();
    }
    // One appears (as the audio inputs tell): both come back.
    t.app().listening().setMicrophonePresent(true);
    EXPECT_TRUE(listen->isEnabled());
    EXPECT_TRUE(startListening->isEnabled());
    EXPECT_EQ(listen->toolTip(), "Listen");
    gui::ListenCountdownPanel& panel = t.app().listening().countdownPanel();

    listen->trigger();
    ASSERT_TRUE(pumpUntil([&] { return panel.isVisible(); }));
    EXPECT_TRUE(pumpUntil([&] { return panel.text() == "Listening will start in 60 seconds"; }));
    EXPECT_TRUE(listen->isChecked());
    keepPicture(&panel, "listen-countdown");
    auto* skip = panel.findChild<QPushButton*>();
    for (QPushButton* button : panel.findChildren<QPushButton*>())
        if (button->text() == "Skip") skip = button;
    QTest::mouseClick(skip, Qt::LeftButton);
    ASSERT_TRUE(pumpUntil([&] { return !panel.isVisible(); }));
    EXPECT_TRUE(listen->isChecked());

    // The settings window says there is no microphone when it becomes main.
    auto& indicators = t.app().listening().indicators();
    t.onController([&] {
        indicators.windowDidBecomeMain();
        indicators.ambientSoundIs(-20);
    });
    EXPECT_EQ(indicators.tfSoundStatus.stringValue(), SettingsWindowController::noInputMessage);
    EXPECT_FLOAT_EQ(indicators.soundIndicator.doubleValue(), 5);
    gui::SettingsWindow& settings = t.app().settingsWindow();
    settings.tabs()->setCurrentWidget(settings.tabs()->findChild<QWidget*>("sound"));
    settings.show();
    EXPECT_TRUE(pumpUntil([&] {
        for (QLabel* label : settings.findChildren<QLabel*>())
            if (label->text() == SettingsWindowController::noInputMessage) return true;
        return false;
    }));
    keepPicture(&settings, "settings-sound");
    settings.hide();

    QAction* stop = actionTitled(bar.menu(), "Stop listening");
    ASSERT_TRUE(stop);
    stop->trigger();
    EXPECT_TRUE(pumpUntil([&] { return !listen->isChecked(); }));
}

TEST_F(PresetsTest, APresetSavedByGlowmerectlAppearsInTheRunningApplicationsMenus) {
    AppUnderTest t(house(2, 0));
    ASSERT_TRUE(t.waitForStrips(2));
    QMenu* menu = t.app().mainWindow().commandBar().action(CommandBar::Command::Presets)->menu();
    const std::string command = std::string(GLOWMERE_CTL_PATH) + " --profile '" + t.profile().string() +
                                "' preset-save 'From a script' >/dev/null 2>&1";
    ASSERT_EQ(std::system(command.c_str()), 0);
    EXPECT_TRUE(pumpUntil([&] { return actionTitled(menu, "From a script") != nullptr; }, 10000))
        << "the menu shows it";
    QStringList tray;
    t.onController([&] {
        for (const auto& item : t.app().manualController().statusMenu().items())
            tray << QString::fromStdString(item.title);
    });
    EXPECT_TRUE(tray.contains("From a script")) << tray.join(", ").toStdString();

    // And the application's own save keeps it.
    actionTitled(menu, "Save preset…")->trigger();
    gui::PresetPanels& panels = t.app().listening().presetPanels();
    ASSERT_TRUE(pumpUntil([&] { return panels.namingWidget()->isVisible(); }));
    auto* name = panels.namingWidget()->findChild<QLineEdit*>("presetName");
    // Another program's name is taken: the panel stays open and says so.
    QTest::keyClicks(name, " From a script");
    QTest::keyClick(name, Qt::Key_Return);
    auto* taken = panels.namingWidget()->findChild<QLabel*>("presetNameMessage");
    ASSERT_TRUE(pumpUntil([&] { return taken->isVisible(); }));
    EXPECT_EQ(taken->text(), "There is already a preset called \"From a script\".");
    EXPECT_TRUE(panels.namingWidget()->isVisible());
    name->clear();
    QTest::keyClicks(name, "From the window");
    QTest::keyClick(name, Qt::Key_Return);
    ASSERT_TRUE(pumpUntil([&] { return actionTitled(menu, "From the window") != nullptr; }));
    EXPECT_TRUE(actionTitled(menu, "From a script"));
    EXPECT_EQ(t.app().defaults().objectForKey("presets").size(), 2u);
}

// "HH:MM" of the local time `minutes` after the fake clock's start.
std::string localTimeIn(int minutes) {
    auto local = platform::TimeZone::local().toLocal(
        std::chrono::floor<std::chrono::seconds>(platform::FakeClock::defaultStart()) + std::chrono::minutes(minutes));
    auto minuteOfDay =
        std::chrono::duration_cast<std::chrono::minutes>(local - std::chrono::floor<std::chrono::days>(local));
    char text[8];
    std::snprintf(text, sizeof text, "%02d:%02d", static_cast<int>(minuteOfDay.count() / 60),
                  static_cast<int>(minuteOfDay.count() % 60));
    return text;
}

TEST_F(PresetsTest, AListeningScheduleItemSwitchesListeningWithoutACountdown) {
    WithoutSoundServer noSound;
    platform::LogCapture log;
    AppUnderTest::Options options = house(1, 0, true);
    options.extraDefaults =
        "<key>GlowmereController actions</key><array><dict><key>action</key><integer>4</integer>"
        "<key>enabled</key><true/><key>name</key><string>Night watch</string><key>ontime</key><string>" +
        localTimeIn(1) + "</string><key>offtime</key><string>" + localTimeIn(2) + "</string></dict></array>";
    AppUnderTest t(options);
    ASSERT_TRUE(t.waitForStrips(1));
    QAction* listen = t.app().mainWindow().commandBar().action(CommandBar::Command::Listen);
    gui::ListenCountdownPanel& panel = t.app().listening().countdownPanel();

    ASSERT_TRUE(t.fakeClock().waitForWaiters(3));
    t.fakeClock().advance(std::chrono::minutes(1));
    EXPECT_TRUE(pumpUntil([&] { return listen->isChecked(); })) << "the schedule switched listening on";
    EXPECT_TRUE(log.contains("starting to listen"));
    EXPECT_TRUE(log.contains(MicListener::noInputLog)) << "the real listener was asked to start";
    EXPECT_FALSE(panel.isVisible()) << "no countdown";

    ASSERT_TRUE(t.fakeClock().waitForWaiters(3));
    t.fakeClock().advance(std::chrono::minutes(1));
    EXPECT_TRUE(pumpUntil([&] { return !listen->isChecked(); }));
    EXPECT_TRUE(log.contains("stopping listening"));
}

}  // namespace
}  // namespace glowmere::testing
