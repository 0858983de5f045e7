#include "platform/LevelIndicator.h"

namespace glowmere::platform {

double LevelIndicator::minValue() const {
    std::lock_guard g(mutex_);
    return min_;
}
double LevelIndicator::maxValue() const {
    std::lock_guard g(mutex_);
    return max_;
}
double LevelIndicator::doubleValue() const {
    std::lock_guard g(mutex_);
    return value_;
}
void LevelIndicator::setDoubleValue(double value) {
    {
        std::lock_guard g(mutex_);
        if (value_ == value) return;
        value_ = value;
    }
    changed();
}
double LevelIndicator::warningValue() const {
    std::lock_guard g(mutex_);
    return warning_;
}
void LevelIndicator::setWarningValue(double value) {
    {
        std::lock_guard g(mutex_);
        warning_ = value;
    }
    changed();
}
double LevelIndicator::criticalValue() const {
    std::lock_guard g(mutex_);
    return critical_;
}
void LevelIndicator::setCriticalValue(double value) {
    {
        std::lock_guard g(mutex_);
        critical_ = value;
    }
    changed();
}

}  // namespace glowmere::platform
