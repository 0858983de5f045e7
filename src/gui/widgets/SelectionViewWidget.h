#pragma once

#include "gui/widgets/ViewWidget.h"

namespace glowmere::gui {

// A row of selection checkboxes laid over the strips; transparent apart from
// its checkboxes.
class SelectionViewWidget : public ViewWidget {
    Q_OBJECT
public:
    using ViewWidget::ViewWidget;
};

}  // namespace glowmere::gui
