#pragma once

#include <QPointer>
#include <QTabWidget>
#include <string>

#include "platform/Ui.h"

namespace glowmere::gui {

class QtTabView final : public platform::TabView {
public:
    explicit QtTabView(QTabWidget* tabs) : tabs_(tabs) {}
    // Tabs are found by their object name.
    void selectTabViewItemWithIdentifier(const std::string& identifier) override;

private:
    QPointer<QTabWidget> tabs_;
};

}  // namespace glowmere::gui
