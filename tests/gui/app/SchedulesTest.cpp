// The schedule window and its editor, driven as a user does, against the
// simulated bridge.
#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QTableView>
#include <QTest>
#include <QTimer>
#include <nlohmann/json.hpp>

#include "GuiHarness.h"
#include "gui/adapters/QtMainWindow.h"
#include "gui/app/ToolWindows.h"
#include "gui/windows/ActionEditor.h"
#include "gui/windows/CommandBar.h"
#include "gui/windows/SchedulesWindow.h"
#include "schedules/ScheduleManager.h"
#include "schedules/ScheduleWindow.h"

namespace glowmere::testing {
namespace {

using nlohmann::json;

class SchedulesTest : public GuiTest {
protected:
    SchedulesTest() : t(options()) {
        EXPECT_TRUE(t.waitForStrips(4));
        // A winter Wednesday noon: Berlin is an hour ahead of UTC.
        t.fakeClock().setNow(platform::Clock::TimePoint(std::chrono::sys_days(std::chrono::year{2026} / 12 / 9) +
                                                        std::chrono::hours(12)));
        // Opened as the user does, from the main window's command bar.
        t.app().mainWindow().commandBar().action(gui::CommandBar::Command::Schedules)->trigger();
        EXPECT_TRUE(pumpUntil([&] { return window().isVisible(); }));
        t.sim().clearRequestLog();
    }
    static AppUnderTest::Options options() { return house(3, 1, true); }

    gui::SchedulesWindow& window() { return t.app().tools().schedulesWindow(); }
    gui::ActionEditor& editor() { return window().editor(); }
    QTableView* table() { return window().table(); }
    int rows() { return window().model().rowCount(); }
    void click(const QString& label) {
        QPushButton* b = window().button(label);
        ASSERT_TRUE(b) << label.toStdString();
        QTest::mouseClick(b, Qt::LeftButton);
    }
    static void type(QLineEdit* field, const QString& text) {
        field->selectAll();
        QTest::keyClick(field, Qt::Key_Backspace);
        QTest::keyClicks(field, text);
    }
    // A new On & Off item for the Hall lamp, every day.
    void createItem(const QString& name, const QString& on, const QString& off) {
        click("New");
        ASSERT_TRUE(pumpUntil([&] { return editor().isVisible(); }));
        type(editor().nameField(), name);
        type(editor().onTimeField(), on);
        type(editor().offTimeField(), off);
        QTest::mouseClick(editor().doneButton(), Qt::LeftButton);
    }
    std::vector<json> postedSchedules() {
        std::vector<json> out;
        for (const auto& r : requestsTo(t.sim(), "POST", "/schedules")) out.push_back(json::parse(r.body));
        return out;
    }
    json bridgeSchedules() { return json::parse(*t.sim().userRequest("GET", "schedules")); }
    // Clicks `button` of the next alert once it shows, keeping its text.
    void answerNextAlert(const QString& button) {
        alertText.clear();
        auto* timer = new QTimer(&window());
        timer->setInterval(20);
        QObject::connect(timer, &QTimer::timeout, [this, timer, button] {
            auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
            if (!box) return;
            alertText = box->text();
            for (QAbstractButton* b : box->buttons())
                if (b->text() == button) b->click();
            timer->deleteLater();
        });
        timer->start();
    }
    QString alertText;

