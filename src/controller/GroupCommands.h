#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "controls/BridgeClient.h"
#include "controls/LampSelectionView.h"
#include "platform/RunLoop.h"
#include "platform/Ui.h"
#include "platform/Views.h"

namespace glowmere {

// Making and removing groups from the main window: the popovers that ask
// for the lamps (or groups) and a name, and the requests that follow, each
// with polling paused and the strips rebuilt after. Controller thread.
class GroupCommands {
public:
    // What the commands ask of the controller, on its thread.
    struct Strips {
        // The checkbox row under the lamps (false) or the groups (true).
        std::function<LampSelectionView*(bool groups)> selection;
        // The identifier of the lamp or group strip with `tag`, if any.
        std::function<std::optional<std::string>(bool group, int tag)> idWithTag;
        std::function<void(bool enabled)> setPolling;
        std::function<void()> rebuild;
        // The strip for all lamps goes (the bridge's group of all stays).
        std::function<void()> dropAllStrip;
    };

    GroupCommands(platform::RunLoop& loop, BridgeClient& bridge, Strips strips)
        : loop_(loop), bridge_(bridge), strips_(std::move(strips)) {}

    // The two popovers; their buttons are wired to close them.
    void setPopovers(std::unique_ptr<platform::Popover> make, std::unique_ptr<platform::Popover> remove);
    platform::Popover* makeGroupPopover() const { return makeGroupPopover_.get(); }
    platform::Popover* removeGroupPopover() const { return removeGroupPopover_.get(); }

    void makeGroupStep1();
    void showMakeGroupPopover();
    // `sender`: the popover's button; a non-zero tag confirms.
    void makeGroupPopoverClose(platform::Control* sender);
    // The lamps with these tags become a group named as the popover says.
    void makeGroup(const Value& tags);
    void makeGroupNamed(const Value& tags, const std::string& enteredName);
    void removeGroupStep1();
    void showRemoveGroupPopover();
    void removeGroupPopoverClose(platform::Control* sender);
    void removeGroup(const Value& tags);

private:
    void showPopover(platform::Popover* popover, bool groups);

    [[maybe_unused]] platform::RunLoop& loop_;  // checked in debug builds
    BridgeClient& bridge_;
    Strips strips_;
    std::unique_ptr<platform::Popover> makeGroupPopover_, removeGroupPopover_;
};

}  // namespace glowmere
