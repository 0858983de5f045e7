#include "gui/windows/PresetPanels.h"

#include <QCheckBox>
#include <QDialogButtonBox>
#include <QDoubleSpinBox>
#include <QEvent>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QPointer>
#include <QPushButton>
#include <QStyledItemDelegate>
#include <QVBoxLayout>
#include <algorithm>

#include "controller/BridgeSceneMenus.h"
#include "controller/ManualController.h"
#include "controller/PresetRecords.h"
#include "gui/widgets/ControlWidgets.h"
#include "gui/widgets/Icons.h"

namespace glowmere::gui {

namespace {

QWidget* panel(QWidget* mainWindow, const QString& title) {
    // Modal to the main window, the way a sheet is.
    auto* w = new QWidget(mainWindow, Qt::Dialog);
    w->setWindowTitle(title);
    w->setWindowIcon(icons::application());
    w->setWindowModality(Qt::WindowModal);
    return w;
}

// A message under a field, shown only while there is something to say.
QLabel* fieldMessage(const char* objectName) {
    auto* label = new QLabel;
    label->setObjectName(objectName);
    label->setWordWrap(true);
    label->setTextFormat(Qt::PlainText);
    label->setForegroundRole(QPalette::LinkVisited);
    label->hide();
    return label;
}

void say(QLabel* label, const QString& text) {
    label->setText(text);
    label->setVisible(!text.isEmpty());
}

// The management table's cells: a name is trimmed, 1 to 32 characters and
// unique (a refused one keeps the old name and the message says why); a
// transition is seconds in a spin box with its unit.
class PresetCellDelegate : public QStyledItemDelegate {
public:
    PresetCellDelegate(QTableWidget* table, QLabel* message)
        : QStyledItemDelegate(table), table_(table), message_(message) {}

