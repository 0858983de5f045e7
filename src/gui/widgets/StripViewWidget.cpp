#include "gui/widgets/StripViewWidget.h"

#include <QApplication>
#include <QContextMenuEvent>
#include <QElapsedTimer>
#include <QFrame>
#include <QMenu>
#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>
#include <QPointer>
#include <QPropertyAnimation>
#include <QResizeEvent>
#include <cmath>
#include <memory>
#include <vector>

#include "gui/widgets/ControlWidgets.h"
#include "gui/widgets/PaintCache.h"
#include "gui/widgets/ViewWidgets.h"

namespace glowmere::gui {

using platform::View;

StripViewWidget::StripViewWidget(std::shared_ptr<View> view, GuiContext& context, QWidget* parent)
    : ViewWidget(std::move(view), context, parent) {
    setAttribute(Qt::WA_StyledBackground, false);
    // The strips keep their dark panels in a light desktop too: their own
    // texts are light whatever the desktop's palette.
    QPalette pal = palette();
    pal.setColor(QPalette::WindowText, QColor(230, 231, 236));
    pal.setColor(QPalette::Text, QColor(230, 231, 236));
    pal.setColor(QPalette::ButtonText, QColor(230, 231, 236));
    setPalette(pal);
    // A lamp that is off has its strip dimmed.
    if (auto* toggle = qobject_cast<QAbstractButton*>(childWidget(this->view().subviewWithTag(2)))) {
        auto dim = [this](bool on) {
            setProperty("lampOff", !on);
            update();
            for (QWidget* child : findChildren<QWidget*>(Qt::FindDirectChildrenOnly)) child->update();
        };
        connect(toggle, &QAbstractButton::toggled, this, dim);
        dim(toggle->isChecked());
    }
    // The colour sliders tint their grooves with the strip's current hue.
    QWidget* hue = childWidget(this->view().subviewWithTag(4));
    auto* hueSlider = qobject_cast<StripSlider*>(hue);
    for (int tag : {3, 5}) {
        if (auto* slider = qobject_cast<StripSlider*>(childWidget(this->view().subviewWithTag(tag)))) {
            if (hueSlider) {
                slider->setHueSource([hueSlider] { return hueSlider->model().doubleValue() / 65536.0; });
                connect(hueSlider, &QSlider::valueChanged, slider, qOverload<>(&QWidget::update));
            }
        }
    }
    applyFolding();
    nameControls();
}

QString StripViewWidget::name() const {
    View* labelView = view().subviewWithTag(1);
    const auto* label = labelView ? dynamic_cast<const platform::TextField*>(labelView->control()) : nullptr;
    return label ? QString::fromStdString(label->stringValue()) : QString();
}

QString StripViewWidget::controlSuffix(int tag) {
    switch (tag) {
        case 2:
            return "on";
        case 3:
            return "brightness";
        case 4:
            return "colour";
        case 5:
            return "saturation";
        case 6:
            return "rename";
        case 8:
            return "fade out";
        case 9:
            return "colour temperature";
        default:
            return {};
    }
}

void StripViewWidget::nameControls() {
    const QString strip = name();
    for (const auto& sub : view().subviews()) {
        QWidget* w = childWidget(sub.get());
        const QString suffix = controlSuffix(sub->tag());
        if (!w || suffix.isEmpty()) continue;
        w->setAccessibleName(strip + " " + suffix);
        if (sub->tag() == 6 || sub->tag() == 8) w->setToolTip(w->accessibleName());
    }
    setAccessibleName(strip);
    // Folding has no button of its own: the strip says how.
    setToolTip(strip + "\n" + foldingHint());
}

bool StripViewWidget::isAllStrip() const {
    View* captionView = view().subviewWithTag(7);
    const auto* caption = captionView ? dynamic_cast<const platform::TextField*>(captionView->control()) : nullptr;
    // Folded, a group strip's caption is blank.
    return name() == "All" && caption && (isFolded() || caption->stringValue() == "Group");
}

bool StripViewWidget::isFolded() const {
    return std::lround(view().frameRotation()) % 360 != 0;
}

double StripViewWidget::coordinateHeight() const {
    // Folded, the band's content is laid out along its (upright) height.
    return isFolded() ? width() : height();
}

void StripViewWidget::viewChanged(View::Change what) {
    ViewWidget::viewChanged(what);
    if (what == View::Change::Rotation || what == View::Change::Frame || what == View::Change::Subviews) applyFolding();
}

void StripViewWidget::applyFolding() {
    const bool folded = isFolded();
    for (const auto& sub : view().subviews()) {
        QWidget* w = childWidget(sub.get());
        if (!w) continue;
        // Folded, only the unfold (rename) button stays, at the band's foot.
        const bool keep = sub->tag() == 6;
        setHiddenBy(w, HiddenBy::Container, folded && !keep);
        if (folded && keep) {
            const int side = std::min(26, width() - 6);
            w->setGeometry((width() - side) / 2, height() - side - 6, side, side);
        } else if (!folded) {
            placeChild(sub.get(), false);
        }
    }
    update();
}

void StripViewWidget::paintEvent(QPaintEvent*) {
    QPainter p(this);
    const bool folded = isFolded();
    // Captions under the sliders that show; where they stand is part of
    // the picture's key, as the panel's size, dimming and type are.
    const struct {
        int tag;
        const char* text;
    } captions[] = {{3, "Bri"}, {4, "Hue"}, {5, "Sat"}, {9, "Warm"}};
    const bool dimmed = property("lampOff").toBool();
    QString key = QStringLiteral("stripPanel:%1:%2:%3").arg(folded).arg(dimmed).arg(font().key());
    std::vector<std::pair<QRect, const char*>> shown;
    if (!folded) {
        for (const auto& caption : captions) {
            View* slider = view().subviewWithTag(caption.tag);
            if (!slider || slider->isHidden() || (slider->control() && slider->control()->isHidden())) continue;
            const QRect r = toWidgetRect(slider->frame(), 0, height());
            const QRect box(r.center().x() - 24, r.bottom() + 2, 48, 14);
            shown.emplace_back(box, caption.text);
            key += QStringLiteral(":%1@%2,%3").arg(caption.tag).arg(box.x()).arg(box.y());
        }
    }
    paintCached(p, QPoint(0, 0), size(), key, devicePixelRatioF(), [&](QPainter& panelPainter) {
        panelPainter.setRenderHint(QPainter::Antialiasing);
        const QRectF panel = QRectF(rect()).adjusted(3.5, 0.5, -3.5, -0.5);
        QLinearGradient fill(panel.topLeft(), panel.bottomLeft());
        fill.setColorAt(0, QColor(58, 61, 70));
        fill.setColorAt(1, QColor(40, 42, 49));
        panelPainter.setPen(QPen(QColor(255, 255, 255, 28), 1));
        panelPainter.setBrush(fill);
        panelPainter.drawRoundedRect(panel, 10, 10);
        if (shown.empty()) return;
        QFont small = font();
        small.setPointSizeF(small.pointSizeF() * 0.78);
        panelPainter.setFont(small);
        panelPainter.setPen(QColor(170, 174, 186));
        if (dimmed) panelPainter.setOpacity(0.55);
        for (const auto& [box, text] : shown) panelPainter.drawText(box, Qt::AlignCenter, tr(text));
    });
    if (!folded) return;
    // The name reads upward along the band.
    View* labelView = view().subviewWithTag(1);
    const auto* label = labelView ? dynamic_cast<const platform::TextField*>(labelView->control()) : nullptr;
    p.setRenderHint(QPainter::Antialiasing);
    p.translate(width() / 2.0 + 5, height() - 40);
    p.rotate(-90);
    QFont f = font();
    f.setBold(true);
    p.setFont(f);
    p.setPen(QColor(235, 236, 240));
    const QString text = label ? QString::fromStdString(label->stringValue()) : QString();
    p.drawText(QPointF(0, 0), p.fontMetrics().elidedText(text, Qt::ElideRight, height() - 52));
}

void StripViewWidget::mousePressEvent(QMouseEvent* event) {
    // Counted here, since a platform click count is what the logic expects.
    // The events' own times, as the desktop stamped them.
    const bool continues =
        clickCount_ > 0 &&
        event->timestamp() - lastPress_ <= static_cast<quint64>(QApplication::doubleClickInterval()) &&
        (event->position().toPoint() - lastPressPos_).manhattanLength() <= 6;
    clickCount_ = continues ? clickCount_ + 1 : 1;
    lastPress_ = event->timestamp();
    lastPressPos_ = event->position().toPoint();
    event->accept();
}

void StripViewWidget::mouseDoubleClickEvent(QMouseEvent* event) {
    // Qt gives a widget the second press of a double click only as this
    // event: it is a press like the first.
    mousePressEvent(event);
}

namespace {
std::function<void(std::shared_ptr<View>, StripArrangement)>& arrangementHandler() {
    static std::function<void(std::shared_ptr<View>, StripArrangement)> handler;
    return handler;
}
}  // namespace

namespace {
std::function<bool()>& foldingAllowed() {
    static std::function<bool()> allowed;
    return allowed;
}
}  // namespace

void setStripFoldingAllowed(std::function<bool()> allowed) {
    foldingAllowed() = std::move(allowed);
}

QString StripViewWidget::foldingHint() const {
    if (isFolded()) return tr("Double-click to unfold; right-click for more");
    if (foldingAllowed() && !foldingAllowed()())
        return tr("Strips fold with a double click once \"Allow strips to fold\" is on in Settings");
    return tr("Double-click to fold or unfold; right-click for more");
}

bool StripViewWidget::event(QEvent* event) {
    // The hint follows the setting and the strip's state.
    if (event->type() == QEvent::ToolTip) setToolTip(name() + "\n" + foldingHint());
    return ViewWidget::event(event);
}

void setStripArrangementHandler(std::function<void(std::shared_ptr<platform::View>, StripArrangement)> handler) {
    arrangementHandler() = std::move(handler);
}

void StripViewWidget::contextMenuEvent(QContextMenuEvent* event) {
    // Shared, so a rebuild meanwhile does not take them from under the post.
    auto controlWithTag = [this](int tag) {
        View* sub = view().subviewWithTag(tag);
        return sub ? sub->sharedControl() : nullptr;
    };
    const std::shared_ptr<platform::Control> renameButton = controlWithTag(6), duskButton = controlWithTag(8);
    const bool folded = isFolded();
    QMenu menu(this);
    QAction* fold = menu.addAction(folded ? tr("Unfold") : tr("Fold"));
    if (!folded && foldingAllowed() && !foldingAllowed()()) {
        fold->setText(tr("Fold (allow it in Settings)"));
        fold->setEnabled(false);
    }
    // The All strip's pencil only unfolds: it has no name to change.
    QAction* rename = isAllStrip() ? nullptr : menu.addAction(tr("Rename…"));
    QAction* dusk = duskButton ? menu.addAction(tr("Dusk…")) : nullptr;
    std::map<QAction*, StripArrangement> arrangements;
    if (arrangementHandler()) {
        menu.addSeparator();
        arrangements[menu.addAction(tr("Hide"))] = StripArrangement::Hide;
        arrangements[menu.addAction(tr("Move left"))] = StripArrangement::MoveLeft;
        arrangements[menu.addAction(tr("Move right"))] = StripArrangement::MoveRight;
    }
    QAction* chosen = menu.exec(event->globalPos());
    if (!chosen) return;
    std::shared_ptr<View> strip = sharedView();
    if (auto it = arrangements.find(chosen); it != arrangements.end()) {
        if (arrangementHandler()) arrangementHandler()(strip, it->second);
        return;
    }
    if (chosen == fold) {
        // What a double click does.
        context_.post([strip] { strip->mouseUp(2); });
    } else if (chosen == rename && renameButton) {
        // Folded, the pencil unfolds first; the second press renames.
        context_.post([renameButton, folded] {
            renameButton->sendAction();
            if (folded) renameButton->sendAction();
        });
    } else if (chosen == dusk) {
        context_.post([duskButton] { duskButton->sendAction(); });
    }
}

void StripViewWidget::mouseReleaseEvent(QMouseEvent* event) {
    event->accept();
    context_.post([view = sharedView(), count = clickCount_] { view->mouseUp(count); });
}

}  // namespace glowmere::gui
