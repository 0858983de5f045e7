#pragma once

#include "platform/Controls.h"

namespace glowmere::platform {

// A level meter: a value between a minimum and a maximum, with a warning and
// a critical mark (the meter turns from normal to warning to critical colour
// as the value passes them). Values outside the range show as empty or full.
class LevelIndicator : public Control {
public:
    LevelIndicator(double minValue, double maxValue) : min_(minValue), max_(maxValue) {}

    double minValue() const;
    double maxValue() const;
    double doubleValue() const;
    void setDoubleValue(double value);
    double warningValue() const;
    void setWarningValue(double value);
    double criticalValue() const;
    void setCriticalValue(double value);

private:
    double min_, max_;
    double value_ = 0;
    double warning_ = 0;
    double critical_ = 0;
};

}  // namespace glowmere::platform