    QWidget* createEditor(QWidget* parent, const QStyleOptionViewItem& option,
                          const QModelIndex& index) const override {
        if (index.column() != 1) return QStyledItemDelegate::createEditor(parent, option, index);
        auto* spin = new QDoubleSpinBox(parent);
        spin->setRange(0, presets::maximumTransition);
        spin->setDecimals(1);
        spin->setSingleStep(0.5);
        spin->setSuffix(tr(" s"));
        spin->setAccessibleName(tr("Transition in seconds"));
        return spin;
    }
    void setEditorData(QWidget* editor, const QModelIndex& index) const override {
        if (auto* spin = qobject_cast<QDoubleSpinBox*>(editor)) {
            bool ok = false;
            const double seconds = index.data().toString().toDouble(&ok);
            spin->setValue(ok ? seconds : presets::defaultTransition);
            return;
        }
        QStyledItemDelegate::setEditorData(editor, index);
    }
    void setModelData(QWidget* editor, QAbstractItemModel* model, const QModelIndex& index) const override {
        if (auto* spin = qobject_cast<QDoubleSpinBox*>(editor)) {
            spin->interpretText();
            model->setData(index, QString::number(spin->value(), 'g', 6));
            return;
        }
        auto* line = qobject_cast<QLineEdit*>(editor);
        if (!line || index.column() != 0) return QStyledItemDelegate::setModelData(editor, model, index);
        std::vector<std::string> others;
        for (int row = 0; row < table_->rowCount(); ++row)
            if (row != index.row() && table_->item(row, 0))
                others.push_back(table_->item(row, 0)->text().toStdString());
        std::string why;
        const auto name = presets::checkedName(line->text().toStdString(), others, &why);
        if (!name) {
            say(message_, QString::fromStdString(why) + " " + tr("The preset keeps its name."));
            return;
        }
        say(message_, {});
        model->setData(index, QString::fromStdString(*name));
    }
    void paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const override {
        QStyleOptionViewItem shown(option);
        initStyleOption(&shown, index);
        // Seconds with their unit; an empty cell stays empty.
        if (index.column() == 1 && !shown.text.isEmpty()) shown.text = tr("%1 s").arg(shown.text);
        QStyledItemDelegate::paint(painter, shown, index);
    }

private:
    QTableWidget* table_;
    QLabel* message_;
};

}  // namespace

PresetPanels::PresetPanels(ManualController& controller, GuiContext& context, QWidget* mainWindow)
    : controller_(controller),
      context_(context),
      question_(panel(mainWindow, tr("Save preset"))),
      naming_(panel(mainWindow, tr("Name the preset"))),
      management_(new QWidget(nullptr, Qt::Window)),
      tableWidget_(new QTableWidget) {
    buildQuestion();
    buildNaming();
    buildManagement();
    questionWindow_ = std::make_unique<QtWindow>(question_);
    namingWindow_ = std::make_unique<QtWindow>(naming_);
    managementWindow_ = std::make_unique<QtWindow>(management_);
    for (QWidget* w : {question_, naming_, management_}) w->installEventFilter(this);
}

void PresetPanels::buildQuestion() {
    ManualController* c = &controller_;
    // The question: update the preset applied last, or make a new one.
    auto* questionLayout = new QVBoxLayout(question_);
    questionLayout->addWidget(mirroredLabel(controller_.presetOption1Text(), question_));
    auto* questionButtons = new QDialogButtonBox;
    auto* update = questionButtons->addButton(tr("Update"), QDialogButtonBox::AcceptRole);
    auto* makeNew = questionButtons->addButton(tr("New preset"), QDialogButtonBox::ActionRole);
    update->setDefault(true);
    questionLayout->addWidget(questionButtons);
    connect(update, &QPushButton::clicked, this, [this, c] { context_.post([c] { c->presetStep1PanelOK(); }); });
    connect(makeNew, &QPushButton::clicked, this, [this, c] { context_.post([c] { c->savePresetStep1CreateNew(); }); });
    question_->resize(420, 120);
}

void PresetPanels::buildNaming() {
    ManualController* c = &controller_;
    auto* namingLayout = new QVBoxLayout(naming_);
    namingLayout->addWidget(new QLabel(tr("A name for the lamps as they are now:")));
    auto* nameEdit = new QLineEdit;
    nameEdit->setObjectName("presetName");
    nameEdit->setAccessibleName(tr("Preset name"));
    nameEdit->setMaxLength(static_cast<int>(presets::maxNameLength) + 16);  // trimmed before it counts
    namingLayout->addWidget(nameEdit);
    QLabel* namingMessage = namingMessage_ = fieldMessage("presetNameMessage");
    namingLayout->addWidget(namingMessage);
    auto* namingButtons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel);
    namingLayout->addWidget(namingButtons);
    platform::TextField& field = controller_.presetNameEditingField();
    mirrorControl(nameEdit, field, [nameEdit, &field] {
        const QString text = QString::fromStdString(field.stringValue());
        if (nameEdit->text() != text) nameEdit->setText(text);
    });
    // The name is checked against the stored list on the controller thread;
    // a refused one leaves the panel open with the reason under the field.
    QPointer<QLabel> messageGuard(namingMessage);
    auto ok = [this, c, nameEdit, messageGuard] {
        context_.post([c, typed = nameEdit->text().toStdString(), messageGuard] {
            std::string why;
            auto name = presets::checkedName(typed, presets::names(c->getPresetList(true)), &why);
            postToGui([messageGuard, why] {
                if (messageGuard) say(messageGuard, QString::fromStdString(why));
            });
            if (!name) return;
            c->presetNameEditingField().setStringValue(*name);
            c->presetNamingPanelOK();
        });
    };
    connect(namingButtons, &QDialogButtonBox::accepted, this, ok);
    connect(nameEdit, &QLineEdit::returnPressed, this, ok);
    connect(namingButtons, &QDialogButtonBox::rejected, this,
            [this, c] { context_.post([c] { c->presetNamingPanelCancel(); }); });
    naming_->resize(360, 110);
}

void PresetPanels::buildManagement() {
    // The management panel: names and transitions, rename and delete.
    management_->setWindowTitle(tr("Presets"));
    management_->setWindowIcon(icons::application());
    auto* managementLayout = new QVBoxLayout(management_);
    tableWidget_->setObjectName("presetManagementTable");
    tableWidget_->setAccessibleName(tr("Presets"));
    table_ = std::make_unique<QtTableView>(tableWidget_, std::vector<std::string>{"name", "transition"}, context_);
    tableWidget_->setHorizontalHeaderLabels({tr("Name"), tr("Transition")});
    tableWidget_->horizontalHeader()->setSectionResizeMode(0, QHeaderView::Stretch);
    tableWidget_->horizontalHeader()->setSectionResizeMode(1, QHeaderView::ResizeToContents);
    managementLayout->addWidget(tableWidget_);
    QLabel* tableMessage = fieldMessage("presetMessage");
    tableWidget_->setItemDelegate(new PresetCellDelegate(tableWidget_, tableMessage));
    managementLayout->addWidget(tableMessage);
    auto* hint = new QLabel(tr("An empty transition uses the one in Settings."));
    hint->setEnabled(false);
    managementLayout->addWidget(hint);
    addKeepOnBridge(managementLayout);
    addManagementButtons(managementLayout);
    management_->resize(420, 320);
}

