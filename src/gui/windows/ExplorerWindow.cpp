#include "gui/windows/ExplorerWindow.h"

#include <QApplication>
#include <QClipboard>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QKeySequence>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QShortcut>
#include <QSortFilterProxyModel>
#include <QStandardItemModel>
#include <QTreeView>
#include <QVBoxLayout>

#include "bridge/bridgeExplorer.h"
#include "gui/adapters/QtText.h"
#include "gui/widgets/Icons.h"
#include "gui/widgets/WindowPlacement.h"

namespace glowmere::gui {

namespace {

// Each row keeps the dictionary and key it stands for, so its value can be
// copied.
constexpr int parentRole = Qt::UserRole + 1;
constexpr int keyRole = Qt::UserRole + 2;

// A value shown beside its key stays on one line and short.
QString inlineText(const std::string& text) {
    QString shown = qs(text).simplified();
    if (shown.size() > 120) shown = shown.left(119) + QChar(0x2026);
    return shown;
}

// The bridge's replies hold texts and records only: numbers, booleans and
// lists come as their JSON text, which is given back as JSON here.
QJsonValue jsonValue(const Value& value) {
    if (value.isMap()) {
        QJsonObject object;
        for (const auto& [key, member] : value.asMap()) object.insert(qs(key), jsonValue(member));
        return object;
    }
    const QString text = value.isText() ? qs(value.text()) : QString();
    const QJsonDocument parsed = QJsonDocument::fromJson(QStringLiteral("[%1]").arg(text).toUtf8());
    if (parsed.isArray() && parsed.array().size() == 1 && !parsed.array().first().isString())
        return parsed.array().first();
    return text;
}

}  // namespace

ExplorerWindow::ExplorerWindow(bridgeExplorer& explorer, GuiContext& context)
    : QWidget(nullptr, Qt::Window),
      explorer_(explorer),
      context_(context),
      tree_(new QTreeView(this)),
      model_(new QStandardItemModel(this)),
      filtered_(new QSortFilterProxyModel(this)),
      filter_(new QLineEdit(this)),
      reload_(new QPushButton(tr("Reload"), this)),
      copy_(new QPushButton(tr("Copy"), this)),
      state_(new QLabel(this)) {
    setWindowTitle(tr("Glowmere Bridge Explorer"));
    setWindowIcon(icons::application());
    setObjectName("explorerWindow");
    filtered_->setSourceModel(model_);
    filtered_->setRecursiveFilteringEnabled(true);
    // A matching record shows whole: its other values are what one reads it for.
    filtered_->setAutoAcceptChildRows(true);
    filtered_->setFilterCaseSensitivity(Qt::CaseInsensitive);
    tree_->setModel(filtered_);
    filter_->setPlaceholderText(tr("Filter keys and values"));
    filter_->setAccessibleName(tr("Filter"));
    filter_->setClearButtonEnabled(true);
    connect(filter_, &QLineEdit::textChanged, this, &ExplorerWindow::applyFilter);
    auto* find = new QShortcut(QKeySequence::Find, this);
    connect(find, &QShortcut::activated, this, [this] {
        filter_->setFocus();
        filter_->selectAll();
    });
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
    bar->addWidget(filter_, 1);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(bar);
    layout->addWidget(tree_, 1);
    resize(520, 600);

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

QAbstractItemModel* ExplorerWindow::model() const {
    return filtered_;
}

void ExplorerWindow::addChildren(QStandardItem* into, const Value& root, const void* node, int depth) {
    const auto* item = static_cast<const keyValPair*>(node);
    const std::size_t count = bridgeExplorer::numberOfChildrenOfItem(root, item);
    for (std::size_t i = 0; i < count; ++i) {
        auto child = bridgeExplorer::childOfItem(root, i, item);
        // Text rows below a value: that value is shown beside its key instead.
        if (!child || !child->getParent()) continue;
        const Value* value = child->getValue();
        QString text = qs(bridgeExplorer::objectValueForItem(*child));
        if (value && value->isText()) {
            text += ": " + inlineText(value->text());
        } else if (value && value->isMap() && depth == 1 && (*value)["name"].isText()) {
            // A lamp, group or schedule by its id and name.
            text += " " + inlineText((*value)["name"].text());
        }
        auto* row = new QStandardItem(text);
        row->setEditable(false);
        row->setData(QVariant::fromValue(static_cast<const void*>(child->getParent())), parentRole);
        row->setData(qs(child->getKey().value_or("")), keyRole);
        // Deeper than any bridge reply goes: stop rather than recurse for ever.
        if (value && value->isMap() && depth < 64) addChildren(row, root, &*child, depth + 1);
        into->appendRow(row);
    }
}

void ExplorerWindow::applyFilter(const QString& text) {
    filtered_->setFilterFixedString(text.trimmed());
    // What matched is shown, not folded away.
    if (!text.trimmed().isEmpty()) tree_->expandAll();
}

void ExplorerWindow::showTree() {
    shown_ = explorer_.explorerDictionary();
    model_->clear();
    addChildren(model_->invisibleRootItem(), *shown_, nullptr, 0);
    applyFilter(filter_->text());
    loading_ = false;
    reload_->setEnabled(true);
    state_->setText(shown_->empty() ? tr("The bridge could not be read.") : QString());
}

QString ExplorerWindow::selectedValueText() const {
    const QModelIndex index = tree_->currentIndex();
    if (!index.isValid() || !shown_) return {};
    const auto* parent = static_cast<const Value*>(index.data(parentRole).value<const void*>());
    if (!parent) return {};
    keyValPair node(index.data(keyRole).toString().toStdString(), parent);
    const Value* value = node.getValue();
    if (!value) return {};
    if (value->isText()) return qs(value->text());
    return QString::fromUtf8(QJsonDocument(jsonValue(*value).toObject()).toJson(QJsonDocument::Indented)).trimmed();
}

void ExplorerWindow::copySelectedValue() {
    const QString text = selectedValueText();
    if (!text.isEmpty()) QApplication::clipboard()->setText(text);
}

}  // namespace glowmere::gui
