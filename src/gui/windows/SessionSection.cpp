#include "gui/windows/SessionSection.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFormLayout>
#include <QLabel>
#include <QVBoxLayout>
#include <algorithm>

#include "gui/adapters/DesktopNotifications.h"
#include "platform/DefaultsStore.h"

namespace glowmere::gui {

namespace {
constexpr std::array<SessionEvent, 5> events{SessionEvent::BeforeSleep, SessionEvent::AfterWake, SessionEvent::Lock,
                                             SessionEvent::Unlock, SessionEvent::Logout};

QString labelFor(SessionEvent event) {
    switch (event) {
        case SessionEvent::BeforeSleep:
            return QObject::tr("Before the computer sleeps");
        case SessionEvent::AfterWake:
            return QObject::tr("When it wakes");
        case SessionEvent::Lock:
            return QObject::tr("When the screen locks");
        case SessionEvent::Unlock:
            return QObject::tr("When the screen unlocks");
        case SessionEvent::Logout:
            return QObject::tr("When I log out or shut down");
    }
    return {};
}

QString restoreLabel(SessionEvent event) {
    return event == SessionEvent::AfterWake ? QObject::tr("Restore the lamps as they were before sleeping")
                                            : QObject::tr("Restore the lamps as they were before the lock");
}
}  // namespace

SessionSection::SessionSection(platform::DefaultsStore& defaults, std::function<std::vector<std::string>()> presetNames,
                               QWidget* parent)
    : QWidget(parent), defaults_(defaults), presetNames_(std::move(presetNames)) {
    setObjectName("session");
    auto* form = new QFormLayout;
    for (SessionEvent event : events) {
        auto* box = new QComboBox(this);
        box->setAccessibleName(labelFor(event));
        box->setSizeAdjustPolicy(QComboBox::AdjustToContents);
        boxes_[static_cast<std::size_t>(event)] = box;
        form->addRow(labelFor(event) + ":", box);
        connect(box, &QComboBox::currentIndexChanged, this, [this, event] { store(event); });
    }
    notifications_ = new QCheckBox(tr("Show desktop notifications"), this);
    notifications_->setAccessibleName(tr("Show desktop notifications"));
    connect(notifications_, &QCheckBox::toggled, this, [this](bool on) {
        if (!filling_) defaults_.setObject(DesktopNotifications::enabledKey, on);
    });
    auto* note =
        new QLabel(tr("Glowmere holds sleep, log-out and shutdown back for a moment (at most 3 seconds) so the "
                      "lamps hear of it first. Notifications say when the bridge is lost and found, when "
                      "a schedule could not be put on the bridge, when the sound trigger fires, what the "
                      "lamps did for the session and when an update is out."),
                   this);
    note->setWordWrap(true);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(form);
    layout->addSpacing(8);
    layout->addWidget(notifications_);
    layout->addWidget(note);
    layout->addStretch();
    refresh();
}

void SessionSection::showEvent(QShowEvent* event) {
    // The presets may have changed since: the lists show them as they are.
    refresh();
    QWidget::showEvent(event);
}

void SessionSection::refresh() {
    for (SessionEvent event : events) fill(event);
    filling_ = true;
    notifications_->setChecked(!defaults_.hasObject(DesktopNotifications::enabledKey) ||
                               defaults_.boolForKey(DesktopNotifications::enabledKey));
    filling_ = false;
}

void SessionSection::fill(SessionEvent event) {
    QComboBox* box = choiceBox(event);
    const Value stored = defaults_.objectForKey(SessionActions::keyFor(event));
    const SessionChoice current = SessionChoice::parse(stored.isText() ? stored.textValue() : "", event);
    filling_ = true;
    box->clear();
    box->addItem(tr("Do nothing"), QString("nothing"));
    box->addItem(tr("Turn all off"), QString("off"));
    if (event == SessionEvent::AfterWake || event == SessionEvent::Unlock)
        box->addItem(restoreLabel(event), QString("restore"));
    if (event != SessionEvent::Logout) {
        std::vector<std::string> names = presetNames_ ? presetNames_() : std::vector<std::string>{};
        // A stored preset that is gone stays chosen, said as missing, rather
        // than turning silently into "Do nothing".
        if (current.kind == SessionChoice::Kind::Preset &&
            std::find(names.begin(), names.end(), current.preset) == names.end())
            box->addItem(tr("Apply preset \u201c%1\u201d (missing)").arg(QString::fromStdString(current.preset)),
                         QString::fromStdString(current.text()));
        for (const std::string& name : names)
            box->addItem(tr("Apply preset \u201c%1\u201d").arg(QString::fromStdString(name)),
                         QString::fromStdString("preset:" + name));
    }
    const int at = box->findData(QString::fromStdString(current.text()));
    box->setCurrentIndex(at < 0 ? 0 : at);
    filling_ = false;
}

void SessionSection::store(SessionEvent event) {
    if (filling_) return;
    const std::string text = choiceBox(event)->currentData().toString().toStdString();
    // "Do nothing" is the absence of a choice.
    if (text == "nothing")
        defaults_.removeObject(SessionActions::keyFor(event));
    else
        defaults_.setObject(SessionActions::keyFor(event), text);
}

}  // namespace glowmere::gui
