#include "gui/widgets/ControlWidgets.h"

#include <QAccessible>
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPainter>
#include <QPainterPath>
#include <QPointer>
#include <QPushButton>
#include <QStandardItemModel>
#include <QStyle>
#include <QStyleOptionSlider>
#include <QToolTip>
#include <QWheelEvent>
#include <algorithm>
#include <atomic>
#include <cmath>

#include "gui/widgets/Icons.h"

namespace glowmere::gui {

using platform::Button;
using platform::Control;
using platform::PopUpButton;
using platform::Slider;
using platform::TextField;

void mirrorControl(QObject* owner, Control& control, std::function<void()> refresh) {
    auto waiting = std::make_shared<std::atomic<bool>>(false);
    QPointer<QObject> guard(owner);
    control.setObserver([waiting, guard, refresh = std::move(refresh)](Control*) {
        // Polling may change hundreds of values in a burst; one refresh reads
        // them all, so a second request while one waits adds nothing.
        if (waiting->exchange(true)) return;
        postToGui([waiting, guard, refresh] {
            waiting->store(false);
            if (guard) refresh();
        });
    });
}

QLabel* mirroredLabel(platform::TextField& field, QWidget* parent) {
    auto* label = new QLabel(parent);
    label->setWordWrap(true);
    label->setTextFormat(Qt::PlainText);
    mirrorControl(label, field, [label, &field] { label->setText(QString::fromStdString(field.stringValue())); });
    label->setText(QString::fromStdString(field.stringValue()));
    return label;
}

namespace {

QString qs(const std::string& text) {
    return QString::fromStdString(text);
}

// More than two lines of a strip ever show; the rest is only in the tooltip.
constexpr int readableNameLength = 256;

// A lamp's name in at most two lines of `width`: broken between words where
// it can be, else anywhere; what still does not fit ends in an ellipsis.
// Bounded work whatever the name's length: a readable head of it is
// measured, and the line break found by halving.
}  // namespace

void refreshCommon(QWidget* widget, const Control& control) {
    widget->setEnabled(control.isEnabled());
    setHiddenBy(widget, HiddenBy::Control, control.isHidden());
}

QStringList stripNameLines(const QString& name, const QFontMetrics& metrics, int width, bool* complete) {
    const QString text =
        name.size() > readableNameLength ? name.left(readableNameLength) + QChar(0x2026) : name.simplified();
    // Whole words, as many to a line as fit; a word wider than a line has
    // one to itself.
    QStringList lines;
    for (const QString& word : text.split(' ', Qt::SkipEmptyParts)) {
        const QString longer = lines.isEmpty() ? word : lines.back() + ' ' + word;
        if (!lines.isEmpty() && metrics.horizontalAdvance(longer) <= width)
            lines.back() = longer;
        else
            lines << word;
    }
    bool whole = lines.size() <= 2;
    for (const QString& line : lines) whole = whole && metrics.horizontalAdvance(line) <= width;
    if (complete) *complete = whole;
    if (whole) return lines;
    // Two lines, the second (or a word too wide) ending in an ellipsis.
    QStringList shown;
    for (int i = 0; i < std::min<int>(2, static_cast<int>(lines.size())); ++i) {
        const QString line = i == 1 ? QStringList(lines.mid(1)).join(' ') : lines[i];
        shown << (metrics.horizontalAdvance(line) <= width ? line : metrics.elidedText(line, Qt::ElideRight, width));
    }
    return shown;
}

// ---- the factory ----

namespace {

QWidget* makeSlider(const std::shared_ptr<platform::View>& view, const std::shared_ptr<Slider>& slider,
                    GuiContext& context, QWidget* parent) {
    const std::string hint = view->identifier();
    auto look = StripSlider::Look::Plain;
    if (hint == style::hueSlider) look = StripSlider::Look::Hue;
    if (hint == style::saturationSlider) look = StripSlider::Look::Saturation;
    if (hint == style::brightnessSlider) look = StripSlider::Look::Brightness;
    if (hint == style::colourTemperatureSlider) look = StripSlider::Look::Warmth;
    const auto frame = view->frame();
    const auto orientation =
        hint == style::horizontalSlider || frame.size.width > frame.size.height ? Qt::Horizontal : Qt::Vertical;
    return new StripSlider(slider, look, context, orientation, parent);
}

// A strip's flat icon button (pencil, moon): the style draws no frame for a
// flat button, and so no focus either; this one rings itself when it has
// the keyboard's focus.
class StripIconButton : public QPushButton {
public:
    using QPushButton::QPushButton;

protected:
    void paintEvent(QPaintEvent* event) override {
        QPushButton::paintEvent(event);
        if (!hasFocus()) return;
        QPainter p(this);
        p.setRenderHint(QPainter::Antialiasing);
        p.setPen(QPen(palette().color(QPalette::Highlight), 2));
        p.setBrush(Qt::NoBrush);
        p.drawRoundedRect(QRectF(rect()).adjusted(1, 1, -1, -1), 4, 4);
    }
};

// The moon button of a strip whose lamp is fading out shows the whole
// minutes left in the moon's place (its title while its state is 1); its
// tooltip and description say so and how to stop it.
void showDuskState(QPushButton* push, const Button& button) {
    const QString left = qs(button.title());
    const bool running = button.state() == 1 && !left.isEmpty();
    push->setIcon(running ? QIcon() : icons::moon());
    push->setText(running ? QObject::tr("%1m").arg(left) : QString());
    const QString tip = !running ? QObject::tr("Fade out slowly")
                        : left == QLatin1String("1")
                            ? QObject::tr("Fading out: 1 minute left. Click to stop it.")
                            : QObject::tr("Fading out: %1 minutes left. Click to stop it.").arg(left);
    push->setToolTip(tip);
    push->setAccessibleDescription(running ? tip : QString());
}

QWidget* makeButton(const std::shared_ptr<platform::View>& view, const std::shared_ptr<Button>& button,
                    GuiContext& context, QWidget* parent) {
    const std::string hint = view->identifier();
    if (hint == style::onOffSwitch || hint == style::checkbox) {
        QAbstractButton* toggle = hint == style::onOffSwitch ? static_cast<QAbstractButton*>(new ToggleSwitch(parent))
                                                             : new QCheckBox(parent);
        if (auto* box = qobject_cast<QCheckBox*>(toggle)) box->setText(qs(button->title()));
        if (hint == style::onOffSwitch) toggle->setToolTip(QObject::tr("Switch on or off"));
        QObject::connect(toggle, &QAbstractButton::clicked, toggle, [&context, button](bool checked) {
            context.forwarder().forward(button, [checked](Control& c) { static_cast<Button&>(c).setState(checked); });
        });
        mirrorControl(toggle, *button, [toggle, button] {
            refreshCommon(toggle, *button);
            toggle->setChecked(button->state() == 1);
            if (auto* box = qobject_cast<QCheckBox*>(toggle)) box->setText(qs(button->title()));
        });
        toggle->setChecked(button->state() == 1);
        return toggle;
    }
    const bool iconButton = hint == style::renameButton || hint == style::duskButton;
    auto* push = iconButton ? new StripIconButton(parent) : new QPushButton(parent);
    if (iconButton) {
        push->setIcon(hint == style::renameButton ? icons::pencil() : icons::moon());
        push->setIconSize(QSize(14, 14));
        push->setFlat(true);
        push->setCursor(Qt::PointingHandCursor);
        push->setToolTip(hint == style::renameButton ? QObject::tr("Rename") : QObject::tr("Fade out slowly"));
        push->setObjectName(QString::fromUtf8(hint.c_str()));
    }
    QObject::connect(push, &QPushButton::clicked, push,
                     [&context, button] { context.forwarder().forward(button, nullptr); });
    const bool iconOnly = !push->icon().isNull();
    const bool dusk = hint == style::duskButton;
    mirrorControl(push, *button, [push, button, iconOnly, dusk] {
        refreshCommon(push, *button);
        if (!iconOnly) push->setText(qs(button->title()));
        if (dusk) showDuskState(push, *button);
    });
    if (!iconOnly) push->setText(qs(button->title()));
    if (dusk) showDuskState(push, *button);
    return push;
}

Qt::Alignment alignmentOf(TextField::Alignment a) {
    switch (a) {
        case TextField::Alignment::Left:
            return Qt::AlignLeft | Qt::AlignVCenter;
        case TextField::Alignment::Right:
            return Qt::AlignRight | Qt::AlignVCenter;
        case TextField::Alignment::Center:
            break;
    }
    return Qt::AlignCenter;
}

QWidget* makeTextField(const std::shared_ptr<platform::View>& view, const std::shared_ptr<TextField>& field,
                       GuiContext& context, QWidget* parent) {
    const std::string hint = view->identifier();
    if (hint == style::editField || hint.empty()) {
        auto* edit = new QLineEdit(parent);
        edit->setText(qs(field->stringValue()));
        // Typing updates the value without acting; Return acts.
        QObject::connect(edit, &QLineEdit::textEdited, edit, [&context, field](const QString& text) {
            context.forwarder().forward(
                field, [t = text.toStdString()](Control& c) { static_cast<TextField&>(c).setStringValue(t); }, false);
        });
        QObject::connect(edit, &QLineEdit::returnPressed, edit, [&context, field, edit] {
            context.forwarder().forward(
                field, [t = edit->text().toStdString()](Control& c) { static_cast<TextField&>(c).setStringValue(t); });
        });
        mirrorControl(edit, *field, [edit, field] {
            refreshCommon(edit, *field);
            const QString text = qs(field->stringValue());
            if (edit->text() != text && !edit->hasFocus()) edit->setText(text);
            if (edit->text() != text && edit->hasFocus() && text.isEmpty()) edit->clear();
        });
        return edit;
    }
    auto* label = new QLabel(parent);
    label->setTextFormat(Qt::PlainText);
    if (hint == style::stripLabel) {
        QFont f = label->font();
        f.setBold(true);
        label->setFont(f);
        label->setObjectName("stripLabel");
    } else if (hint == style::caption) {
        QFont f = label->font();
        f.setPointSizeF(f.pointSizeF() * 0.85);
        label->setFont(f);
        label->setObjectName("stripCaption");
    } else if (hint == style::message) {
        label->setWordWrap(true);
    }
    const int elideWidth = std::max(20, static_cast<int>(view->frame().size.width) - 4);
    auto refresh = [label, field, hint, elideWidth] {
        refreshCommon(label, *field);
        const QString text = qs(field->stringValue());
        // Long lamp names take two lines in the narrow strip; the tooltip
        // and the controls' accessible names have all of it.
        const bool strip = hint == style::stripLabel;
        if (strip) {
            // A slightly smaller type before words are cut short.
            QFont font = label->font();
            const double size = label->property("namePointSize").isValid() ? label->property("namePointSize").toDouble()
                                                                           : font.pointSizeF();
            label->setProperty("namePointSize", size);
            QStringList lines;
            for (double scale : {1.0, 0.9, 0.8}) {
                font.setPointSizeF(size * scale);
                bool whole = false;
                lines = stripNameLines(text, QFontMetrics(font), elideWidth, &whole);
                if (whole) break;
            }
            label->setFont(font);
            label->setText(lines.join('\n'));
        } else {
            label->setText(text);
        }
        label->setToolTip(strip ? text : QString());
        if (strip) {
            label->setAccessibleName(text);
            label->setAccessibleDescription(text);
            // The strip names its controls after it (once it is built).
            QWidget* owner = label->parentWidget();
            if (owner && owner->metaObject()->indexOfMethod("nameControls()") >= 0)
                QMetaObject::invokeMethod(owner, "nameControls", Qt::QueuedConnection);
        }
        label->setAlignment(hint == style::message ? Qt::AlignLeft | Qt::AlignTop : alignmentOf(field->alignment()));
    };
    mirrorControl(label, *field, refresh);
    refresh();
    return label;
}

QWidget* makePopUp(const std::shared_ptr<PopUpButton>& popUp, GuiContext& context, QWidget* parent) {
    auto* combo = new QComboBox(parent);
    auto refresh = [combo, popUp] {
        refreshCommon(combo, *popUp);
        QSignalBlocker block(combo);
        combo->clear();
        for (const auto& item : popUp->items()) {
            if (item.separator) {
                combo->insertSeparator(combo->count());
                continue;
            }
            combo->addItem(qs(item.title), item.tag);
            if (!item.header) continue;
            // A section's title: shown, never chosen.
            if (auto* model = qobject_cast<QStandardItemModel*>(combo->model()))
                if (QStandardItem* title = model->item(combo->count() - 1)) title->setFlags(Qt::NoItemFlags);
        }
        if (auto index = popUp->indexOfSelectedItem()) combo->setCurrentIndex(static_cast<int>(*index));
    };
    QObject::connect(combo, &QComboBox::activated, combo, [&context, popUp](int index) {
        context.forwarder().forward(popUp, [index](Control& c) {
            static_cast<PopUpButton&>(c).selectItemAtIndex(static_cast<std::size_t>(index));
        });
    });
    mirrorControl(combo, *popUp, refresh);
    refresh();
    return combo;
}

}  // namespace

QWidget* makeControlWidget(const std::shared_ptr<platform::View>& view, GuiContext& context, QWidget* parent) {
    auto control = view->sharedControl();
    if (auto slider = std::dynamic_pointer_cast<Slider>(control)) return makeSlider(view, slider, context, parent);
    if (auto button = std::dynamic_pointer_cast<Button>(control)) return makeButton(view, button, context, parent);
    if (auto field = std::dynamic_pointer_cast<TextField>(control)) return makeTextField(view, field, context, parent);
    if (auto popUp = std::dynamic_pointer_cast<PopUpButton>(control)) return makePopUp(popUp, context, parent);
    return new QWidget(parent);
}

}  // namespace glowmere::gui
