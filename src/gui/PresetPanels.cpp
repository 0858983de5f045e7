#include "gui/PresetPanels.h"

#include <QCloseEvent>
#include <QDialogButtonBox>
#include <QEvent>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QPushButton>
#include <QVBoxLayout>

#include "controller/ManualController.h"
#include "gui/ControlWidgets.h"
#include "gui/Icons.h"

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

// A label that shows a text field of the logic.
QLabel* mirroredLabel(platform::TextField& field, QWidget* parent) {
    auto* label = new QLabel(parent);
    label->setWordWrap(true);
    label->setTextFormat(Qt::PlainText);
    mirrorControl(label, field, [label, &field] { label->setText(QString::fromStdString(field.stringValue())); });
    label->setText(QString::fromStdString(field.stringValue()));
    return label;
}

}  // namespace

PresetPanels::PresetPanels(ManualController& controller, GuiContext& context, QWidget* mainWindow)
    : controller_(controller),
      context_(context),
      question_(panel(mainWindow, tr("Save preset"))),
      naming_(panel(mainWindow, tr("Name the preset"))),
      management_(new QWidget(nullptr, Qt::Window)),
      tableWidget_(new QTableWidget) {
    ManualController* c = &controller;

    // The question: update the preset applied last, or make a new one.
    auto* questionLayout = new QVBoxLayout(question_);
    questionLayout->addWidget(mirroredLabel(controller.presetOption1Text(), question_));
    auto* questionButtons = new QDialogButtonBox;
    auto* update = questionButtons->addButton(tr("Update"), QDialogButtonBox::AcceptRole);
    auto* makeNew = questionButtons->addButton(tr("New preset"), QDialogButtonBox::ActionRole);
    update->setDefault(true);
    questionLayout->addWidget(questionButtons);
    connect(update, &QPushButton::clicked, this, [this, c] { context_.post([c] { c->presetStep1PanelOK(); }); });
    connect(makeNew, &QPushButton::clicked, this, [this, c] { context_.post([c] { c->savePresetStep1CreateNew(); }); });
    question_->resize(420, 120);

    // The naming panel.
    auto* namingLayout = new QVBoxLayout(naming_);
    namingLayout->addWidget(new QLabel(tr("A name for the lamps as they are now:")));
    auto* nameEdit = new QLineEdit;
    nameEdit->setObjectName("presetName");
    nameEdit->setAccessibleName(tr("Preset name"));
    namingLayout->addWidget(nameEdit);
    auto* namingButtons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel);
    namingLayout->addWidget(namingButtons);
    platform::TextField& field = controller.presetNameEditingField();
    mirrorControl(nameEdit, field, [nameEdit, &field] {
        const QString text = QString::fromStdString(field.stringValue());
        if (nameEdit->text() != text) nameEdit->setText(text);
    });
    auto ok = [this, c, nameEdit] {
        context_.post([c, name = nameEdit->text().toStdString()] {
            c->presetNameEditingField().setStringValue(name);
            c->presetNamingPanelOK();
        });
    };
    connect(namingButtons, &QDialogButtonBox::accepted, this, ok);
    connect(nameEdit, &QLineEdit::returnPressed, this, ok);
    connect(namingButtons, &QDialogButtonBox::rejected, this,
            [this, c] { context_.post([c] { c->presetNamingPanelCancel(); }); });
    naming_->resize(360, 110);

    // The management panel: names and transitions, rename and delete.
    management_->setWindowTitle(tr("Presets"));
    management_->setWindowIcon(icons::application());
    auto* managementLayout = new QVBoxLayout(management_);
    tableWidget_->setObjectName("presetManagementTable");
    tableWidget_->setAccessibleName(tr("Presets"));
    table_ = std::make_unique<QtTableView>(tableWidget_, std::vector<std::string>{"name", "transition"}, context);
    tableWidget_->setHorizontalHeaderLabels({tr("Name"), tr("Transition (s)")});
    tableWidget_->horizontalHeader()->setSectionResizeMode(0, QHeaderView::Stretch);
    tableWidget_->horizontalHeader()->setSectionResizeMode(1, QHeaderView::ResizeToContents);
    managementLayout->addWidget(tableWidget_);
    auto* hint = new QLabel(tr("An empty transition uses the one in Settings."));
    hint->setEnabled(false);
    managementLayout->addWidget(hint);
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
    management_->resize(420, 320);

    questionWindow_ = std::make_unique<QtWindow>(question_);
    namingWindow_ = std::make_unique<QtWindow>(naming_);
    managementWindow_ = std::make_unique<QtWindow>(management_);
    connect(close, &QPushButton::clicked, this, [this] { managementWindow_->orderOut(); });
    for (QWidget* w : {question_, naming_, management_}) w->installEventFilter(this);
}

PresetPanels::~PresetPanels() {
    // Not left to the main window: their labels show the controller's
    // fields, and the controller goes before the window.
    delete question_;
    delete naming_;
    delete management_;
}

bool PresetPanels::eventFilter(QObject* watched, QEvent* event) {
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

ListenCountdownPanel::ListenCountdownPanel(ManualController& controller, GuiContext& context, QWidget* parent)
    : QWidget(parent, Qt::Dialog), controller_(controller), context_(context) {
    setWindowTitle(tr("Listening"));
    setWindowIcon(icons::application());
    auto* layout = new QVBoxLayout(this);
    label_ = mirroredLabel(controller.listenOption1Text(), this);
    label_->setObjectName("countdownText");
    layout->addWidget(label_);
    auto* detail = new QLabel(tr("Time to leave the room; a sound after that switches to the chosen preset."));
    detail->setWordWrap(true);
    detail->setEnabled(false);
    layout->addWidget(detail);
    auto* buttons = new QDialogButtonBox;
    auto* skip = buttons->addButton(tr("Skip"), QDialogButtonBox::AcceptRole);
    auto* cancel = buttons->addButton(tr("Cancel"), QDialogButtonBox::RejectRole);
    layout->addWidget(buttons);
    ManualController* c = &controller;
    connect(skip, &QPushButton::clicked, this, [this, c] { context_.post([c] { c->ListenStep1Skip(); }); });
    connect(cancel, &QPushButton::clicked, this, [this, c] { context_.post([c] { c->ListenStep1Cancel(); }); });
    resize(340, 120);
}

QString ListenCountdownPanel::text() const {
    return label_->text();
}

void ListenCountdownPanel::closeEvent(QCloseEvent* event) {
    // Closing the panel is cancelling; once it was closed by the logic
    // (skip, cancel, the end of the count) there is nothing to cancel.
    if (window_.isVisible()) {
        ManualController* c = &controller_;
        context_.post([c] { c->ListenStep1Cancel(); });
    }
    QWidget::closeEvent(event);
}

}  // namespace glowmere::gui
