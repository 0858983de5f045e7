#include "gui/adapters/SendThrottle.h"

namespace glowmere::gui {

bool SendThrottle::moved(TimePoint now) {
    if (!lastSent_ || now - *lastSent_ >= interval_) {
        lastSent_ = now;
        pending_ = false;
        return true;
    }
    pending_ = true;
    return false;
}

std::optional<SendThrottle::Duration> SendThrottle::dueIn(TimePoint now) const {
    if (!pending_) return std::nullopt;
    if (!lastSent_) return Duration::zero();
    auto left = *lastSent_ + interval_ - now;
    return left > Duration::zero() ? left : Duration::zero();
}

bool SendThrottle::takeDue(TimePoint now) {
    if (!pending_) return false;
    if (lastSent_ && now - *lastSent_ < interval_) return false;
    lastSent_ = now;
    pending_ = false;
    return true;
}

void SendThrottle::released(TimePoint now) {
    lastSent_ = now;
    pending_ = false;
}

}  // namespace glowmere::gui