    ZoneForTest zone{"Europe/Berlin"};
    AppUnderTest t;
};

TEST_F(SchedulesTest, AnOnAndOffItemMadeInTheEditorRegistersTwoSchedulesAndDisablingDeletesThem) {
    createItem("Evening", "18:30", "23:15");
    ASSERT_TRUE(pumpUntil([&] { return rows() == 1 && !editor().isVisible(); }));
    const auto posted = postedSchedules();
    ASSERT_EQ(posted.size(), 2u);
    const std::string address = "/api/" + t.sim().user() + "/lights/1/state";
    EXPECT_EQ(posted[0]["name"], "Evening");
    EXPECT_EQ(posted[0]["time"], "W127/T17:30:00");
    EXPECT_EQ(posted[0]["command"], json({{"method", "PUT"}, {"address", address}, {"body", {{"on", true}}}}));
    EXPECT_NE(posted[0]["description"].get<std::string>().find("18:30"), std::string::npos) << posted[0];
    EXPECT_NE(posted[1]["description"].get<std::string>().find("23:15"), std::string::npos) << posted[1];
    EXPECT_EQ(posted[1]["time"], "W127/T22:15:00");
    EXPECT_EQ(posted[1]["command"]["body"], json({{"on", false}}));
    EXPECT_EQ(bridgeSchedules().size(), 2u);
    const QModelIndex enabled = window().model().index(0, 0);
    EXPECT_EQ(enabled.data(Qt::CheckStateRole).toInt(), Qt::Checked);
    EXPECT_EQ(window().model().index(0, 2).data().toString(), "Evening");

    // Unticking the row's check box deletes both from the bridge.
    table()->model()->setData(enabled, Qt::Unchecked, Qt::CheckStateRole);
    ASSERT_TRUE(pumpUntil([&] { return requestsTo(t.sim(), "DELETE", "/schedules/").size() == 2; }));
    ASSERT_TRUE(pumpUntil([&] { return enabled.data(Qt::CheckStateRole).toInt() == Qt::Unchecked; }));
    EXPECT_TRUE(bridgeSchedules().empty());

    // Edit and Delete need a selected row.
    table()->clearSelection();
    EXPECT_FALSE(window().button("Edit")->isEnabled());
    EXPECT_FALSE(window().button("Delete")->isEnabled());
    table()->setFocus();
    table()->selectRow(0);
    EXPECT_TRUE(window().button("Edit")->isEnabled());
    EXPECT_TRUE(window().button("Delete")->isEnabled());

    // Deleting asks first; Cancel keeps the item, and the Delete key asks too.
    answerNextAlert("Cancel");
    click("Delete");
    ASSERT_TRUE(pumpUntil([&] { return !alertText.isEmpty(); }));
    EXPECT_EQ(alertText, "Delete the schedule item Evening?");
    pumpUntil([] { return false; }, 200);
    EXPECT_EQ(rows(), 1);
    answerNextAlert("Delete");
    QTest::keyClick(table(), Qt::Key_Delete);
    ASSERT_TRUE(pumpUntil([&] { return rows() == 0; }));
    EXPECT_EQ(alertText, "Delete the schedule item Evening?");
    EXPECT_EQ(platform::DefaultsStore(t.profile()).objectForKey(ScheduleManager::actionsKey).size(), 0u);
}

TEST_F(SchedulesTest, AnInvalidTimeIsMarkedKeepsTheEditorOpenAndRegistersNothing) {
    createItem("Broken", "25:00", "07:00");
    EXPECT_TRUE(gui::ActionEditor::isMarkedInvalid(editor().onTimeField()));
    EXPECT_FALSE(gui::ActionEditor::isMarkedInvalid(editor().offTimeField()));
    ASSERT_TRUE(pumpUntil([&] {
        std::string message;
        t.onController([&] { message = t.app().tools().scheduleWindow().tfEditorMessage().stringValue(); });
        return !message.empty();
    }));
    // Every line of the message shows.
    QLabel* message = editor().messageLabel();
    ASSERT_TRUE(pumpUntil([&] {
        return message->isVisible() && message->height() >= message->heightForWidth(message->width()) &&
               editor().height() >= editor().sizeHint().height();
    }));
    // A click outside the editor asks the same question and gets the same answer.
    editor().close();
    pumpUntil([] { return false; }, 200);
    EXPECT_TRUE(editor().isVisible());
    EXPECT_TRUE(requestsTo(t.sim(), "POST", "/schedules").empty());
    EXPECT_EQ(rows(), 0);

    type(editor().onTimeField(), "0630");  // four digits are a time too
    EXPECT_FALSE(gui::ActionEditor::isMarkedInvalid(editor().onTimeField()));
    editor().close();
    ASSERT_TRUE(pumpUntil([&] { return rows() == 1 && !editor().isVisible(); }));
    EXPECT_EQ(postedSchedules().at(0)["time"], "W127/T05:30:00");
}

TEST_F(SchedulesTest, DeleteAllAsksFirstThenEmptiesTheBridgeAndTheEditor) {
    createItem("One", "07:00", "08:00");
    ASSERT_TRUE(pumpUntil([&] { return rows() == 1 && !editor().isVisible(); }));
    createItem("Two", "19:00", "20:00");
    ASSERT_TRUE(pumpUntil([&] { return rows() == 2 && !editor().isVisible(); }));
    ASSERT_EQ(bridgeSchedules().size(), 4u);

    answerNextAlert("Cancel");
    click("Delete All");
    ASSERT_TRUE(pumpUntil([&] { return !alertText.isEmpty(); }));
    EXPECT_EQ(alertText, "Delete all schedules from the bridge?");
    pumpUntil([] { return false; }, 200);
    EXPECT_EQ(bridgeSchedules().size(), 4u);

    answerNextAlert("Delete All");
    click("Delete All");
    ASSERT_TRUE(pumpUntil([&] { return bridgeSchedules().empty(); }));
    // The items stay, disabled.
    auto unticked = [&](int row) {
        return window().model().index(row, 0).data(Qt::CheckStateRole).toInt() == Qt::Unchecked;
    };
    ASSERT_TRUE(pumpUntil([&] { return rows() == 2 && unticked(0) && unticked(1); }));
    EXPECT_FALSE(editor().isVisible());
    bool editing = true;
    t.onController([&] { editing = t.app().tools().scheduleWindow().isEditing(); });
    EXPECT_FALSE(editing);
}

TEST_F(SchedulesTest, CheckAlwaysAnswersAndImportListsWhatItAdded) {
    click("Check");
    ASSERT_TRUE(pumpUntil([&] { return window().reportText() == "Everything on the bridge matches your schedules."; }));
    EXPECT_FALSE(window().button("Import")->isVisible());
    for (const char* name : {"Wake", "Sleep"})
        t.sim().userRequest("POST", "schedules",
                            std::string(R"({"name":")") + name +
                                R"(","time":"W124/T05:30:00","command":{"method":"PUT",)"
                                R"("address":"/api/testuser/lights/2/state","body":{"on":true}}})");
    click("Check");
    // How many, and the button that makes them items.
    ASSERT_TRUE(pumpUntil(
        [&] { return window().statusText() == QString(ScheduleManager::otherAppStatus) + " (2 schedules)"; }));
    EXPECT_EQ(window().reportText(), "Every item's schedules are on the bridge.");
    EXPECT_TRUE(window().button("Import")->isVisible());
    click("Import");
    ASSERT_TRUE(pumpUntil([&] { return rows() == 2; }));
    ASSERT_TRUE(pumpUntil([&] { return window().reportText().startsWith("Imported"); }));
    EXPECT_TRUE(window().reportText() == "Imported 2 items: Wake, Sleep." ||
                window().reportText() == "Imported 2 items: Sleep, Wake.")
        << window().reportText().toStdString();
    ASSERT_TRUE(pumpUntil([&] { return window().statusText() == ""; }));
    EXPECT_FALSE(window().button("Import")->isVisible());
    EXPECT_TRUE(window().model().index(0, 1).data().toString().contains("Küche"));
}

// Which of the editor's controls each kind shows, with the colour box
// ticked and not. Choosing a kind never shows the colour sliders by itself:
// only the colour kind does, or the box where it is offered.
TEST_F(SchedulesTest, TheEditorShowsTheControlsOfTheChosenKind) {
    click("New");
    ASSERT_TRUE(pumpUntil([&] { return editor().isVisible(); }));
    auto named = [&](const QString& name) {
        for (QWidget* w : editor().findChildren<QWidget*>())
            if (w->accessibleName() == name || (qobject_cast<QCheckBox*>(w) && w->property("text") == name)) return w;
        ADD_FAILURE() << name.toStdString();
        return static_cast<QWidget*>(&editor());
    };
    auto* kind = qobject_cast<QComboBox*>(named("Action"));
    auto* box = qobject_cast<QCheckBox*>(named("Also set colour and brightness"));
    const std::pair<const char*, QWidget*> controls[] = {{"on", named("On time")},
                                                         {"off", named("Off time")},
                                                         {"lamp", named("Lamp")},
                                                         {"box", box},
                                                         {"vary", named("Vary the times a little")},
                                                         {"colour", named("Colour")},
                                                         {"brightness", named("Brightness")},
                                                         {"saturation", named("Saturation")}};
    auto shown = [&] {
        std::string out;
        for (const auto& [name, widget] : controls)
            if (widget->isVisibleTo(&editor())) out += (out.empty() ? "" : " ") + std::string(name);
        return out;
    };
    const std::string colour = " colour brightness saturation";
    struct Case {
        int kind;
        bool ticked;
        std::string expected;
    };
    const Case cases[] = {
        {0, false, "on off lamp box vary"},  // On & Off again, as a new item has it
        {1, false, "on lamp box vary"},
        {2, false, "off lamp vary"},
        {3, false, "on lamp vary" + colour},
        {4, false, "on off"},
        {5, false, "on lamp vary"},
        {6, false, "off lamp vary"},
        {0, true, "on off lamp box vary" + colour},
        {1, true, "on lamp box vary" + colour},
        {2, true, "off lamp vary"},  // the box is not offered, so it does not count
        {3, true, "on lamp vary" + colour},
        {4, true, "on off"},
        {5, true, "on lamp vary"},
        {6, true, "off lamp vary"},
        {0, true, "on off lamp box vary" + colour},
    };
    for (const Case& c : cases) {
        if (c.ticked != box->isChecked()) {
            // The box is ticked where it is offered.
            kind->setCurrentIndex(0);
            emit kind->activated(0);
            ASSERT_TRUE(pumpUntil([&] { return box->isVisibleTo(&editor()); }));
            box->click();
        }
        kind->setCurrentIndex(c.kind);
        emit kind->activated(c.kind);
        EXPECT_TRUE(pumpUntil([&] { return shown() == c.expected; }))
            << c.kind << (c.ticked ? " ticked: " : ": ") << shown();
    }
    // Every label of the form in the editor's own font.
    for (QLabel* label : editor().findChildren<QLabel*>())
        EXPECT_EQ(label->font(), editor().font()) << label->text().toStdString();
}

TEST_F(SchedulesTest, CloseEscapeAndCtrlWCloseTheWindow) {
    const std::function<void()> ways[] = {
        [&] { click("Close"); },
        [&] { QTest::keySequence(table(), QKeySequence(Qt::Key_Escape)); },
        [&] { QTest::keySequence(table(), QKeySequence::Close); },
    };
    for (const auto& close : ways) {
        window().showWindow();
        ASSERT_TRUE(pumpUntil([&] { return window().isVisible(); }));
        close();
        EXPECT_TRUE(pumpUntil([&] { return !window().isVisible(); }));
    }
}

TEST_F(SchedulesTest, AnItemGlowmerectlAddsShowsUpInTheOpenWindow) {
    const std::string command = std::string(GLOWMERE_CTL_PATH) + " --profile '" + t.profile().string() +
                                "' schedule-add --name FromTheShell --kind on --lamp 1 --on 06:30 >/dev/null 2>&1";
    ASSERT_EQ(std::system(command.c_str()), 0);
    // The application looks at the settings file every second (of its clock).
    ASSERT_TRUE(pumpUntil([&] {
        t.fakeClock().advance(std::chrono::seconds(1));
        return rows() == 1;
    }));
    EXPECT_EQ(window().model().index(0, 2).data().toString(), "FromTheShell");
    EXPECT_EQ(window().model().index(0, 0).data(Qt::CheckStateRole).toInt(), Qt::Checked);
}

}  // namespace
}  // namespace glowmere::testing
