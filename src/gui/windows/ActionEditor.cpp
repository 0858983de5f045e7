#include "gui/windows/ActionEditor.h"

#include <QCloseEvent>
#include <QFormLayout>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScreen>
#include <QTimer>
#include <QVBoxLayout>

#include "gui/adapters/QtText.h"
#include "gui/widgets/ControlWidgets.h"
#include "schedules/ScheduleManager.h"
#include "schedules/ScheduleWindow.h"

namespace glowmere::gui {

namespace {

const char* const invalidProperty = "glowmereNoTime";

void markTime(QLineEdit* field) {
    const bool bad = !ScheduleManager::normalisedTime(field->text().toStdString());
    if (field->property(invalidProperty).toBool() == bad) return;
    field->setProperty(invalidProperty, bad);
    field->setStyleSheet(bad ? "QLineEdit { border: 2px solid #d0342c; border-radius: 3px; }" : QString());
    field->setToolTip(bad ? QObject::tr("Not a time of day: use HH:MM, 00:00 to 23:59") : QString());
}

QWidget* named(QWidget* widget, const QString& name) {
    widget->setAccessibleName(name);
    return widget;
}

}  // namespace

bool ActionEditor::isMarkedInvalid(const QLineEdit* field) {
    return field && field->property(invalidProperty).toBool();
}

QWidget* ActionEditor::widgetFor(platform::Control& control, const char* hint) {
    auto view =
        std::make_shared<platform::View>("control", platform::Rect{{0, 0}, {200, 22}}, logic_.sharedControl(control));
    if (hint) view->setIdentifier(hint);
    views_.push_back(view);
    return makeControlWidget(view, context_, this);
}

ActionEditor::ActionEditor(ScheduleWindow& logic, GuiContext& context, QWidget* parent)
    : QFrame(parent, Qt::Popup), logic_(logic), context_(context) {
    setObjectName("actionEditor");
    setAccessibleName(tr("Schedule item"));
    setFrameShape(QFrame::StyledPanel);
    auto* outer = new QVBoxLayout(this);
    form_ = new QFormLayout;
    form_->setLabelAlignment(Qt::AlignRight | Qt::AlignVCenter);
    form_->setFieldGrowthPolicy(QFormLayout::AllNonFixedFieldsGrow);
    outer->addLayout(form_);

    addNameRows();
    addTimeRows();
    addColourRows();
    for (const auto& [shownBy, field] : rowOf_)
        form_->setRowVisible(field, !static_cast<const QWidget*>(shownBy)->isHidden());
    addMessageAndDone(outer);
    setFixedWidth(std::max(400, sizeHint().width()));
}

void ActionEditor::addShownRow(QWidget* label, QWidget* field, QWidget* shownBy) {
    form_->addRow(label, field);
    shownBy = shownBy ? shownBy : field;
    rowOf_[shownBy] = field;
    shownBy->installEventFilter(this);
}

void ActionEditor::addNameRows() {
    name_ = qobject_cast<QLineEdit*>(widgetFor(logic_.tfName(), style::editField));
    name_->setAccessibleName(tr("Name"));
    form_->addRow(tr("Name"), name_);
    form_->addRow(tr("Action"), named(widgetFor(logic_.btnAction(), nullptr), tr("Action")));
    if (logic_.btnLamp())
        addShownRow(labelFor(logic_.lampLabel()), named(widgetFor(*logic_.btnLamp(), nullptr), tr("Lamp")));
}

QWidget* ActionEditor::timeRow(QLineEdit* field, platform::TextField& help) {
    field->setMaxLength(8);
    field->setFixedWidth(70);
    field->setAlignment(Qt::AlignCenter);
    connect(field, &QLineEdit::textChanged, field, [field] { markTime(field); });
    // Beside the time: its form, or with the sun followed, where it comes from.
    auto* helpLabel = labelFor(help);
    helpLabel->setForegroundRole(QPalette::PlaceholderText);
    helpLabel->setWordWrap(true);
    auto* row = new QWidget(this);
    auto* box = new QHBoxLayout(row);
    box->setContentsMargins(0, 0, 0, 0);
    box->addWidget(field);
    box->addWidget(helpLabel, 1);
    return row;
}

void ActionEditor::addTimeRows() {
    onTime_ = qobject_cast<QLineEdit*>(widgetFor(logic_.tfOn(), style::editField));
    onTime_->setAccessibleName(tr("On time"));
    offTime_ = qobject_cast<QLineEdit*>(widgetFor(logic_.tfOff(), style::editField));
    offTime_->setAccessibleName(tr("Off time"));
    addShownRow(labelFor(logic_.onTimeLabel()), timeRow(onTime_, logic_.onTimeHelpLabel()), onTime_);
    addShownRow(labelFor(logic_.offTimeLabel()), timeRow(offTime_, logic_.offTimeHelpLabel()), offTime_);

    // Each day's box is followed by its name; the gap keeps the next box
    // clear of it.
    auto* days = new QHBoxLayout;
    days->setSpacing(14);
    for (int i = 0; i < 7; ++i) days->addWidget(widgetFor(logic_.btnDay(i), style::checkbox));
    days->addStretch();
    form_->addRow(tr("Days"), days);
    form_->addRow(QString(), widgetFor(logic_.btnLinkSunriseSunset(), style::checkbox));
    addShownRow(nullptr, widgetFor(logic_.btnVary(), style::checkbox));
}

void ActionEditor::addColourRows() {
    addShownRow(nullptr, widgetFor(logic_.btnColourBrightness(), style::checkbox));
    // The colour slider's groove is the colour scale itself.
    addShownRow(labelFor(logic_.brightnessLabel()),
                named(widgetFor(logic_.slBrightness(), style::horizontalSlider), tr("Brightness")));
    addShownRow(labelFor(logic_.colourLabel()), named(widgetFor(logic_.slColour(), style::hueSlider), tr("Colour")));
    addShownRow(labelFor(logic_.saturationLabel()),
                named(widgetFor(logic_.slSaturation(), style::saturationSlider), tr("Saturation")));
}

void ActionEditor::addMessageAndDone(QVBoxLayout* outer) {
    // Why the editor did not close, in full: it wraps, and the editor grows
    // to show every line.
    message_ = labelFor(logic_.tfEditorMessage());
    message_->setWordWrap(true);
    message_->setObjectName("editorMessage");
    message_->setVisible(!message_->text().isEmpty());
    outer->addWidget(message_);

    done_ = new QPushButton(tr("Done"), this);
    done_->setDefault(true);
    connect(done_, &QPushButton::clicked, this, [this] { askToClose(); });
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(done_);
    outer->addLayout(buttons);
}

QLabel* ActionEditor::labelFor(platform::TextField& text) {
    // In the editor's own font, like the labels it sets itself.
    auto* label = new QLabel(qs(text.stringValue()), this);
    label->setTextFormat(Qt::PlainText);
    mirrorControl(label, text, [this, label, &text] {
        label->setText(qs(text.stringValue()));
        if (label == message_) label->setVisible(!label->text().isEmpty());
    });
    return label;
}

bool ActionEditor::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::ShowToParent || event->type() == QEvent::HideToParent) {
        auto found = rowOf_.find(watched);
        if (found != rowOf_.end()) form_->setRowVisible(found->second, !static_cast<QWidget*>(watched)->isHidden());
    }
    return QFrame::eventFilter(watched, event);
}

