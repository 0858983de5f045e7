// glowmere: the desktop application.
#include <unistd.h>
#include <QApplication>
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QElapsedTimer>
#include <QGuiApplication>
#include <QMainWindow>
#include <QMenu>
#include <QPixmap>
#include <QRegularExpression>
#include <QScreen>
#include <QSocketNotifier>
#include <QTimer>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <utility>

#include "controller/ManualController.h"
#include "gui/adapters/QtMainWindow.h"
#include "gui/adapters/QtStatusItem.h"
#include "gui/app/DBusService.h"
#include "gui/app/GlowmereApp.h"
#include "gui/app/GuiContext.h"
#include "gui/app/ToolWindows.h"
#include "gui/widgets/Icons.h"
#include "gui/windows/AboutDialog.h"
#include "platform/Log.h"
#include "platform/Version.h"

namespace {

int signalPipe[2] = {-1, -1};

void onSignal(int) {
    // Only async-signal-safe work here: the Qt loop reads the pipe.
    const char byte = 1;
    [[maybe_unused]] auto written = ::write(signalPipe[1], &byte, 1);
}

void usage(std::FILE* out) {
    std::fputs(
        "usage: glowmere [--profile DIR] [--hidden] [Qt options]\n"
        "       glowmere --help | --version\n"
        "  --profile DIR  keep the settings in DIR/defaults.plist instead of the usual place\n"
        "  --hidden       start in the tray without opening the main window (as at login)\n"
        "  --version      print the version and exit\n"
        "Qt's standard options (-style NAME, -stylesheet FILE, -platform NAME, -reverse, ...) go to Qt.\n",
        out);
}

// Qt's own command-line options, which QApplication takes out of the
// arguments itself; `takesValue`: the next argument (or "=VALUE") belongs to
// it. Qt accepts each with one dash or two.
bool isQtOption(const char* argument, bool* takesValue) {
    static constexpr std::pair<const char*, bool> options[] = {
        {"platform", true},
        {"platformpluginpath", true},
        {"platformtheme", true},
        {"plugin", true},
        {"qwindowgeometry", true},
        {"qwindowicon", true},
        {"qwindowtitle", true},
        {"reverse", false},
        {"session", true},
        {"style", true},
        {"stylesheet", true},
        {"widgetcount", false},
        {"display", true},
        {"name", true},
        {"title", true},
        {"geometry", true},
        {"nograb", false},
        {"dograb", false},
        {"sync", false},
        {"visual", true},
        {"fn", true},
        {"font", true},
        {"bg", true},
        {"background", true},
        {"fg", true},
        {"foreground", true},
        {"btn", true},
        {"button", true},
        {"ncols", true},
        {"cmap", false},
        {"graphicssystem", true},
        {"qmljsdebugger", true},
        {"testability", false},
    };
    if (argument[0] != '-' || argument[1] == '\0') return false;
    std::string_view name(argument + (argument[1] == '-' ? 2 : 1));
    const auto equals = name.find('=');
    const bool valueAttached = equals != std::string_view::npos;
    name = name.substr(0, equals);
    for (const auto& [option, value] : options) {
        if (name != option) continue;
        if (valueAttached && !value) return false;
        *takesValue = value && !valueAttached;
        return true;
    }
    return false;
}

// On a real display: the main window with its frame and the tray menu open
// beside it, as the screen shows them. Offscreen: the window's own drawing.
QPixmap takeScreenshot(glowmere::gui::GlowmereApp& app, QMainWindow* window) {
    QScreen* screen = window->screen();
    if (QGuiApplication::platformName() == "offscreen" || !screen) return window->grab();
    QRect area = window->frameGeometry();
    QMenu* menu = nullptr;
    if (auto* item = app.statusItem(); item && item->trayIcon() && item->shownMenu()) {
        menu = item->shownMenu();
        const QRect icon = item->trayIcon()->geometry();
        menu->popup(icon.isValid() ? icon.bottomLeft() : area.topRight());
        // Let it open and draw.
        QElapsedTimer wait;
        wait.start();
        while (wait.elapsed() < 400) QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
        area = area.united(menu->geometry());
    }
    area = area.adjusted(-12, -12, 12, 12).intersected(screen->geometry());
    QPixmap shot = screen->grabWindow(0, area.x(), area.y(), area.width(), area.height());
    if (menu) menu->hide();
    return shot;
}

// GLOWMERE_SCREENSHOT=path: once the strips are built, save a picture of the
// main window there and print the path (the demo and the README use it).
void arrangeScreenshot(glowmere::gui::GlowmereApp& app, const QString& path) {
    auto* timer = new QTimer(&app);
    timer->setInterval(250);
    auto ready = std::make_shared<std::atomic<bool>>(false);
    auto shots = std::make_shared<int>(0);
    QObject::connect(timer, &QTimer::timeout, &app, [&app, path, timer, ready, shots] {
        if (!*ready) {
            // The strips are built, or the window says no bridge was found.
            app.onController([&app, ready] {
                if (app.manualController().isSetUp() ||
                    app.manualController().bridgeState() == glowmere::ManualController::BridgeState::NoBridgeFound)
                    *ready = true;
            });
            return;
        }
        // Give the strips' slide-in and the first poll a moment to settle.
        if (++*shots < 8) return;
        timer->stop();
        QMainWindow* window = app.mainWindow().widget();
        // GLOWMERE_SCREENSHOT_WINDOWS=schedules,explorer,...: pictures of those
        // windows follow, beside the main window's.
        QStringList more = qEnvironmentVariable("GLOWMERE_SCREENSHOT_WINDOWS").split(',', Qt::SkipEmptyParts);
        const QString base = QString(path).remove(QRegularExpression("\\.png$"));
        if (more.removeAll("about") > 0) {
            // "about": the About box, as BASE-about.png.
            app.showAbout();
            QTimer::singleShot(1500, &app, [&app, base] {
                const QString about = base + "-about.png";
                QWidget* box = app.aboutDialog();
                if (box && box->isVisible() && box->grab().save(about))
                    std::printf("screenshot saved to %s\n", about.toLocal8Bit().constData());
                else
                    std::printf("no screenshot of the about window\n");
                std::fflush(stdout);
            });
        }
        if (!more.isEmpty()) app.tools().saveScreenshots(more, base);
        if (takeScreenshot(app, window).save(path)) {
            std::printf("screenshot saved to %s\n", path.toLocal8Bit().constData());
            std::fflush(stdout);
        } else {
            glowmere::platform::log("could not save the screenshot to " + path.toStdString());
        }
    });
    timer->start();
}

// The command line read into `profile` and `hidden`; the exit status when
// it ends the run already (a mistake, --help, --version). Qt's own options
// are left for QApplication.
std::optional<int> readArguments(int argc, char** argv, std::filesystem::path& profile, bool& hidden) {
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--profile") == 0 && i + 1 < argc) {
            profile = argv[++i];
        } else if (std::strcmp(argv[i], "--hidden") == 0) {
            hidden = true;
        } else if (std::strcmp(argv[i], "--help") == 0 || std::strcmp(argv[i], "-h") == 0) {
            usage(stdout);
            return 0;
        } else if (std::strcmp(argv[i], "--version") == 0) {
            std::printf("glowmere %s\n", std::string(glowmere::platform::version()).c_str());
            return 0;
        } else if (bool takesValue = false; isQtOption(argv[i], &takesValue)) {
            // Left for QApplication, which reads and removes it.
            if (takesValue && ++i >= argc) {
                std::fprintf(stderr, "glowmere: %s needs a value\n", argv[i - 1]);
                usage(stderr);
                return 2;
            }
        } else {
            std::fprintf(stderr, "glowmere: unknown option %s\n", argv[i]);
            usage(stderr);
            return 2;
        }
    }
    return std::nullopt;
}

