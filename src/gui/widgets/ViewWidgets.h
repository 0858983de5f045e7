#pragma once

#include <QRect>
#include <QWidget>
#include <memory>

#include "gui/app/GuiContext.h"
#include "gui/widgets/SelectionViewWidget.h"
#include "gui/widgets/StripViewWidget.h"
#include "gui/widgets/ViewWidget.h"
#include "platform/Views.h"

namespace glowmere::gui {

// Converts the logic's geometry (origin at the lower left, y up) into a
// widget rectangle inside a parent `parentHeight` high. A view rotated by 90
// degrees turns about its origin, so its box stands up to the left of it.
QRect toWidgetRect(const platform::Rect& frame, double rotation, double parentHeight);

// Makes the widget for any view (container or control) and keeps it in step.
QWidget* makeViewWidget(const std::shared_ptr<platform::View>& view, GuiContext& context, QWidget* parent);

}  // namespace glowmere::gui
