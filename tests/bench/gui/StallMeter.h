#pragma once

#include <QElapsedTimer>
#include <QObject>
#include <QTimer>
#include <algorithm>

#include "../BenchAim.h"

namespace glowmere::testing {

// The longest lateness of a 10 ms timer: how long the window thread's event
// loop was unable to run anything.
class StallMeter {
public:
    StallMeter() {
        timer_.setInterval(10);
        QObject::connect(&timer_, &QTimer::timeout, [this] {
            const qint64 now = clock_.elapsed();
            if (last_ >= 0) worst_ = std::max(worst_, now - last_ - 10);
            last_ = now;
        });
        clock_.start();
        timer_.start();
    }
    qint64 worstMs() const { return worst_; }

private:
    QTimer timer_;
    QElapsedTimer clock_;
    qint64 last_ = -1;
    qint64 worst_ = 0;
};

}  // namespace glowmere::testing
