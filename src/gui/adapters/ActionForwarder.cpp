#include "gui/adapters/ActionForwarder.h"

namespace glowmere::gui {

void ActionForwarder::forward(const std::shared_ptr<platform::Control>& control, Apply apply, bool sendAction) {
    if (!control) return;
    {
        std::lock_guard g(mutex_);
        auto [it, inserted] = pending_.try_emplace(control.get());
        if (!inserted) {
            // The waiting task has not run yet: it will apply this instead.
            // A waiting action stays an action even when the newer change
            // alone would not send one.
            it->second.apply = std::move(apply);
            it->second.sendAction = it->second.sendAction || sendAction;
            ++merged_;
            return;
        }
        it->second = Pending{std::move(apply), sendAction};
        ++posted_;
    }
    loop_.post([this, control] {
        Pending work;
        {
            std::lock_guard g(mutex_);
            auto it = pending_.find(control.get());
            if (it == pending_.end()) return;
            work = std::move(it->second);
            pending_.erase(it);
        }
        if (work.apply) work.apply(*control);
        if (work.sendAction) control->sendAction();
    });
}

std::size_t ActionForwarder::postedCount() const {
    std::lock_guard g(mutex_);
    return posted_;
}

std::size_t ActionForwarder::mergedCount() const {
    std::lock_guard g(mutex_);
    return merged_;
}

}  // namespace glowmere::gui
