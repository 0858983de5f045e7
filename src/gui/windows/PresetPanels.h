#pragma once

#include <QLabel>
#include <QLineEdit>
#include <QTableWidget>
#include <QWidget>
#include <memory>

#include "gui/adapters/QtTableView.h"
#include "gui/adapters/QtWindow.h"
#include "gui/app/GuiContext.h"

class QCheckBox;
class QVBoxLayout;

namespace glowmere {
class BridgeSceneMenus;
class ManualController;
}  // namespace glowmere

namespace glowmere::gui {

// The three preset panels of the main controller: the question whether to
// update the preset applied last or make a new one, the naming panel, and
// the management panel with its table of names and transitions. Made on the
// Qt thread; their controls' values live in the controller.
class PresetPanels : public QObject {
    Q_OBJECT
public:
    PresetPanels(ManualController& controller, GuiContext& context, QWidget* mainWindow);
    ~PresetPanels() override;

    platform::Window& questionPanel() { return *questionWindow_; }
    platform::Window& namingPanel() { return *namingWindow_; }
    platform::Window& managementPanel() { return *managementWindow_; }
    platform::TableView& managementTable() { return *table_; }

    QWidget* questionWidget() const { return question_; }
    QWidget* namingWidget() const { return naming_; }
    QWidget* managementWidget() const { return management_; }
    QTableWidget* tableWidget() const { return tableWidget_; }
    QCheckBox* keepOnBridgeBox() const { return keepOnBridge_; }
    // Where "Also keep on the bridge" goes; unset: the box stays disabled.
    void setSceneMenus(BridgeSceneMenus* menus);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    ManualController& controller_;
    GuiContext& context_;
    QWidget* question_;
    QWidget* naming_;
    QWidget* management_;
    QTableWidget* tableWidget_;
    QLabel* namingMessage_ = nullptr;
    QCheckBox* keepOnBridge_ = nullptr;
    BridgeSceneMenus* sceneMenus_ = nullptr;
    // The constructor's steps: the save question, the naming panel, and the
    // management panel with its "keep on the bridge" box and buttons.
    void buildQuestion();
    void buildNaming();
    void buildManagement();
    void addKeepOnBridge(QVBoxLayout* managementLayout);
    void addManagementButtons(QVBoxLayout* managementLayout);
    // The box shows the selected preset's setting, read on the controller thread.
    void showKeepOnBridge();
    std::unique_ptr<QtWindow> questionWindow_, namingWindow_, managementWindow_;
    std::unique_ptr<QtTableView> table_;
};

}  // namespace glowmere::gui
