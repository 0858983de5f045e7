#include "gui/windows/ActionEditor.h"

#include <QCloseEvent>
#include <QGridLayout>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPainter>
#include <QPushButton>
#include <QScreen>
#include <QVBoxLayout>

#include "gui/adapters/QtText.h"
#include "gui/widgets/ControlWidgets.h"
#include "schedules/ScheduleManager.h"
#include "schedules/ScheduleWindow.h"

namespace glowmere::gui {

namespace {

// The colour scale beside the colour slider.
class ColourBezel : public QWidget {
public:
    explicit ColourBezel(QWidget* parent) : QWidget(parent) { setFixedHeight(6); }

protected:
    void paintEvent(QPaintEvent*) override {
        QPainter p(this);
        QLinearGradient gradient(0, 0, width(), 0);
        for (int i = 0; i <= 6; ++i) gradient.setColorAt(i / 6.0, QColor::fromHsvF(i / 6.0 == 1 ? 0 : i / 6.0, 1, 1));
        p.fillRect(rect(), gradient);
    }
};

const char* const invalidProperty = "glowmereNoTime";

void markTime(QLineEdit* field) {
    const bool bad = !ScheduleManager::normalisedTime(field->text().toStdString());
    if (field->property(invalidProperty).toBool() == bad) return;
    field->setProperty(invalidProperty, bad);
    field->setStyleSheet(bad ? "QLineEdit { border: 2px solid #d0342c; border-radius: 3px; }" : QString());
    field->setToolTip(bad ? QObject::tr("Not a time of day: use HH:MM, 00:00 to 23:59") : QString());
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
    auto* grid = new QGridLayout(this);
    grid->setHorizontalSpacing(8);
    int row = 0;
    auto label = [&](platform::Control& control) { return widgetFor(control, style::caption); };
    auto add = [&](QWidget* left, QWidget* right, int span = 3) {
        if (left) grid->addWidget(left, row, 0);
        grid->addWidget(right, row, 1, 1, span);
        ++row;
    };

    auto* nameLabel = new QLabel(tr("Name"), this);
    name_ = qobject_cast<QLineEdit*>(widgetFor(logic.tfName(), style::editField));
    name_->setAccessibleName(tr("Name"));
    add(nameLabel, name_);
    auto* kindLabel = new QLabel(tr("Action"), this);
    QWidget* kind = widgetFor(logic.btnAction(), nullptr);
    kind->setAccessibleName(tr("Action"));
    add(kindLabel, kind);
    if (logic.btnLamp()) {
        QWidget* lamp = widgetFor(*logic.btnLamp(), nullptr);
        lamp->setAccessibleName(tr("Lamp"));
        add(label(logic.lampLabel()), lamp);
    }

    onTime_ = qobject_cast<QLineEdit*>(widgetFor(logic.tfOn(), style::editField));
    onTime_->setAccessibleName(tr("On time"));
    offTime_ = qobject_cast<QLineEdit*>(widgetFor(logic.tfOff(), style::editField));
    offTime_->setAccessibleName(tr("Off time"));
    for (QLineEdit* field : {onTime_, offTime_}) {
        field->setMaxLength(8);
        field->setFixedWidth(70);
        field->setAlignment(Qt::AlignCenter);
        connect(field, &QLineEdit::textChanged, field, [field] { markTime(field); });
    }
    grid->addWidget(label(logic.onTimeLabel()), row, 0);
    grid->addWidget(onTime_, row, 1);
    grid->addWidget(label(logic.onTimeHelpLabel()), row, 2);
    ++row;
    grid->addWidget(label(logic.offTimeLabel()), row, 0);
    grid->addWidget(offTime_, row, 1);
    grid->addWidget(label(logic.offTimeHelpLabel()), row, 2);
    ++row;

    auto* days = new QHBoxLayout;
    for (int i = 0; i < 7; ++i) days->addWidget(widgetFor(logic.btnDay(i), style::checkbox));
    days->addStretch();
    grid->addWidget(new QLabel(tr("Days"), this), row, 0);
    grid->addLayout(days, row, 1, 1, 3);
    ++row;
    add(nullptr, widgetFor(logic.btnLinkSunriseSunset(), style::checkbox));
    add(nullptr, widgetFor(logic.btnVary(), style::checkbox));
    add(nullptr, widgetFor(logic.btnColourBrightness(), style::checkbox));
    add(label(logic.brightnessLabel()), widgetFor(logic.slBrightness(), style::horizontalSlider));
    add(label(logic.colourLabel()), widgetFor(logic.slColour(), style::hueSlider));
    auto* bezel = new ColourBezel(this);
    mirrorControl(bezel, logic.colourBezel(),
                  [bezel, &logic] { setHiddenBy(bezel, HiddenBy::Control, logic.colourBezel().isHidden()); });
    add(nullptr, bezel);
    add(label(logic.saturationLabel()), widgetFor(logic.slSaturation(), style::saturationSlider));
    add(nullptr, widgetFor(logic.tfEditorMessage(), style::message));

    done_ = new QPushButton(tr("Done"), this);
    done_->setDefault(true);
    connect(done_, &QPushButton::clicked, this, [this] { askToClose(); });
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(done_);
    grid->addLayout(buttons, row, 0, 1, 4);
    setMinimumWidth(347);
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
    adjustSize();
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
