#pragma once

#include <QWidget>

#include "platform/LevelIndicator.h"

namespace glowmere::gui {

// A horizontal level meter mirroring a platform::LevelIndicator: the part up
// to the value filled, green below the warning mark, amber up to the
// critical mark, red beyond; the critical mark drawn as a line.
class LevelMeterWidget : public QWidget {
    Q_OBJECT
public:
    LevelMeterWidget(platform::LevelIndicator& indicator, QWidget* parent = nullptr);
    QSize sizeHint() const override { return {220, 16}; }
    QSize minimumSizeHint() const override { return {80, 12}; }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    platform::LevelIndicator& indicator_;
};

}  // namespace glowmere::gui