void PresetPanels::addKeepOnBridge(QVBoxLayout* managementLayout) {
    // Per preset: stored on the bridge as a scene too, for wall switches and
    // other apps.
    keepOnBridge_ = new QCheckBox(tr("Also keep on the bridge"));
    keepOnBridge_->setObjectName("keepOnBridge");
    keepOnBridge_->setAccessibleName(keepOnBridge_->text());
    keepOnBridge_->setToolTip(
        tr("The selected preset is stored on the bridge as a scene too, and updated whenever "
           "it is saved."));
    keepOnBridge_->setEnabled(false);
    managementLayout->addWidget(keepOnBridge_);
    connect(tableWidget_, &QTableWidget::itemSelectionChanged, this, [this] { showKeepOnBridge(); });
    connect(keepOnBridge_, &QCheckBox::clicked, this, [this](bool keep) {
        const int row = tableWidget_->currentRow();
        if (!sceneMenus_ || row < 0 || !tableWidget_->item(row, 0)) return;
        BridgeSceneMenus* menus = sceneMenus_;
        context_.post([menus, name = tableWidget_->item(row, 0)->text().toStdString(), keep] {
            menus->setKeptOnBridge(name, keep);
        });
    });
}

void PresetPanels::addManagementButtons(QVBoxLayout* managementLayout) {
    ManualController* c = &controller_;
    auto* row = new QHBoxLayout;
    auto* save = new QPushButton(tr("Save current lamps…"));
    auto* rename = new QPushButton(tr("Rename"));
    auto* remove = new QPushButton(tr("Delete"));
    auto* close = new QPushButton(tr("Close"));
    row->addWidget(save);
    row->addStretch();
    row->addWidget(rename);
    row->addWidget(remove);
    row->addWidget(close);
    managementLayout->addLayout(row);
    connect(save, &QPushButton::clicked, this, [this, c] { context_.post([c] { c->savePresetStep1(); }); });
    connect(rename, &QPushButton::clicked, this, [this, c] { context_.post([c] { c->renamePreset(); }); });
    connect(remove, &QPushButton::clicked, this, [this, c] { context_.post([c] { c->deletePreset(); }); });
    connect(close, &QPushButton::clicked, this, [this] { managementWindow_->orderOut(); });
}

void PresetPanels::setSceneMenus(BridgeSceneMenus* menus) {
    sceneMenus_ = menus;
    showKeepOnBridge();
}

void PresetPanels::showKeepOnBridge() {
    const int row = tableWidget_->currentRow();
    if (!sceneMenus_ || row < 0 || !tableWidget_->item(row, 0)) {
        keepOnBridge_->setEnabled(false);
        keepOnBridge_->setChecked(false);
        return;
    }
    BridgeSceneMenus* menus = sceneMenus_;
    QPointer<QCheckBox> box(keepOnBridge_);
    const QString name = tableWidget_->item(row, 0)->text();
    context_.post([menus, box, name] {
        const bool kept = menus->keptOnBridge(name.toStdString());
        postToGui([box, kept] {
            if (!box) return;
            box->setEnabled(true);
            box->setChecked(kept);
        });
    });
}

PresetPanels::~PresetPanels() {
    // Not left to the main window: their labels show the controller's
    // fields, and the controller goes before the window.
    delete question_;
    delete naming_;
    delete management_;
}

bool PresetPanels::eventFilter(QObject* watched, QEvent* event) {
    // A panel opened again starts without the last time's message.
    if (event->type() == QEvent::Show && watched == naming_) say(namingMessage_, {});
    if (event->type() == QEvent::Close) {
        // Closed by the window manager: as if the panel's own way out was taken.
        if (watched == naming_) {
            ManualController* c = &controller_;
            context_.post([c] { c->presetNamingPanelCancel(); });
        } else if (watched == question_) {
            questionWindow_->orderOut();
        } else if (watched == management_) {
            managementWindow_->orderOut();
        }
    }
    return QObject::eventFilter(watched, event);
}

}  // namespace glowmere::gui
