#include "gui/ExplorerWindow.h"

#include <QApplication>
#include <QClipboard>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeySequence>
#include <QLabel>
#include <QPushButton>
#include <QShortcut>
#include <QStandardItemModel>
#include <QTreeView>
#include <QVBoxLayout>

#include "bridge/bridgeExplorer.h"
#include "gui/Icons.h"
#include "gui/QtText.h"
#include "gui/WindowPlacement.h"

namespace glowmere::gui {

namespace {

// Each row keeps the dictionary and key it stands for, so its value can be
// copied; a leaf row keeps neither.
constexpr int parentRole = Qt::UserRole + 1;
constexpr int keyRole = Qt::UserRole + 2;
constexpr int leafRole = Qt::UserRole + 3;

}  // namespace

ExplorerWindow::ExplorerWindow(bridgeExplorer& explorer, GuiContext& context)
    : QWidget(nullptr, Qt::Window),
      explorer_(explorer),
      context_(context),
      tree_(new QTreeView(this)),
      model_(new QStandardItemModel(this)),
      reload_(new QPushButton(tr("Reload"), this)),
      copy_(new QPushButton(tr("Copy"), this)),
      state_(new QLabel(this)) {
    setWindowTitle(tr("Glowmere Bridge Explorer"));
    setWindowIcon(icons::application());
    setObjectName("explorerWindow");
    tree_->setModel(model_);
    tree_->setAccessibleName(tr("Bridge"));
    tree_->setHeaderHidden(true);
    tree_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    tree_->setUniformRowHeights(true);
    // The bridge's own order of keys, never sorted.
    tree_->setSortingEnabled(false);
    reload_->setAccessibleName(tr("Reload"));
    copy_->setAccessibleName(tr("Copy"));
    connect(reload_, &QPushButton::clicked, this, [this] { reload(); });
    connect(copy_, &QPushButton::clicked, this, [this] { copySelectedValue(); });
    auto* copyKey = new QShortcut(QKeySequence::Copy, tree_);
    connect(copyKey, &QShortcut::activated, this, [this] { copySelectedValue(); });

    auto* bar = new QHBoxLayout;
    bar->addWidget(reload_);
    bar->addWidget(copy_);
    bar->addWidget(state_, 1);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(bar);
    layout->addWidget(tree_, 1);
    resize(460, 560);

    QPointer<ExplorerWindow> guard(this);
    explorer_.setReloadHandler([guard] {
        postToGui([guard] {
            if (guard) guard->showTree();
        });
    });
}

ExplorerWindow::~ExplorerWindow() {
    explorer_.setReloadHandler(nullptr);
}

void ExplorerWindow::showAndLoad() {
    bringToFront(this);
    reload();
}

void ExplorerWindow::reload() {
    if (loading_) return;
    loading_ = true;
    reload_->setEnabled(false);
    state_->setText(tr("Loading…"));
    bridgeExplorer* explorer = &explorer_;
    context_.post([explorer] { explorer->loadData(); });
}

void ExplorerWindow::addChildren(QStandardItem* into, const Value& root, const void* node, int depth) {
    const auto* item = static_cast<const keyValPair*>(node);
    const std::size_t count = bridgeExplorer::numberOfChildrenOfItem(root, item);
    for (std::size_t i = 0; i < count; ++i) {
        auto child = bridgeExplorer::childOfItem(root, i, item);
        if (!child) continue;
        auto* row = new QStandardItem(qs(bridgeExplorer::objectValueForItem(*child)));
        row->setEditable(false);
        if (child->getParent()) {
            row->setData(QVariant::fromValue(static_cast<const void*>(child->getParent())), parentRole);
            row->setData(qs(child->getKey().value_or("")), keyRole);
        } else {
            row->setData(true, leafRole);
        }
        // Deeper than any bridge reply goes: stop rather than recurse for ever.
        if (bridgeExplorer::isItemExpandable(*child) && depth < 64) addChildren(row, root, &*child, depth + 1);
        into->appendRow(row);
    }
}

void ExplorerWindow::showTree() {
    shown_ = explorer_.explorerDictionary();
    model_->clear();
    addChildren(model_->invisibleRootItem(), *shown_, nullptr, 0);
    loading_ = false;
    reload_->setEnabled(true);
    state_->setText(shown_->empty() ? tr("The bridge could not be read.") : QString());
}

QString ExplorerWindow::selectedValueText() const {
    const QModelIndex index = tree_->currentIndex();
    if (!index.isValid() || !shown_) return {};
    if (index.data(leafRole).toBool()) return index.data(Qt::DisplayRole).toString();
    const auto* parent = static_cast<const Value*>(index.data(parentRole).value<const void*>());
    if (!parent) return {};
    keyValPair node(index.data(keyRole).toString().toStdString(), parent);
    const Value* value = node.getValue();
    if (!value) return {};
    if (value->isText()) return qs(value->text());
    QString text = qs(bridgeExplorer::indentedText(*value));
    if (text.endsWith('\n')) text.chop(1);
    return text;
}

void ExplorerWindow::copySelectedValue() {
    const QString text = selectedValueText();
    if (!text.isEmpty()) QApplication::clipboard()->setText(text);
}

}  // namespace glowmere::gui
