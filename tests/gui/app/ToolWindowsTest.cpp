// The explorer window, the Location section with the location service, and
// the update window, against the simulated bridge and a local update server.
#include <httplib.h>

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QGeoPositionInfoSource>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLineEdit>
#include <QPushButton>
#include <QStandardItemModel>
#include <QTabWidget>
#include <QTest>
#include <QTextBrowser>
#include <QTimer>
#include <QTreeView>
#include <QUrl>
#include <atomic>
#include <fstream>
#include <thread>

#include "GuiHarness.h"
#include "gui/adapters/QtMainWindow.h"
#include "gui/adapters/QtWorkspace.h"
#include "gui/app/ToolWindows.h"
#include "gui/windows/CommandBar.h"
#include "gui/windows/ExplorerWindow.h"
#include "gui/windows/LocationSection.h"
#include "gui/windows/SettingsWindow.h"
#include "gui/windows/UpdateWindow.h"
#include "schedules/ScheduleManager.h"
#include "schedules/SunTimes.h"
#include "update/UpdateFiles.h"

namespace glowmere::testing {
namespace {

using ToolWindowsTest = GuiTest;

QModelIndex childNamed(QAbstractItemModel* model, const QModelIndex& parent, const QString& text) {
    for (int i = 0; i < model->rowCount(parent); ++i)
        if (model->index(i, 0, parent).data().toString() == text) return model->index(i, 0, parent);
    return {};
}

TEST_F(ToolWindowsTest, TheExplorerReadsAsRecordsFiltersAndCopiesJson) {
    AppUnderTest t(house(2, 1));
    ASSERT_TRUE(t.waitForStrips(3));
    t.sim().changeLamp("2", R"({"bri":137})");
    auto& explorer = t.app().tools().explorerWindow();
    t.app().mainWindow().commandBar().action(gui::CommandBar::Command::Explorer)->trigger();
    ASSERT_TRUE(pumpUntil([&] { return explorer.isVisible() && !explorer.isLoading(); }));
    auto* model = explorer.model();
    QStringList top;
    for (int i = 0; i < model->rowCount(); ++i) top << model->index(i, 0).data().toString();
    EXPECT_EQ(top, (QStringList{"Config", "Groups", "Lights", "Schedules"}));
    const QModelIndex lights = childNamed(model, {}, "Lights");
    ASSERT_TRUE(childNamed(model, lights, "1 Hall").isValid());  // lamps by id and name
    const QModelIndex lamp = childNamed(model, lights, "2 Küche");
    ASSERT_TRUE(lamp.isValid());
    const QModelIndex name = childNamed(model, lamp, "name: Küche");  // values beside their keys
    ASSERT_TRUE(name.isValid());
    EXPECT_EQ(model->rowCount(name), 0);
    const QModelIndex state = childNamed(model, lamp, "state");
    EXPECT_TRUE(childNamed(model, state, "bri: 137").isValid());

    explorer.tree()->setCurrentIndex(name);
    QTest::mouseClick(explorer.copyButton(), Qt::LeftButton);
    EXPECT_EQ(QApplication::clipboard()->text(), "Küche");
    explorer.tree()->setCurrentIndex(state);
    explorer.copySelectedValue();
    const auto copied = QJsonDocument::fromJson(QApplication::clipboard()->text().toUtf8());
    EXPECT_EQ(copied["bri"].toInt(-1), 137);
    EXPECT_TRUE(copied["on"].isBool());

    // The filter keeps what matches, in keys and values, and what leads to it.
    QTest::keyClicks(explorer.filterField(), "KÜCHE");
    QStringList left;
    for (int i = 0; i < model->rowCount(); ++i) left << model->index(i, 0).data().toString();
    EXPECT_EQ(left, QStringList{"Lights"});
    EXPECT_EQ(model->rowCount(childNamed(model, {}, "Lights")), 1);
    explorer.filterField()->clear();
    EXPECT_EQ(model->rowCount(), 4);

    // Reload reads the bridge again: a list it refuses now drops its section.
    t.sim().closeWithoutReply(-1, "/groups");
    QTest::mouseClick(explorer.reloadButton(), Qt::LeftButton);
    ASSERT_TRUE(pumpUntil([&] { return !explorer.isLoading() && model->rowCount() == 3; }));
    EXPECT_FALSE(childNamed(model, {}, "Groups").isValid());
}

// A position source that answers the first request with one fixed position.
class FakePositionSource : public QGeoPositionInfoSource {
public:
    explicit FakePositionSource(QObject* parent) : QGeoPositionInfoSource(parent) {}
    QGeoPositionInfo lastKnownPosition(bool) const override { return {}; }
    PositioningMethods supportedPositioningMethods() const override { return AllPositioningMethods; }
    int minimumUpdateInterval() const override { return 1000; }
    Error error() const override { return NoError; }
    void startUpdates() override {}
    void stopUpdates() override {}
    void requestUpdate(int) override {
        ++requests;
        QTimer::singleShot(0, this, [this] {
            QGeoPositionInfo info(QGeoCoordinate(48.1374, 11.5755), QDateTime::currentDateTimeUtc());
            info.setAttribute(QGeoPositionInfo::HorizontalAccuracy, 25);
            emit positionUpdated(info);
        });
    }
    static inline int requests = 0;
};

// Glowmere in Berlin on midsummer's day 2026, with a position source of the
// test's; `linkedItem`: one schedule item follows the sun.
AppUnderTest::Options berlin(bool linkedItem, int* sourcesMade) {
    auto options = house(1, 0, true);
    if (linkedItem)
        options.extraDefaults =
            "<key>GlowmereController actions</key><array><dict><key>name</key><string>Dusk</string>"
            "<key>action</key><integer>1</integer><key>linksunrisesunset</key><true/>"
            "<key>ontime</key><string>20:00</string><key>offtime</key><string>05:00</string>"
            "<key>enabled</key><false/></dict></array>\n";
    options.adjust = [sourcesMade](gui::GlowmereApp::Options& app) {
        app.positionSource = [sourcesMade](QObject* parent) -> QGeoPositionInfoSource* {
            ++*sourcesMade;
            return new FakePositionSource(parent);
        };
    };
    return options;
}

gui::LocationSection* openLocationSection(AppUnderTest& t) {
    t.fakeClock().setNow(
        platform::Clock::TimePoint(std::chrono::sys_days(std::chrono::year{2026} / 6 / 21) + std::chrono::hours(10)));
    auto& settings = t.app().settingsWindow();
    auto* section = t.app().tools().locationSection();
    settings.show();
    settings.tabs()->setCurrentWidget(section);
    return section;
}

std::optional<SunTimes> berlinSunTimes(const GeoPosition& position) {
    return computeSunTimes(position, std::chrono::local_days(std::chrono::year{2026} / 6 / 21),
                           *platform::TimeZone::named("Europe/Berlin"));
}

// A zone without a city and nothing entered: the section shows the position
// the schedules fall back on, says so, and its sun times.
TEST_F(ToolWindowsTest, WithNoPositionKnownTheLocationSectionShowsTheSchedulesFallback) {
    ZoneForTest zone("UTC");
    int sourcesMade = 0;
    AppUnderTest t(berlin(false, &sourcesMade));
    ASSERT_TRUE(t.waitForStrips(1));
    auto* section = openLocationSection(t);
    auto expected = computeSunTimes({0, 0, 0}, std::chrono::local_days(std::chrono::year{2026} / 6 / 21),
                                    *platform::TimeZone::named("UTC"));
    ASSERT_TRUE(expected);
    ASSERT_TRUE(pumpUntil([&] { return section->sunriseText().toStdString() == expected->sunrise; }))
        << section->sunriseText().toStdString();
    EXPECT_EQ(section->positionText(), "0.0000° N, 0.0000° E");
    EXPECT_TRUE(section->sourceText().startsWith("no position known")) << section->sourceText().toStdString();
    EXPECT_EQ(section->sunsetText().toStdString(), expected->sunset);
}

TEST_F(ToolWindowsTest, TheLocationSectionShowsTheZonesCityThenAnEnteredPositionWithItsSunTimes) {
    ZoneForTest zone("Europe/Berlin");
    int sourcesMade = 0;
    AppUnderTest t(berlin(false, &sourcesMade));
    ASSERT_TRUE(t.waitForStrips(1));
    auto* section = openLocationSection(t);
    auto city = DefaultsLocation(t.app().defaults(), "Europe/Berlin").currentPosition();
    ASSERT_TRUE(city);
    auto expected = berlinSunTimes(*city);
    ASSERT_TRUE(expected);
    ASSERT_TRUE(pumpUntil([&] { return section->sunriseText().toStdString() == expected->sunrise; }));
    EXPECT_EQ(section->sourceText(), "the time zone's main city (Europe/Berlin)");
    EXPECT_EQ(section->sunsetText().toStdString(), expected->sunset);

    // A latitude off the globe is refused and changes nothing.
    QTest::keyClicks(section->latitudeField(), "95");
    QTest::keyClicks(section->longitudeField(), "13.405");
    QTest::mouseClick(section->useButton(), Qt::LeftButton);
    ASSERT_TRUE(pumpUntil([&] { return section->messageText().contains("latitude"); }));
    EXPECT_TRUE(section->sourceText().startsWith("the time zone's main city"));

    section->latitudeField()->clear();
    QTest::keyClicks(section->latitudeField(), "52.52");
    QTest::mouseClick(section->useButton(), Qt::LeftButton);
    ASSERT_TRUE(pumpUntil([&] { return section->sourceText() == "entered by hand"; }));
    expected = berlinSunTimes({52.52, 13.405, 0});
    EXPECT_EQ(section->positionText(), "52.5200° N, 13.4050° E");
    EXPECT_EQ(section->sunriseText().toStdString(), expected->sunrise);
    EXPECT_EQ(section->sunsetText().toStdString(), expected->sunset);
    // The engine's stored times for today are the same figures.
    ASSERT_TRUE(pumpUntil([&] { return t.app().defaults().stringForKey("sunrise") == expected->sunrise; }));
    EXPECT_EQ(t.app().defaults().stringForKey("sunset"), expected->sunset);
    EXPECT_EQ(platform::DefaultsStore(t.profile()).doubleForKey("latitude"), 52.52);
    // Nothing follows the sun: the location service was never asked.
    EXPECT_EQ(sourcesMade, 0);
}

TEST_F(ToolWindowsTest, AnItemThatFollowsTheSunAsksTheLocationServiceOnceAndUsesItsPosition) {
    ZoneForTest zone("Europe/Berlin");
    int sourcesMade = 0;
    FakePositionSource::requests = 0;
    AppUnderTest t(berlin(true, &sourcesMade));
    ASSERT_TRUE(t.waitForStrips(1));
    ASSERT_TRUE(pumpUntil([&] { return t.app().defaults().stringForKey("positionSource") == "location service"; }));
    EXPECT_EQ(sourcesMade, 1);
    EXPECT_EQ(FakePositionSource::requests, 1);
    EXPECT_DOUBLE_EQ(t.app().defaults().doubleForKey("latitude"), 48.1374);
    EXPECT_DOUBLE_EQ(t.app().defaults().doubleForKey("longitude"), 11.5755);
    auto* section = openLocationSection(t);
    const auto expected = berlinSunTimes({48.1374, 11.5755, 0});
    ASSERT_TRUE(pumpUntil([&] {
        return section->sourceText() == "location service" && section->sunriseText().toStdString() == expected->sunrise;
    }));
    EXPECT_EQ(section->positionText(), "48.1374° N, 11.5755° E");
    EXPECT_EQ(section->sunsetText().toStdString(), expected->sunset);
}

TEST_F(ToolWindowsTest, AnUpdateIsCheckedKeptWhenNoProgramOpensItSkippedAndQuitsOnlyWhenOpened) {
    const std::string file(200000, 'g');
    update::Sha256 sha;
    sha.add(file);
    const std::string fileSha = sha.hexDigest();
    httplib::Server server;
    const int port = server.bind_to_any_port("127.0.0.1");
    const std::string base = "http://127.0.0.1:" + std::to_string(port);
    server.Get("/glowmere/updates/currentversion.plist", [&](const httplib::Request&, httplib::Response& res) {
        res.set_content(
            "<plist><dict><key>currentversion</key><string>99.1</string>"
            "<key>newinthisversionurl</key><string>" +
                base +
                "/news.html</string>"
                "<key>releasedate</key><string>21 June 2026</string>"
                "<key>downloadsha256</key><string>" +
                fileSha + "</string><key>downloadurl</key><string>" + base +
                "/files/Glowmere-99.1.tar.gz</string>"
                "</dict></plist>",
            "application/xml");
    });
    server.Get("/news.html", [](const httplib::Request&, httplib::Response& res) {
        res.set_content("<h2>Glowmere 99.1</h2><p>Lamps fade more smoothly.</p>", "text/html");
    });
    std::atomic<bool> tampered{true};
    server.Get("/files/Glowmere-99.1.tar.gz", [&](const httplib::Request&, httplib::Response& res) {
        res.set_content(tampered ? file.substr(1) + "x" : file, "application/gzip");
    });
    std::thread serving([&] { server.listen_after_bind(); });

    TempDir downloads;
    auto options = house(1, 0);
    options.extraDefaults = "<key>updateServer</key><string>" + base + "</string>\n";
    options.adjust = [&](gui::GlowmereApp::Options& app) { app.downloadFolder = downloads.path(); };
    {
        AppUnderTest t(options);
        std::atomic<bool> opens{false};
        t.app().workspace().setFileOpener([&](const QUrl&) { return opens.load(); });
        auto& window = t.app().tools().updateWindow();
        ASSERT_TRUE(pumpUntil([&] { return window.isVisible() && window.versionText() == "99.1"; }));
        EXPECT_EQ(window.releaseDateText(), "21 June 2026");
        ASSERT_TRUE(pumpUntil([&] { return window.news()->toPlainText().contains("Lamps fade more smoothly."); }));
        EXPECT_TRUE(window.notNowButton()->isVisible());
        EXPECT_FALSE(window.showInFolderButton()->isVisible());

        // A file that is not the one the list describes is refused, nothing kept.
        QTest::mouseClick(window.downloadButton(), Qt::LeftButton);
        ASSERT_TRUE(pumpUntil([&] { return window.messageText().contains("SHA-256"); }));
        EXPECT_TRUE(std::filesystem::is_empty(downloads.path()));

        // No program opens the right file: Glowmere stays and says where it is.
        tampered = false;
        const auto saved = downloads.path() / "Glowmere-99.1.tar.gz";
        ASSERT_TRUE(pumpUntil([&] { return !t.app().tools().updateWorkRunning(); }));
        QTest::mouseClick(window.downloadButton(), Qt::LeftButton);
        ASSERT_TRUE(pumpUntil([&] { return window.showInFolderButton()->isVisible(); }));
        EXPECT_TRUE(window.messageText().contains(QString::fromStdString(saved.string())));
        EXPECT_EQ(std::filesystem::file_size(saved), file.size());
        EXPECT_EQ(t.app().workspace().lastOpened(),
                  QUrl::fromLocalFile(QString::fromStdString(saved.string())).toString().toStdString());
        EXPECT_FALSE(t.app().quitRequested());
        EXPECT_TRUE(window.isVisible());

        // Skip this version is remembered and closes the window.
        QTest::mouseClick(window.skipButton(), Qt::LeftButton);
        EXPECT_TRUE(pumpUntil([&] { return !window.isVisible(); }));
        EXPECT_EQ(platform::DefaultsStore(t.profile()).stringForKey("skippedVersion"), "99.1");

        // When the opener starts, the application quits the orderly way.
        opens = true;
        ASSERT_TRUE(pumpUntil([&] { return !t.app().tools().updateWorkRunning(); }));
        window.downloadButton()->click();
        ASSERT_TRUE(pumpUntil([&] { return t.app().quitRequested(); }));
        ASSERT_TRUE(pumpUntil([&] { return t.app().settingsSaved(); }));
    }
    server.stop();
    serving.join();
}

}  // namespace
}  // namespace glowmere::testing