// One instance per profile: a second launch shows the first one's window,
// except a hidden one (start at login), which leaves it as it is. The exit
// status when another instance runs.
std::optional<int> showRunningInstance(const std::filesystem::path& profile, bool hidden) {
    using glowmere::gui::DBusService;
    if (hidden) {
        QDBusConnection bus = QDBusConnection::sessionBus();
        if (!bus.isConnected() || !bus.interface()) return std::nullopt;
        if (!bus.interface()->isServiceRegistered(DBusService::profileServiceName(profile)).value())
            return std::nullopt;
        std::fprintf(stderr, "glowmere: already running with this profile\n");
        return 0;
    }
    std::optional<bool> shown = DBusService::showRunningInstance(profile);
    if (!shown) return std::nullopt;
    if (*shown) {
        std::fprintf(stderr, "glowmere: already running with this profile; showed its window\n");
        return 0;
    }
    std::fprintf(stderr, "glowmere: already running with this profile, but it does not answer\n");
    return 1;
}

// SIGTERM and SIGINT quit the way the menu does, so the settings are saved.
void quitOnSignals(glowmere::gui::GlowmereApp& app) {
    if (::pipe(signalPipe) != 0) return;
    auto* notifier = new QSocketNotifier(signalPipe[0], QSocketNotifier::Read, &app);
    QObject::connect(notifier, &QSocketNotifier::activated, &app, [&app] {
        char byte;
        [[maybe_unused]] auto got = ::read(signalPipe[0], &byte, 1);
        app.requestQuit();
    });
    struct sigaction action {};
    action.sa_handler = onSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    sigaction(SIGTERM, &action, nullptr);
    sigaction(SIGINT, &action, nullptr);
}

}  // namespace

int main(int argc, char** argv) {
    std::filesystem::path profile;
    bool hidden = false;
    if (auto status = readArguments(argc, argv, profile, hidden)) return *status;
    if (!profile.empty()) {
        std::error_code error;
        std::filesystem::create_directories(profile, error);
        if (error) {
            std::fprintf(stderr, "glowmere: cannot use %s as the profile: %s\n", profile.c_str(),
                         error.message().c_str());
            return 1;
        }
    }

    QApplication qtApp(argc, argv);
    QApplication::setApplicationName("Glowmere");
    QApplication::setDesktopFileName("org.glowmere.Glowmere");
    QApplication::setWindowIcon(glowmere::gui::icons::application());
    // The tray is the main way in; closing a window must not end the run.
    QApplication::setQuitOnLastWindowClosed(false);

    if (auto status = showRunningInstance(profile, hidden)) return *status;

    glowmere::gui::GlowmereApp::Options options;
    options.profile = profile;
    options.sessionBus = true;
    options.followSession = true;
    const QByteArray screenshot = qgetenv("GLOWMERE_SCREENSHOT");
    // A screenshot needs the window, hidden start or not.
    options.startHidden = hidden && screenshot.isEmpty();
    glowmere::gui::GlowmereApp app(options);
    // Two launches at once: the one that lost the race for the name shows
    // the other's window.
    if (app.dbusService()->claim() == glowmere::gui::DBusService::Claim::AnotherInstance)
        return showRunningInstance(profile, hidden).value_or(0);

    quitOnSignals(app);
    if (!screenshot.isEmpty()) arrangeScreenshot(app, QString::fromLocal8Bit(screenshot));
    app.start();
    const int status = qtApp.exec();
    // The settings are saved; the background loops end with the process
    // (a poll may be waiting on the network, and nothing it does matters now).
    std::fflush(stdout);
    std::fflush(stderr);
    std::_Exit(status);
}
