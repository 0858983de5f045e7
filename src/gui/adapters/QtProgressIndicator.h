#pragma once

#include <QPointer>
#include <atomic>

#include "gui/widgets/Throbber.h"
#include "platform/Ui.h"

namespace glowmere::gui {

// platform::ProgressIndicator over a Throbber made elsewhere (Qt thread).
class QtProgressIndicator final : public platform::ProgressIndicator {
public:
    explicit QtProgressIndicator(Throbber* throbber) : throbber_(throbber) {}
    void startAnimation() override;
    void stopAnimation() override;
    bool animating() const { return animating_; }

private:
    QPointer<Throbber> throbber_;
    std::atomic<bool> animating_{false};
};

}  // namespace glowmere::gui
