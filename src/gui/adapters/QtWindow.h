#pragma once

#include <QPointer>
#include <QWidget>
#include <atomic>

#include "platform/Ui.h"

namespace glowmere::gui {

// platform::Window over any top-level widget.
class QtWindow : public platform::Window {
public:
    explicit QtWindow(QWidget* widget) : widget_(widget) {}
    void center() override;
    void makeKeyAndOrderFront() override;
    void orderOut() override;
    bool isVisible() const override { return visible_; }
    QWidget* widget() const { return widget_.data(); }

private:
    QPointer<QWidget> widget_;
    std::atomic<bool> visible_{false};
};

}  // namespace glowmere::gui
