// The schedule window and its editor, driven as a user does, against the
// simulated bridge.
#include <QAction>
#include <QApplication>
#include <QComboBox>
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

    // The Delete key deletes the selected row.
    table()->setFocus();
    table()->selectRow(0);
    QTest::keyClick(table(), Qt::Key_Delete);
    ASSERT_TRUE(pumpUntil([&] { return rows() == 0; }));
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

    // The alert is answered from a timer once it shows.
    QString shownText;
    auto answerNextAlert = [&](const QString& button) {
        auto* timer = new QTimer(&window());
        timer->setInterval(20);
        QObject::connect(timer, &QTimer::timeout, [timer, button, &shownText] {
            auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
            if (!box) return;
            shownText = box->text();
            for (QAbstractButton* b : box->buttons())
                if (b->text() == button) b->click();
            timer->deleteLater();
        });
        timer->start();
    };
    answerNextAlert("Cancel");
    click("Delete All");
    ASSERT_TRUE(pumpUntil([&] { return !shownText.isEmpty(); }));
    EXPECT_EQ(shownText, "Delete all schedules from the bridge?");
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

TEST_F(SchedulesTest, ImportListsWhatItAddedAndTheStatusLineWhatIsForeign) {
    for (const char* name : {"Wake", "Sleep"})
        t.sim().userRequest("POST", "schedules",
                            std::string(R"({"name":")") + name +
                                R"(","time":"W124/T05:30:00","command":{"method":"PUT",)"
                                R"("address":"/api/testuser/lights/2/state","body":{"on":true}}})");
    click("Check");
    ASSERT_TRUE(pumpUntil([&] { return window().statusText() == ScheduleManager::otherAppStatus; }));
    click("Import");
    ASSERT_TRUE(pumpUntil([&] { return rows() == 2; }));
    ASSERT_TRUE(pumpUntil([&] { return window().reportText().startsWith("Imported"); }));
    EXPECT_TRUE(window().reportText() == "Imported 2 items: Wake, Sleep." ||
                window().reportText() == "Imported 2 items: Sleep, Wake.")
        << window().reportText().toStdString();
    EXPECT_EQ(window().statusText(), "");
    EXPECT_TRUE(window().model().index(0, 1).data().toString().contains("Küche"));
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
