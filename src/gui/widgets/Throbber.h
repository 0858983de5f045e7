#pragma once

#include <QWidget>

class QTimer;

namespace glowmere::gui {

// A spinning busy indicator, drawn only while it turns.
class Throbber : public QWidget {
    Q_OBJECT
public:
    explicit Throbber(QWidget* parent = nullptr);
    void setSpinning(bool spinning);
    bool isSpinning() const;
    QSize sizeHint() const override { return {28, 28}; }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QTimer* timer_;
    int step_ = 0;
};

}  // namespace glowmere::gui
