#include "controller/BulbSearch.h"

#include <algorithm>

#include "bridge/JsonText.h"
#include "platform/Log.h"
#include "platform/ThreadCheck.h"

namespace glowmere {

BulbSearch::BulbSearch(BridgeClient& bridge, platform::Clock& clock, LoopHandoff handoff, Strips strips)
    : bridge_(bridge), clock_(clock), handoff_(std::move(handoff)), strips_(std::move(strips)) {}

BulbSearch::~BulbSearch() {
    stopAll();
}

void BulbSearch::start() {
    GLOWMERE_EXPECT_LOOP_THREAD(handoff_.loop(), "BulbSearch::start");
    joinFinished();
    ++running_;
    auto finished = std::make_shared<std::atomic<bool>>(false);
    searches_.push_back({finished, platform::BackgroundThread(clock_, [this, finished](std::stop_token stop) {
                             run(stop);
                             --running_;
                             finished->store(true);
                             handoff_.post([this] { joinFinished(); });
                         })});
}

void BulbSearch::stopAll() {
    GLOWMERE_EXPECT_LOOP_THREAD(handoff_.loop(), "BulbSearch::stopAll");
    for (auto& search : searches_) search.thread.requestStop();
    for (auto& search : searches_) search.thread.join();
}

void BulbSearch::joinFinished() {
    std::erase_if(searches_, [](Search& search) {
        if (!search.finished->load()) return false;
        search.thread.join();
        return true;
    });
}

void BulbSearch::run(std::stop_token stop) {
    const Value answer = jsontext::dictionaryFromJSON(bridge_.sendPOSTRequestToUrl(Value::emptyMap(), "lights"));
    if (!answer.contains("success")) {
        const Value error = jsontext::dictionaryFromJSON(answer["error"].textValue());
        platform::log("Bridge Error: " + (error.contains("description") ? error["description"].textValue() : "(null)"));
        return;
    }
    platform::log("succesfully sent request to search for lights");
    handoff_.post([this] { strips_.showSearching(true); });
    std::vector<std::string> found;
    for (int attempt = 0; attempt < attempts && found.empty(); ++attempt) {
        const std::optional<std::string> text = bridge_.sendGETRequestToUrl("lights");
        platform::log("tried lights response, result is " + (text ? *text : std::string("(null)")));
        if (text) {
            const Value lamps = jsontext::dictionaryOfDictionariesFromJSON(*text);
            std::vector<std::string> ids;
            if (lamps.isMap())
                for (const auto& [id, record] : lamps.asMap()) ids.push_back(id);
            // The strips are the controller thread's: asked there.
            std::vector<std::string> fresh;
            if (!handoff_.runAndWait(
                    [this, &ids, &fresh] {
                        for (const std::string& id : ids)
                            if (!strips_.has(id)) fresh.push_back(id);
                    },
                    stop))
                return;
            for (const std::string& id : fresh) {
                platform::log("found a new light, id " + id);
                found.push_back(id);
            }
        }
        if (!clock_.sleepFor(pause, stop)) return;
    }
    handoff_.post([this, found = std::move(found)] {
        strips_.showSearching(false);
        // A polling cycle may have seen the new lamps and rebuilt already:
        // one rebuild is enough.
        if (std::any_of(found.begin(), found.end(), [this](const std::string& id) { return !strips_.has(id); }))
            strips_.rebuild();
    });
}

}  // namespace glowmere
