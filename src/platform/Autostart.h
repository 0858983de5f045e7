#pragma once

#include <filesystem>
#include <string>
#include <vector>

namespace glowmere::platform {

// Start at login: the desktop's autostart entry
// (CONFIG/autostart/org.glowmere.Glowmere.desktop, CONFIG being
// $XDG_CONFIG_HOME or ~/.config) that starts Glowmere hidden in the tray. The
// entry itself is the setting: present means on. Used from one thread at a
// time; every call looks at the file afresh, so a change made elsewhere (the
// desktop's own autostart settings) shows.
class Autostart {
public:
    static constexpr const char* entryName = "org.glowmere.Glowmere.desktop";

    // `program` and `arguments` make the entry's Exec line; the program is
    // written as given (a bare name is looked up on PATH at login).
    Autostart(std::filesystem::path autostartDirectory, std::string program, std::vector<std::string> arguments);

    // $XDG_CONFIG_HOME/autostart, or ~/.config/autostart.
    static std::filesystem::path defaultDirectory();
    // The program the entry should start: "glowmere" when the running
    // executable is the one PATH finds under that name, else its full path.
    static std::string runningProgram();

    std::filesystem::path entryPath() const { return directory_ / entryName; }
    // The entry is there and the desktop has not switched it off
    // ("Hidden=true" or "X-GNOME-Autostart-enabled=false").
    bool isEnabled() const;
    // Writes the entry (atomically) or removes it. False with `error` set
    // when the file system refuses; the state is then as it was.
    bool setEnabled(bool enabled, std::string& error);

    // The entry's text.
    std::string entryText() const;
    // One Exec argument, quoted when it needs to be.
    static std::string execArgument(const std::string& argument);

private:
    std::filesystem::path directory_;
    std::string program_;
    std::vector<std::string> arguments_;
};

}  // namespace glowmere::platform
