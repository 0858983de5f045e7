// The files Glowmere keeps with the desktop: the start-at-login entry and the
// data files found from the install prefix or the build tree.
#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <sstream>

#include "platform/Autostart.h"
#include "platform/DataFiles.h"
#include "support/TempDir.h"

using glowmere::platform::Autostart;
using glowmere::platform::findDataFile;
using glowmere::testing::TempDir;
namespace fs = std::filesystem;

namespace {

std::string readFile(const fs::path& path) {
    std::ifstream in(path);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

void writeFile(const fs::path& path, const std::string& text) {
    fs::create_directories(path.parent_path());
    std::ofstream(path) << text;
}

TEST(AutostartTest, ExecLinesQuoteWhatTheDesktopWouldSplitAndPassTheValidator) {
    struct Case {
        const char* what;
        std::string program;
        std::vector<std::string> arguments;
        std::string exec;  // as it stands in the file
    };
    const Case cases[] = {
        {"installed, found on PATH", "glowmere", {"--hidden"}, "glowmere --hidden"},
        {"spaces in paths",
         "/opt/my lamps/glowmere",
         {"--hidden", "--profile", "/home/a b/lamps"},
         R"("/opt/my lamps/glowmere" --hidden --profile "/home/a b/lamps")"},
        {"a percent sign is no field code",
         "/usr/bin/glowmere",
         {"--profile", "/srv/100%"},
         "/usr/bin/glowmere --profile /srv/100%%"},
        {"dollar, quote and backquote",
         "/srv/$x/glowmere",
         {"--profile", "/p/\"q\"/`r`"},
         R"("/srv/\\$x/glowmere" --profile "/p/\\"q\\"/\\`r\\`")"},
        {"a backslash takes four", "/srv/a\\b/glowmere", {}, R"("/srv/a\\\\b/glowmere")"},
    };
    const bool validator = std::system("command -v desktop-file-validate >/dev/null 2>&1") == 0;
    for (const auto& c : cases) {
        TempDir dir;
        Autostart autostart(dir.path() / "autostart", c.program, c.arguments);
        std::string error;
        ASSERT_TRUE(autostart.setEnabled(true, error)) << c.what << ": " << error;
        const std::string text = readFile(autostart.entryPath());
        EXPECT_NE(text.find("\nExec=" + c.exec + "\n"), std::string::npos) << c.what << ":\n" << text;
        if (validator) {
            const std::string command = "desktop-file-validate '" + autostart.entryPath().string() + "'";
            EXPECT_EQ(std::system(command.c_str()), 0) << c.what << ":\n" << text;
        }
    }
    EXPECT_TRUE(validator) << "desktop-file-validate (desktop-file-utils) is missing: scripts/setup installs it";
}

TEST(AutostartTest, TheEntryIsTheSettingAndTheDesktopCanSwitchItOff) {
    TempDir dir;
    Autostart autostart(dir.path() / "autostart", "glowmere", {"--hidden"});
    std::string error;
    EXPECT_FALSE(autostart.isEnabled());
    // Switching off what is not there is no failure.
    EXPECT_TRUE(autostart.setEnabled(false, error)) << error;

    ASSERT_TRUE(autostart.setEnabled(true, error)) << error;
    EXPECT_EQ(autostart.entryPath(), dir.path() / "autostart" / "org.glowmere.Glowmere.desktop");
    EXPECT_TRUE(autostart.isEnabled());
    // Written by replacing, nothing left beside it.
    EXPECT_EQ(std::distance(fs::directory_iterator(dir.path() / "autostart"), fs::directory_iterator()), 1);

    // The desktop's own start-up settings switch an entry off in place.
    for (const char* off : {"Hidden=true", "X-GNOME-Autostart-enabled=false"}) {
        writeFile(autostart.entryPath(),
                  "[Desktop Entry]\nType=Application\nExec=glowmere --hidden\n" + std::string(off) + "\n");
        EXPECT_FALSE(autostart.isEnabled()) << off;
    }
    ASSERT_TRUE(autostart.setEnabled(false, error)) << error;
    EXPECT_FALSE(fs::exists(autostart.entryPath()));

    // A folder that cannot be made: a clear reason, still off.
    writeFile(dir.path() / "blocked", "a file where the folder should be");
    Autostart blocked(dir.path() / "blocked" / "autostart", "glowmere", {"--hidden"});
    EXPECT_FALSE(blocked.setEnabled(true, error));
    EXPECT_NE(error.find("blocked"), std::string::npos) << error;
    EXPECT_FALSE(blocked.isEnabled());
    // A line break would end the Exec line and start another key.
    Autostart broken(dir.path() / "autostart", "glowmere", {"--profile", "/a\nHidden=true"});
    EXPECT_FALSE(broken.setEnabled(true, error));
    EXPECT_FALSE(fs::exists(broken.entryPath()));
}

TEST(DataFilesTest, TheHelpPageIsFoundBesideTheBuiltProgramUnderItsPrefixOrWhereTheEnvironmentSays) {
    TempDir dir;
    const fs::path root = dir.path();
    writeFile(root / "build/src/gui/resources/support.html", "build");
    writeFile(root / "usr/share/glowmere/support.html", "installed");
    writeFile(root / "opt/lamps/share/glowmere/support.html", "moved prefix");
    writeFile(root / "elsewhere/support.html", "environment");
    fs::create_directories(root / "usr/bin");
    fs::create_directories(root / "opt/lamps/bin");
    fs::create_directories(root / "nowhere/bin");
    ::unsetenv("GLOWMERE_DATA_DIR");

    struct Case {
        const char* programDirectory;
        const char* environment;  // GLOWMERE_DATA_DIR, or null
        const char* found;        // the text of the file found, or null
    };
    const Case cases[] = {
        {"build/src/gui", nullptr, "build"},
        {"usr/bin", nullptr, "installed"},
        {"opt/lamps/bin", nullptr, "moved prefix"},
        {"usr/bin", "elsewhere", "environment"},
        // A folder named by the environment that lacks the file is passed over.
        {"usr/bin", "nowhere", "installed"},
    };
    for (const auto& c : cases) {
        if (c.environment) ::setenv("GLOWMERE_DATA_DIR", (root / c.environment).c_str(), 1);
        auto found = findDataFile("support.html", root / c.programDirectory);
        ::unsetenv("GLOWMERE_DATA_DIR");
        ASSERT_TRUE(found) << c.programDirectory;
        EXPECT_EQ(readFile(*found), c.found) << c.programDirectory;
        EXPECT_TRUE(found->is_absolute());
    }
    EXPECT_FALSE(findDataFile("no-such-page.html", root / "usr/bin"));
}

}  // namespace
