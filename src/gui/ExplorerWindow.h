#pragma once

#include <QWidget>
#include <memory>

#include "gui/GuiContext.h"
#include "gui/QtWindow.h"
#include "platform/Value.h"

class QLabel;
class QPushButton;
class QStandardItem;
class QStandardItemModel;
class QTreeView;

namespace glowmere {
class bridgeExplorer;
}

namespace glowmere::gui {

// The bridge explorer's window: a read-only tree of everything the bridge
// holds, Reload to read it again and Copy to take the selected row's value
// (a whole subtree as indented text). Loading runs on the controller thread;
// the window shows "Loading…" meanwhile and stays live.
class ExplorerWindow : public QWidget {
    Q_OBJECT
public:
    ExplorerWindow(bridgeExplorer& explorer, GuiContext& context);
    ~ExplorerWindow() override;

    platform::Window& window() { return window_; }
    QTreeView* tree() const { return tree_; }
    QStandardItemModel* model() const { return model_; }
    QPushButton* reloadButton() const { return reload_; }
    QPushButton* copyButton() const { return copy_; }
    bool isLoading() const { return loading_; }

    // Shows the window and reads the bridge (the Explorer command).
    void showAndLoad();
    void reload();
    // The text the Copy command puts on the clipboard for the selected row.
    QString selectedValueText() const;
    void copySelectedValue();

private:
    void showTree();
    void addChildren(QStandardItem* into, const Value& root, const void* node, int depth);

    bridgeExplorer& explorer_;
    GuiContext& context_;
    QtWindow window_{this};
    QTreeView* tree_;
    QStandardItemModel* model_;
    QPushButton* reload_;
    QPushButton* copy_;
    QLabel* state_;
    bool loading_ = false;
    std::shared_ptr<const Value> shown_;
};

}  // namespace glowmere::gui