bool ActionEditor::event(QEvent* event) {
    // Rows shown or hidden, or a message of more lines: fit the height.
    if (event->type() == QEvent::LayoutRequest) relayout();
    return QFrame::event(event);
}

void ActionEditor::relayout() {
    // Shown controls and messages change the editor's height; one resize
    // after a burst of changes.
    if (relayoutPending_) return;
    relayoutPending_ = true;
    QTimer::singleShot(0, this, [this] {
        relayoutPending_ = false;
        if (QLayout* l = layout()) l->activate();
        resize(width(), heightForWidth(width()) > 0 ? heightForWidth(width()) : sizeHint().height());
    });
}

void ActionEditor::askToClose() {
    ScheduleWindow* logic = &logic_;
    context_.post([logic] { logic->popoverShouldClose(); });
}

void ActionEditor::closeEvent(QCloseEvent* event) {
    // A click outside, or Escape: the logic decides, and closes the editor
    // itself when the item is finished.
    event->ignore();
    askToClose();
}

void ActionEditor::showBesideAnchor() {
    layout()->activate();
    resize(width(), heightForWidth(width()) > 0 ? heightForWidth(width()) : sizeHint().height());
    QRect anchor = anchor_ ? anchor_() : QRect();
    QPoint at = anchor.isNull() ? QPoint(100, 100) : QPoint(anchor.right() + 4, anchor.top() - 20);
    if (QScreen* screen =
            QGuiApplication::screenAt(at) ? QGuiApplication::screenAt(at) : QGuiApplication::primaryScreen()) {
        const QRect area = screen->availableGeometry();
        at.setX(std::clamp(at.x(), area.left(), std::max(area.left(), area.right() - width())));
        at.setY(std::clamp(at.y(), area.top(), std::max(area.top(), area.bottom() - height())));
    }
    move(at);
    show();
    raise();
    activateWindow();
    markTime(onTime_);
    markTime(offTime_);
}

void ActionEditor::Adapter::makeKeyAndOrderFront() {
    visible_ = true;
    QPointer<ActionEditor> editor = editor_;
    postToGui([editor] {
        if (editor) editor->showBesideAnchor();
    });
}

void ActionEditor::Adapter::orderOut() {
    visible_ = false;
    QPointer<ActionEditor> editor = editor_;
    postToGui([editor] {
        if (editor) editor->hide();
    });
}

}  // namespace glowmere::gui
