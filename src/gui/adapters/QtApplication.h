#pragma once

#include <QWidget>
#include <functional>

#include "gui/app/GuiContext.h"
#include "platform/Views.h"

namespace glowmere::gui {

class QtApplication final : public platform::Application {
public:
    QtApplication(std::function<QWidget*()> mainWindow, std::function<platform::StatusItem*()> makeStatusItem)
        : mainWindow_(std::move(mainWindow)), makeStatusItem_(std::move(makeStatusItem)) {}
    void activateIgnoringOtherApps(bool flag) override;
    platform::StatusItem* statusItemWithVariableLength() override;
    void postToGui(std::function<void()> work) override { gui::postToGui(std::move(work)); }

private:
    std::function<QWidget*()> mainWindow_;
    std::function<platform::StatusItem*()> makeStatusItem_;
};

}  // namespace glowmere::gui
