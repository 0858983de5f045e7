#include "gui/windows/LocationSection.h"

#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include "gui/widgets/ControlWidgets.h"
#include "schedules/LocationSettings.h"

namespace glowmere::gui {

QWidget* LocationSection::widgetFor(platform::Control& control, const char* hint) {
    auto view =
        std::make_shared<platform::View>("control", platform::Rect{{0, 0}, {200, 22}}, settings_.control(control));
    if (hint) view->setIdentifier(hint);
    views_.push_back(view);
    return makeControlWidget(view, context_, this);
}

LocationSection::LocationSection(LocationSettings& settings, GuiContext& context, QWidget* parent)
    : QWidget(parent), settings_(settings), context_(context) {
    setObjectName("location");
    latitude_ = qobject_cast<QLineEdit*>(widgetFor(settings.tfLatitude(), style::editField));
    longitude_ = qobject_cast<QLineEdit*>(widgetFor(settings.tfLongitude(), style::editField));
    latitude_->setPlaceholderText(tr("52.52 (north positive)"));
    longitude_->setPlaceholderText(tr("13.405 (east positive)"));
    latitude_->setAccessibleName(tr("Latitude"));
    longitude_->setAccessibleName(tr("Longitude"));
    use_ = qobject_cast<QPushButton*>(widgetFor(settings.btnUseEntered(), nullptr));
    QWidget* forget = widgetFor(settings.btnForget(), nullptr);
    position_ = qobject_cast<QLabel*>(widgetFor(settings.tfPosition(), style::caption));
    source_ = qobject_cast<QLabel*>(widgetFor(settings.tfSource(), style::caption));
    sunrise_ = qobject_cast<QLabel*>(widgetFor(settings.tfSunrise(), style::caption));
    sunset_ = qobject_cast<QLabel*>(widgetFor(settings.tfSunset(), style::caption));
    message_ = qobject_cast<QLabel*>(widgetFor(settings.tfMessage(), style::message));
    for (QLabel* shown : {position_, source_, sunrise_, sunset_}) {
        // Shown at the size of the other texts, and selectable.
        shown->setFont(font());
        shown->setTextInteractionFlags(Qt::TextSelectableByMouse);
        shown->setEnabled(true);
    }

    auto* form = new QFormLayout;
    form->addRow(tr("Position in use:"), position_);
    form->addRow(tr("From:"), source_);
    form->addRow(tr("Sunrise today:"), sunrise_);
    form->addRow(tr("Sunset today:"), sunset_);
    auto* entered = new QFormLayout;
    entered->addRow(tr("Latitude:"), latitude_);
    entered->addRow(tr("Longitude:"), longitude_);
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(use_);
    buttons->addWidget(forget);
    buttons->addStretch();
    auto* note = new QLabel(tr("Schedules that follow the sun use this position. The desktop's location service is "
                               "asked only while one of them exists; a position entered here wins over it."),
                            this);
    note->setWordWrap(true);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(form);
    layout->addSpacing(8);
    layout->addLayout(entered);
    layout->addLayout(buttons);
    layout->addWidget(message_);
    layout->addWidget(note);
    layout->addStretch();
}

void LocationSection::showEvent(QShowEvent* event) {
    LocationSettings* settings = &settings_;
    context_.post([settings] { settings->refresh(); });
    QWidget::showEvent(event);
}

QString LocationSection::positionText() const {
    return position_->text();
}

QString LocationSection::sourceText() const {
    return source_->text();
}

QString LocationSection::sunriseText() const {
    return sunrise_->text();
}

QString LocationSection::sunsetText() const {
    return sunset_->text();
}

QString LocationSection::messageText() const {
    return message_->text();
}

}  // namespace glowmere::gui
