#pragma once

#include <QAbstractButton>

namespace glowmere::gui {

// The strip's on/off switch: a painted two-state toggle.
class ToggleSwitch : public QAbstractButton {
    Q_OBJECT
public:
    explicit ToggleSwitch(QWidget* parent = nullptr);
    QSize sizeHint() const override { return {46, 24}; }

protected:
    void paintEvent(QPaintEvent* event) override;
};

}  // namespace glowmere::gui
