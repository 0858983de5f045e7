// Glowmere as a desktop program: start at login, the hidden start and its
// command line.
#include <sys/wait.h>
#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QLabel>
#include <QMainWindow>
#include <QMenuBar>
#include <QMessageBox>

#include <cstdlib>
#include <fstream>
#include <sstream>

#include "GuiHarness.h"
#include "gui/adapters/QtMainWindow.h"
#include "gui/windows/AboutDialog.h"
#include "gui/windows/ApplicationMenu.h"
#include "gui/windows/SettingsWindow.h"
#include "platform/Version.h"

namespace glowmere::testing {
namespace {

namespace fs = std::filesystem;
using DesktopTest = GuiTest;

std::string readFile(const fs::path& path) {
    std::ifstream in(path);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

TEST_F(DesktopTest, TheStartAtLoginSwitchWritesAnEntryStartingThisProfileHiddenAndRemovesIt) {
    AppUnderTest t(house(1, 0));
    gui::SettingsWindow& window = t.app().settingsWindow();
    window.show();
    auto* box = window.findChild<QCheckBox*>("startAtLogin");
    auto* error = window.findChild<QLabel*>("startAtLoginError");
    ASSERT_TRUE(box && error);
    EXPECT_FALSE(box->isChecked());
    const fs::path entry = t.profile() / "autostart" / "org.glowmere.Glowmere.desktop";

    box->click();
    ASSERT_TRUE(fs::exists(entry));
    // This test program is not on PATH, so the entry names it in full.
    const std::string exec = "Exec=" + fs::read_symlink("/proc/self/exe").string() + " --hidden --profile " +
                             fs::absolute(t.profile()).string() + "\n";
    EXPECT_NE(readFile(entry).find(exec), std::string::npos) << readFile(entry);
    box->click();
    EXPECT_FALSE(fs::exists(entry));
    EXPECT_FALSE(error->isVisible());

    // Switched on elsewhere (the desktop's own settings): the window shows it
    // when it opens again.
    window.hide();
    std::string reason;
    ASSERT_TRUE(t.app().autostart().setEnabled(true, reason)) << reason;
    window.show();
    EXPECT_TRUE(box->isChecked());

    // A folder that cannot be written: the reason shows and the switch stays
    // as the entry is.
    box->click();
    ASSERT_FALSE(fs::exists(entry));
    fs::remove_all(t.profile() / "autostart");
    std::ofstream(t.profile() / "autostart") << "a file where the folder should be";
    box->click();
    EXPECT_FALSE(box->isChecked());
    EXPECT_TRUE(error->isVisible());
    EXPECT_TRUE(error->text().contains("autostart")) << error->text().toStdString();
    window.hide();
}

TEST_F(DesktopTest, AStartOpensTheWindowAndAHiddenOneWithoutATrayOnlyAfterWaitingForOne) {
    {
        AppUnderTest t(house(1, 0));
        QMainWindow* window = t.app().mainWindow().widget();
        EXPECT_TRUE(pumpUntil([&] { return window->isVisible(); }, 1000)) << "at once, not once the bridge answers";
    }
    // Offscreen there is no tray, as at login before the panel is up.
    auto options = house(1, 0);
    options.adjust = [](gui::GlowmereApp::Options& o) {
        o.startHidden = true;
        o.trayWaitMs = 200;
    };
    AppUnderTest t(options);
    QMainWindow* window = t.app().mainWindow().widget();
    EXPECT_FALSE(window->isVisible());
    EXPECT_TRUE(pumpUntil([&] { return window->isVisible(); }, 5000));
}

TEST_F(DesktopTest, TheFirstCloseOfTheWindowSaysOnceThatGlowmereKeepsRunning) {
    AppUnderTest t(house(1, 0));
    QMainWindow* window = t.app().mainWindow().widget();
    auto notices = [] {
        QList<QMessageBox*> shown;
        for (QWidget* w : QApplication::topLevelWidgets())
            if (w->objectName() == "closeNotice" && w->isVisible()) shown << qobject_cast<QMessageBox*>(w);
        return shown;
    };
    ASSERT_TRUE(pumpUntil([&] { return window->isVisible(); }));
    window->close();
    ASSERT_EQ(notices().size(), 1);
    EXPECT_EQ(notices()[0]->icon(), QMessageBox::Information);
    EXPECT_TRUE(notices()[0]->informativeText().contains("Ctrl+Q")) << notices()[0]->informativeText().toStdString();
    EXPECT_FALSE(t.app().quitRequested());
    notices()[0]->close();
    EXPECT_TRUE(platform::DefaultsStore(t.profile()).boolForKey(gui::GlowmereApp::closeNoticeShownKey));

    t.app().toggleMainWindow();
    ASSERT_TRUE(pumpUntil([&] { return window->isVisible(); }));
    window->close();
    EXPECT_TRUE(notices().isEmpty()) << "said once";
}

TEST_F(DesktopTest, TheApplicationMenuComesBeforeCommandsWithItsKeysAndAbout) {
    AppUnderTest t(house(1, 0));
    QMainWindow* window = t.app().mainWindow().widget();
    QStringList menus;
    for (QAction* a : window->menuBar()->actions()) menus << a->text();
    ASSERT_GE(menus.size(), 2);
    EXPECT_EQ(menus.mid(0, 2), QStringList({"&Glowmere", "&Commands"})) << menus.join('|').toStdString();

    QStringList items;
    for (QAction* a : t.app().applicationMenu().actions())
        if (!a->isSeparator()) items << a->text() + " " + a->shortcut().toString(QKeySequence::PortableText);
    EXPECT_EQ(items, QStringList({"Settings Ctrl+,", "Help F1", "About Glowmere ", "Quit Ctrl+Q"}))
        << items.join('|').toStdString();

    t.app().applicationMenu().about()->trigger();
    gui::AboutDialog* about = t.app().aboutDialog();
    ASSERT_TRUE(about && about->isVisible());
    EXPECT_EQ(about->accessibleName(), "About Glowmere");
    EXPECT_EQ(about->versionLabel()->text(), "Version " + QString::fromStdString(std::string(platform::version())));
    EXPECT_TRUE(about->licenceLabel()->text().contains("GPL-3.0-or-later"));
    EXPECT_TRUE(about->homepageLabel()->text().contains("https://glowmere.org/"));
    about->close();
}

TEST_F(DesktopTest, QtsOwnOptionsAreLeftToQtAndOnlyUnknownOnesAreRefused) {
    struct Case {
        const char* arguments;
        int status;  // --version answers 0 once every option before it was accepted
    };
    const Case cases[] = {
        {"-style fusion --version", 0},
        {"--stylesheet=/nonexistent.qss -platform offscreen -reverse --version", 0},
        {"-qwindowgeometry 640x480+0+0 --hidden --version", 0},
        {"-bogus --version", 2},
        {"-reverse=1 --version", 2},  // takes no value
        {"--version -style", 0},      // --version answers first
        {"-style", 2},                // a value is missing
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.arguments);
        const std::string command = std::string(GLOWMERE_GUI_PATH) + " " + c.arguments + " >/dev/null 2>&1";
        const int status = std::system(command.c_str());
        ASSERT_TRUE(WIFEXITED(status));
        EXPECT_EQ(WEXITSTATUS(status), c.status);
    }
}

}  // namespace
}  // namespace glowmere::testing
