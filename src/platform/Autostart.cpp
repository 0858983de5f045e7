#include "platform/Autostart.h"

#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string_view>
#include <system_error>

namespace fs = std::filesystem;

namespace glowmere::platform {

Autostart::Autostart(fs::path autostartDirectory, std::string program, std::vector<std::string> arguments)
    : directory_(std::move(autostartDirectory)), program_(std::move(program)), arguments_(std::move(arguments)) {}

fs::path Autostart::defaultDirectory() {
    const char* xdg = std::getenv("XDG_CONFIG_HOME");
    if (xdg && *xdg && fs::path(xdg).is_absolute()) return fs::path(xdg) / "autostart";
    const char* home = std::getenv("HOME");
    return fs::path(home && *home ? home : ".") / ".config" / "autostart";
}

std::string Autostart::runningProgram() {
    std::error_code error;
    const fs::path self = fs::read_symlink("/proc/self/exe", error);
    if (error) return "glowmere";
    const std::string name = self.filename().string();
    const char* path = std::getenv("PATH");
    std::string_view dirs = path ? path : "";
    while (!dirs.empty()) {
        const auto colon = dirs.find(':');
        const std::string dir(dirs.substr(0, colon));
        dirs = colon == std::string_view::npos ? std::string_view{} : dirs.substr(colon + 1);
        if (dir.empty() || dir.front() != '/') continue;
        const fs::path candidate = fs::path(dir) / name;
        if (fs::exists(candidate, error)) return fs::equivalent(candidate, self, error) ? name : self.string();
    }
    return self.string();
}

std::string Autostart::execArgument(const std::string& argument) {
    // Field codes start with '%': a literal one is doubled.
    std::string text;
    for (char c : argument) text += c == '%' ? std::string("%%") : std::string(1, c);
    if (!text.empty() && text.find_first_of(" \t\"'\\><~|&;$*?#()`") == std::string::npos) return text;
    // Quoted: '"', '`', '$' and '\' take a backslash, and every backslash is
    // doubled again because the whole value is a string of the entry.
    std::string quoted = "\"";
    for (char c : text) {
        if (c == '"' || c == '`' || c == '$') quoted += "\\\\";
        if (c == '\\') quoted += "\\\\\\";
        quoted += c;
    }
    return quoted + "\"";
}

std::string Autostart::entryText() const {
    std::string exec = execArgument(program_);
    for (const auto& argument : arguments_) exec += " " + execArgument(argument);
    return "[Desktop Entry]\n"
           "Type=Application\n"
           "Name=Glowmere\n"
           "Comment=Start Glowmere in the tray at login\n"
           "Exec=" +
           exec +
           "\n"
           "Icon=org.glowmere.Glowmere\n"
           "Terminal=false\n"
           "X-GNOME-Autostart-enabled=true\n";
}

bool Autostart::isEnabled() const {
    std::ifstream in(entryPath());
    if (!in) return false;
    std::string line;
    while (std::getline(in, line)) {
        while (!line.empty() && (line.back() == '\r' || line.back() == ' ')) line.pop_back();
        if (line == "Hidden=true" || line == "X-GNOME-Autostart-enabled=false") return false;
    }
    return true;
}

bool Autostart::setEnabled(bool enabled, std::string& error) {
    std::error_code ec;
    if (!enabled) {
        fs::remove(entryPath(), ec);
        if (ec) error = "could not remove " + entryPath().string() + ": " + ec.message();
        return !ec;
    }
    auto hasLineBreak = [](const std::string& s) { return s.find_first_of("\r\n") != std::string::npos; };
    bool breaks = hasLineBreak(program_);
    for (const auto& argument : arguments_) breaks = breaks || hasLineBreak(argument);
    if (breaks) {
        error = "the program's path or arguments hold a line break";
        return false;
    }
    fs::create_directories(directory_, ec);
    if (ec) {
        error = "could not make " + directory_.string() + ": " + ec.message();
        return false;
    }
    // Written beside and renamed over, so a crash leaves no half entry.
    const fs::path temporary = directory_ / (std::string(entryName) + ".tmp-" + std::to_string(::getpid()));
    {
        std::ofstream out(temporary, std::ios::trunc);
        out << entryText();
        out.flush();
        if (!out) {
            fs::remove(temporary, ec);
            error = "could not write " + temporary.string();
            return false;
        }
    }
    fs::rename(temporary, entryPath(), ec);
    if (ec) {
        error = "could not write " + entryPath().string() + ": " + ec.message();
        fs::remove(temporary, ec);
        return false;
    }
    return true;
}

}  // namespace glowmere::platform
