#include "ctl/ExplorerCommands.h"

#include <algorithm>
#include <chrono>
#include <optional>
#include <ostream>

#include "bridge/JsonText.h"
#include "bridge/bridgeExplorer.h"
#include "platform/HttpDownload.h"
#include "platform/Log.h"
#include "platform/Version.h"
#include "update/UpdateWindowController.h"

namespace glowmere::ctl {

namespace {

using Args = std::vector<std::string>;

// The tree as JSON: dictionaries as objects, every value the text it shows.
void writeJSON(std::ostream& out, const Value& value, int depth) {
    if (!value.isMap()) {
        out << '"' << jsontext::escapeJSONText(value.textValue()) << '"';
        return;
    }
    if (value.asMap().empty()) {
        out << "{}";
        return;
    }
    const std::string indent(static_cast<std::size_t>(depth + 1) * 2, ' ');
    out << "{\n";
    bool first = true;
    for (const auto& [key, member] : value.asMap()) {
        out << (first ? "" : ",\n") << indent << '"' << jsontext::escapeJSONText(key) << "\": ";
        writeJSON(out, member, depth + 1);
        first = false;
    }
    out << '\n' << std::string(static_cast<std::size_t>(depth) * 2, ' ') << '}';
}

// The tree as indented text for the terminal: a line per key, each value's
// text one level further in, control characters escaped.
void writeText(std::ostream& out, const Value& value, int depth) {
    const std::string indent(static_cast<std::size_t>(depth) * 2, ' ');
    if (value.isMap()) {
        for (const auto& [key, member] : value.asMap()) {
            out << indent << platform::printable(key) << '\n';
            writeText(out, member, depth + 1);
        }
    } else if (value.isText()) {
        out << indent << platform::printable(value.text()) << '\n';
    }
}

int explore(Context& ctx, const Command& self, const Args& args) {
    for (const auto& a : args)
        if (a != "--json") return usageError(ctx, self, "unexpected argument '" + a + "'");
    bridgeExplorer explorer(ctx.bridge);
    explorer.loadData();
    auto tree = explorer.explorerDictionary();
    if (tree->empty()) return reportFailure(ctx, "could not read the bridge");
    if (ctx.json || !args.empty()) {
        writeJSON(ctx.out, *tree, 0);
        ctx.out << std::endl;
    } else {
        writeText(ctx.out, *tree, 0);
        ctx.out << std::flush;
    }
    for (const auto& section : bridgeExplorer::sections)
        if (!tree->contains(section.key))
            ctx.err << "glowmerectl: the bridge did not give its " << section.list << std::endl;
    if (!tree->contains(bridgeExplorer::configKey))
        ctx.err << "glowmerectl: the bridge did not give its configuration" << std::endl;
    return exitOk;
}

// A downloader held to --timeout: connecting, any stall and the whole
// transfer each end within it.
class TimedDownloader final : public platform::HttpDownloader {
public:
    TimedDownloader(platform::HttpDownloader& inner, std::optional<std::chrono::milliseconds> limit)
        : inner_(inner), limit_(limit) {}
    bool download(const Request& request, const Sink& sink, const ProgressObserver& progress,
                  std::string* error) override {
        if (!limit_) return inner_.download(request, sink, progress, error);
        Request held = request;
        held.connectTimeout = std::min(held.connectTimeout, *limit_);
        held.stallTimeout = std::min(held.stallTimeout, *limit_);
        const auto deadline = std::chrono::steady_clock::now() + *limit_;
        bool late = false;
        const bool ok = inner_.download(
            held,
            [&](std::string_view piece) {
                late = std::chrono::steady_clock::now() > deadline;
                return !late && sink(piece);
            },
            progress, error);
        if (late && error) *error = "no whole reply within the time-out";
        return ok && !late;
    }

private:
    platform::HttpDownloader& inner_;
    std::optional<std::chrono::milliseconds> limit_;
};

int updateCheck(Context& ctx, const Command& self, const Args& args) {
    if (!args.empty()) return usageError(ctx, self, "unexpected argument '" + args[0] + "'");
    platform::CurlHttpDownloader curl;
    TimedDownloader http(curl, ctx.replyTimeout);
    UpdateWindowController update(http, ctx.defaults, std::string(platform::version()));
    std::string problem;
    switch (update.readVersionList(&problem)) {
        case UpdateWindowController::CheckResult::NoServer:
            ctx.err << "glowmerectl: no update server is set (\"" << UpdateWindowController::updateServerKey << "\")"
                    << std::endl;
            return exitFailed;
        case UpdateWindowController::CheckResult::Unreadable:
            ctx.err << "glowmerectl: could not read the version list at " << update.updateServer()
                    << UpdateWindowController::versionListPath << ": " << problem << std::endl;
            return exitFailed;
        case UpdateWindowController::CheckResult::Newer:
            ctx.out << update.currentVersionDictionary()->currentversion << " is newer than " << update.runningVersion()
                    << std::endl;
            return exitOk;
        case UpdateWindowController::CheckResult::NotNewer:
            break;
    }
    ctx.out << update.currentVersionDictionary()->currentversion << " is not newer than " << update.runningVersion()
            << std::endl;
    return exitOk;
}

}  // namespace

void addExplorerCommands(CommandTable& table) {
    table.push_back({"explore", "[--json]", "everything the bridge holds: lamps, groups, schedules and configuration",
                     [](Context& ctx, const Args& args) {
                         static const Command self{"explore", "[--json]", "", nullptr};
                         return explore(ctx, self, args);
                     }});
    table.push_back({"update-check", "", "tell whether the update server offers a newer version",
                     [](Context& ctx, const Args& args) {
                         static const Command self{"update-check", "", "", nullptr};
                         return updateCheck(ctx, self, args);
                     }});
}

}  // namespace glowmere::ctl
