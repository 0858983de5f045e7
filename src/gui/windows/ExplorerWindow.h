#pragma once

#include <QWidget>
#include <memory>

#include "gui/adapters/QtWindow.h"
#include "gui/app/GuiContext.h"
#include "platform/Value.h"

class QAbstractItemModel;
class QLabel;
class QLineEdit;
class QPushButton;
class QSortFilterProxyModel;
class QStandardItem;
class QStandardItemModel;
class QTreeView;

namespace glowmere {
class bridgeExplorer;
}

namespace glowmere::gui {

// The bridge explorer's window: a read-only tree of everything the bridge
// holds, made for reading. Lamps, groups and schedules show their id and
// name ("1 Hall"), plain values show beside their key ("bri: 137"), a filter
// narrows the tree to the keys and values that match, Reload reads it again
// and Copy takes the selected row's value (a subtree as JSON). Loading runs
// on the controller thread; the window shows "Loading…" meanwhile and stays
// live.
class ExplorerWindow : public QWidget {
    Q_OBJECT
public:
    ExplorerWindow(bridgeExplorer& explorer, GuiContext& context);
    ~ExplorerWindow() override;

    platform::Window& window() { return window_; }
    QTreeView* tree() const { return tree_; }
    // What the tree shows: the bridge's rows as the filter leaves them.
    QAbstractItemModel* model() const;
    QLineEdit* filterField() const { return filter_; }
    QPushButton* reloadButton() const { return reload_; }
    QPushButton* copyButton() const { return copy_; }
    bool isLoading() const { return loading_; }

    // Shows the window and reads the bridge (the Explorer command).
    void showAndLoad();
    void reload();
    // The text the Copy command puts on the clipboard for the selected row:
    // a plain value as it is, a record or list as indented JSON.
    QString selectedValueText() const;
    void copySelectedValue();

private:
    void showTree();
    void applyFilter(const QString& text);
    void addChildren(QStandardItem* into, const Value& root, const void* node, int depth);

    bridgeExplorer& explorer_;
    GuiContext& context_;
    QtWindow window_{this};
    QTreeView* tree_;
    QStandardItemModel* model_;
    QSortFilterProxyModel* filtered_;
    QLineEdit* filter_;
    QPushButton* reload_;
    QPushButton* copy_;
    QLabel* state_;
    bool loading_ = false;
    std::shared_ptr<const Value> shown_;
};

}  // namespace glowmere::gui
