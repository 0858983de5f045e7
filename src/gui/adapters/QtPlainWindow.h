#pragma once

#include <atomic>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>

#include "gui/app/GuiContext.h"
#include "gui/app/GuiPart.h"
#include "platform/Views.h"

namespace glowmere::gui {

class QtPlainWindow final : public platform::PlainWindow {
public:
    explicit QtPlainWindow(GuiContext& context);
    ~QtPlainWindow() override;

    void center() override;
    void makeKeyAndOrderFront() override;
    void orderOut() override;
    bool isVisible() const override { return visible_; }
    void setContentView(std::shared_ptr<platform::View> view) override;
    platform::View* contentView() const override;
    void setContentSize(platform::Size size) override;
    platform::Size contentSize() const override;
    void setFrameOrigin(platform::Point origin) override;
    void setAnimationBehavior(int) override {}
    void setShowsResizeIndicator(bool) override {}
    void setResizable(bool resizable) override;
    std::optional<platform::Point> convertBaseToScreen(const platform::View* view,
                                                       platform::Point point) const override;
    void setResignKeyHandler(std::function<void()> handler) override;

private:
    class Frame;
    GuiContext& context_;
    mutable std::mutex mutex_;
    std::shared_ptr<platform::View> content_;
    platform::Size size_{100, 60};
    std::shared_ptr<std::function<void()>> resignKey_ = std::make_shared<std::function<void()>>();
    std::atomic<bool> visible_{false};
    GuiPart<QWidget> frame_;
};

}  // namespace glowmere::gui
