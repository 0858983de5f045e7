#pragma once

#include <memory>
#include <string>

#include "gui/app/GuiContext.h"
#include "platform/Views.h"

namespace glowmere::gui {

class QtViewTemplates final : public platform::ViewTemplates {
public:
    explicit QtViewTemplates(GuiContext& context) : context_(context) {}
    std::shared_ptr<platform::View> loadView(const std::string& name) override;
    std::unique_ptr<platform::Popover> makePopover() override;
    std::unique_ptr<platform::PlainWindow> makePlainWindow() override;

    // Sizes of the strip view, unfolded.
    static constexpr double stripWidth = 95;
    static constexpr double stripHeight = 438;

private:
    GuiContext& context_;
};

}  // namespace glowmere::gui
