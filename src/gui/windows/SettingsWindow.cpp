#include "gui/windows/SettingsWindow.h"

#include <QCheckBox>
#include <QDoubleSpinBox>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QKeySequence>
#include <QLabel>
#include <QLineEdit>
#include <QVBoxLayout>
#include <cctype>
#include <chrono>

#include "bridge/BridgeBridge.h"
#include "bridge/RequestFailure.h"
#include "controller/ControllerSettings.h"
#include "gui/widgets/ControlWidgets.h"
#include "gui/widgets/Icons.h"
#include "platform/Autostart.h"
#include "platform/Log.h"

namespace glowmere::gui {

std::optional<std::string> normalizedBridgeAddress(const std::string& text) {
    std::size_t begin = 0, end = text.size();
    while (begin < end && std::isspace(static_cast<unsigned char>(text[begin]))) ++begin;
    while (end > begin && std::isspace(static_cast<unsigned char>(text[end - 1]))) --end;
    std::string address = text.substr(begin, end - begin);
    // "https://" asks for HTTPS only; the address is kept as written.
    const std::string scheme = address.rfind("https://", 0) == 0 ? "https://" : "";
    address.erase(0, scheme.size());
    if (address.empty() || address.size() > 253) return std::nullopt;
    std::string host = address;
    if (auto colon = address.find(':'); colon != std::string::npos) {
        host = address.substr(0, colon);
        const std::string port = address.substr(colon + 1);
        if (port.empty() || port.size() > 5) return std::nullopt;
        for (char c : port)
            if (!std::isdigit(static_cast<unsigned char>(c))) return std::nullopt;
        const int number = std::stoi(port);
        if (number < 1 || number > 65535) return std::nullopt;
    }
    if (host.empty() || host.front() == '.' || host.front() == '-' || host.back() == '.' || host.back() == '-')
        return std::nullopt;
    // Only what may stand in a host name: the address goes into URLs.
    for (char c : host)
        if (!std::isalnum(static_cast<unsigned char>(c)) && c != '.' && c != '-') return std::nullopt;
    return scheme + address;
}

namespace {
template <class T>
std::shared_ptr<platform::Control> borrowed(T& control) {
    // The settings object owns these controls and outlives the window.
    return std::shared_ptr<platform::Control>(&control, [](platform::Control*) {});
}
}  // namespace

QWidget* SettingsWindow::widgetFor(const std::shared_ptr<platform::Control>& control, const char* hint) {
    auto view = std::make_shared<platform::View>("control", platform::Rect{{0, 0}, {200, 24}}, control);
    if (hint) view->setIdentifier(hint);
    QWidget* widget = makeControlWidget(view, context_, this);
    views_.push_back(view);
    return widget;
}

QWidget* SettingsWindow::spinBoxFor(platform::TextField& field, double minimum, double maximum, double step,
                                    int decimals, const QString& unit) {
    auto* spin = new QDoubleSpinBox(this);
    spin->setRange(minimum, maximum);
    spin->setSingleStep(step);
    spin->setDecimals(decimals);
    spin->setSuffix(" " + unit);
    spin->setKeyboardTracking(false);
    auto control = borrowed(field);
    auto show = [spin, &field] {
        bool ok = false;
        const double value = QString::fromStdString(field.stringValue()).trimmed().toDouble(&ok);
        if (!ok || spin->hasFocus()) return;
        QSignalBlocker quiet(spin);
        spin->setValue(value);
    };
    mirrorControl(spin, field, show);
    show();
    QObject::connect(spin, &QDoubleSpinBox::valueChanged, spin, [this, control](double value) {
        // Stored as text, as the registered defaults are: "30", "0.5".
        const std::string text = QString::number(value, 'g', 6).toStdString();
        context_.forwarder().forward(
            control, [text](platform::Control& c) { static_cast<platform::TextField&>(c).setStringValue(text); });
    });
    return spin;
}

void SettingsWindow::addSection(QWidget* section, const QString& title) {
    tabs_->addTab(section, title);
}

void SettingsWindow::showBridgeTab() {
    if (QWidget* bridgeTab = tabs_->findChild<QWidget*>("bridge")) tabs_->setCurrentWidget(bridgeTab);
}

SettingsWindow::SettingsWindow(GuiContext& context, ControllerSettings& settings, BridgeBridge& bridge,
                               platform::HttpClient& http, platform::Autostart* autostart)
    : QWidget(nullptr, Qt::Window),
      context_(context),
      settings_(settings),
      bridge_(bridge),
      http_(http),
      autostart_(autostart),
      tabs_(new QTabWidget),
      tabView_(tabs_) {
    setWindowTitle(tr("Glowmere Settings"));
    setWindowIcon(icons::application());
    tabs_->addTab(buildGeneralTab(), tr("General"));
    tabs_->addTab(buildSoundTab(), tr("Sound"));
    tabs_->addTab(buildBridgeTab(), tr("Bridge"));
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(tabs_);
    resize(460, 300);

    connectBridgeCommands();
    context_.post([this] { showStoredBridgeSettings(); });
}

QWidget* SettingsWindow::buildGeneralTab() {
    auto* general = new QWidget;
    general->setObjectName("general");
    auto* form = new QFormLayout(general);
    form->addRow(tr("False dusk and dawn:"), spinBoxFor(settings_.transitionMins, 0, 720, 0.5, 2, tr("min")));
    form->addRow(tr("Preset transition:"), spinBoxFor(settings_.presetTransition, 0, 600, 0.1, 1, tr("s")));
    form->addRow(QString(), widgetFor(borrowed(settings_.allowFold), style::checkbox));
    form->addRow(QString(), widgetFor(borrowed(settings_.makeAllGroup), style::checkbox));
    if (autostart_) {
        startAtLogin_ = new QCheckBox(tr("Start Glowmere at login"));
        startAtLogin_->setObjectName("startAtLogin");
        startAtLogin_->setChecked(autostart_->isEnabled());
        connect(startAtLogin_, &QCheckBox::toggled, this, &SettingsWindow::setStartAtLogin);
        form->addRow(QString(), startAtLogin_);
        startAtLoginError_ = new QLabel;
        startAtLoginError_->setObjectName("startAtLoginError");
        startAtLoginError_->setWordWrap(true);
        startAtLoginError_->hide();
        form->addRow(QString(), startAtLoginError_);
    }
    return general;
}

QWidget* SettingsWindow::buildSoundTab() {
    auto* sound = new QWidget;
    sound->setObjectName("sound");
    auto* soundForm = soundForm_ = new QFormLayout(sound);
    // The slider alone says nothing of where it stands: its value, in dB, sits beside it.
    auto* sensitivity = new QWidget;
    auto* sensitivityRow = new QHBoxLayout(sensitivity);
    sensitivityRow->setContentsMargins(0, 0, 0, 0);
    sensitivityRow->addWidget(widgetFor(borrowed(settings_.slSoundSensitivity), style::horizontalSlider), 1);
    sensitivityValue_ = new QLabel;
    sensitivityValue_->setObjectName("sensitivityValue");
    sensitivityValue_->setMinimumWidth(sensitivityValue_->fontMetrics().horizontalAdvance("-160 dB"));
    sensitivityValue_->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    sensitivityRow->addWidget(sensitivityValue_);
    auto showSensitivity = [this, &slider = settings_.slSoundSensitivity] {
        sensitivityValue_->setText(tr("%1 dB").arg(QString::number(slider.doubleValue(), 'f', 0)));
    };
    mirrorControl(sensitivityValue_, settings_.slSoundSensitivity, showSensitivity);
    showSensitivity();
    soundForm->addRow(tr("Sensitivity:"), sensitivity);
    soundForm->addRow(tr("Lamps stay on:"), spinBoxFor(settings_.soundOnPeriod, 0, 1440, 1, 1, tr("min")));
    soundForm->addRow(tr("Trigger delay:"), spinBoxFor(settings_.soundTriggerDelay, 0, 3600, 0.5, 1, tr("s")));
    // The presets, then the bridge's scenes under a title of their own.
    QWidget* triggerPreset = widgetFor(borrowed(settings_.soundTriggerPreset), nullptr);
    triggerPreset->setObjectName("soundTriggerPreset");
    soundForm->addRow(tr("Preset to apply:"), triggerPreset);
    return sound;
}

QWidget* SettingsWindow::buildBridgeTab() {
    auto* bridgeTab = new QWidget;
    bridgeTab->setObjectName("bridge");
    auto* bridgeLayout = new QVBoxLayout(bridgeTab);
    auto* bridgeForm = new QFormLayout;
    QWidget* addressWidget = widgetFor(manualAddress_, style::editField);
    if (auto* edit = qobject_cast<QLineEdit*>(addressWidget)) edit->setPlaceholderText("192.168.1.20 or host:port");
    bridgeForm->addRow(tr("Bridge address:"), addressWidget);
    bridgeForm->addRow(QString(), widgetFor(alwaysUseManual_, style::checkbox));
    bridgeLayout->addLayout(bridgeForm);
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(widgetFor(findBridge_, nullptr));
    buttons->addWidget(widgetFor(pairAgain_, nullptr));
    buttons->addStretch();
    bridgeLayout->addLayout(buttons);
    bridgeLayout->addWidget(widgetFor(foundBridges_, nullptr));
    foundBridges_->setHidden(true);
    bridgeLayout->addWidget(widgetFor(bridgeStatus_, style::message));
    bridgeLayout->addWidget(widgetFor(connection_, style::message));
    auto* trustRow = new QHBoxLayout;
    trustRow->addWidget(widgetFor(trustCertificate_, nullptr));
    trustRow->addStretch();
    bridgeLayout->addLayout(trustRow);
    trustCertificate_->setHidden(true);
    bridgeLayout->addStretch();
    return bridgeTab;
}

void SettingsWindow::connectBridgeCommands() {
    bridgeStatus_->setAlignment(platform::TextField::Alignment::Left);
    manualAddress_->setAction([this](platform::Control*) { storeBridgeSettings(); });
    alwaysUseManual_->setAction([this](platform::Control*) { storeBridgeSettings(); });
    findBridge_->setAction([this](platform::Control*) {
        bridgeStatus_->setStringValue("Looking for bridges…");
        foundBridges_->setHidden(true);
        foundBridges_->removeAllItems();
        const std::vector<std::string> found = bridge_.findBridges();
        if (found.empty()) {
            bridgeStatus_->setStringValue("No bridge found");
        } else if (found.size() == 1) {
            takeBridge(found.front());
        } else {
            // Several answered: the user says which is theirs.
            foundBridges_->addItem("Choose a bridge…", 0);
            for (std::size_t i = 0; i < found.size(); ++i) foundBridges_->addItem(found[i], static_cast<int>(i) + 1);
            foundBridges_->selectItemAtIndex(0);
            foundBridges_->setHidden(false);
            bridgeStatus_->setStringValue("Found " + std::to_string(found.size()) + " bridges: choose yours");
        }
    });
    foundBridges_->setAction([this](platform::Control*) {
        auto chosen = foundBridges_->selectedItem();
        if (!chosen || chosen->tag == 0) return;
        foundBridges_->setHidden(true);
        takeBridge(chosen->title);
    });
    pairAgain_->setAction([this](platform::Control*) {
        const auto before = bridge_.bridgeIP();
        // Paired: a stored name the bridge has not refused.
        const bool wasPaired = bridge_.getUsername() && !bridge_.pairingNeeded();
        if (!storeBridgeSettings()) return;
        bridgeStatus_->setStringValue("Press the link button on the bridge…");
        const bool paired = bridge_.pairAgain();
        bridgeStatus_->setStringValue(paired ? "Paired with the bridge again"
                                             : "Not paired again: the link button was not pressed");
        // A new name for the same bridge changes no lamp: the strips stay.
        // Only a pairing that starts working (or a new bridge, already
        // handled when its address was stored) builds them again.
        const bool sameBridge = before == bridge_.bridgeIP();
        if (paired && sameBridge && !wasPaired && bridgeChanged_) bridgeChanged_();
    });
    connection_->setAlignment(platform::TextField::Alignment::Left);
    trustCertificate_->setAction([this](platform::Control*) {
        const auto refused = bridge_.trustNewCertificate();
        bridgeStatus_->setStringValue(refused ? "Not trusted: " + *refused : "The bridge's new certificate is trusted");
        showConnection();
    });
}

void SettingsWindow::showConnection() {
    const auto failure = bridge_.lastFailure();
    const bool keyChanged = failure && failure->kind == RequestFailure::Kind::KeyChanged;
    const auto encrypted = bridge_.encrypted();
    connection_->setStringValue(keyChanged   ? "The bridge shows a certificate other than the one trusted: nothing is "
                                               "sent to it until you trust the new certificate"
                                : !encrypted ? ""
                                : *encrypted ? "The connection is encrypted (HTTPS, certificate pinned)"
                                             : "The connection is not encrypted: the bridge offers plain HTTP only");
    trustCertificate_->setHidden(!keyChanged);
}

void SettingsWindow::showEvent(QShowEvent* event) {
    // How the bridge is reached is known once it was first asked.
    context_.post([this] { showConnection(); });
    // The desktop's own autostart settings may have changed the entry.
    if (startAtLogin_) {
        QSignalBlocker quiet(startAtLogin_);
        startAtLogin_->setChecked(autostart_->isEnabled());
    }
    QWidget::showEvent(event);
}

void SettingsWindow::keyPressEvent(QKeyEvent* event) {
    // Escape and the desktop's Close keys close the window, as in any dialog
    // (a field that wants one of these keys takes it first).
    if (event->key() == Qt::Key_Escape || event->matches(QKeySequence::Close)) {
        close();
        return;
    }
    QWidget::keyPressEvent(event);
}

void SettingsWindow::setStartAtLogin(bool on) {
    std::string error;
    if (autostart_->setEnabled(on, error)) {
        startAtLoginError_->hide();
        return;
    }
    platform::log("could not change start at login: " + error);
    startAtLoginError_->setText(QString::fromStdString("Could not change start at login: " + error));
    startAtLoginError_->show();
    QSignalBlocker quiet(startAtLogin_);
    startAtLogin_->setChecked(autostart_->isEnabled());
}

void SettingsWindow::setSoundIndicators(QWidget* indicators) {
    soundForm_->insertRow(1, tr("Sound level:"), indicators);
}

void SettingsWindow::takeBridge(const std::string& address) {
    bridge_.setBridgeIP(address);
    bridge_.defaults().setObject(BridgeBridge::lastUsedBridgeIPKey, address);
    manualAddress_->setStringValue(address);
    bridgeStatus_->setStringValue("Bridge at " + address);
    if (bridgeChanged_) bridgeChanged_();
}

void SettingsWindow::showStoredBridgeSettings() {
    auto& defaults = bridge_.defaults();
    manualAddress_->setStringValue(defaults.stringForKey(BridgeBridge::lastUsedBridgeIPKey));
    alwaysUseManual_->setState(defaults.boolForKey(BridgeBridge::alwaysUseManualIPKey) ? 1 : 0);
    showConnection();
}

bool SettingsWindow::storeBridgeSettings() {
    auto& defaults = bridge_.defaults();
    const std::string text = manualAddress_->stringValue();
    const bool always = alwaysUseManual_->state() == 1;
    if (text.empty()) {
        if (always) {
            bridgeStatus_->setStringValue("Enter the bridge's address to always use it");
            return false;
        }
        defaults.setObject(BridgeBridge::alwaysUseManualIPKey, false);
        return true;
    }
    auto address = normalizedBridgeAddress(text);
    if (!address) {
        bridgeStatus_->setStringValue("\"" + text + "\" is not a host name or host:port");
        if (auto current = bridge_.bridgeIP()) manualAddress_->setStringValue(*current);
        return false;
    }
    manualAddress_->setStringValue(*address);
    const auto current = bridge_.bridgeIP();
    const bool changed = !current || *current != *address;
    if (changed) {
        // A new address is taken only when a bridge answers there.
        bridgeStatus_->setStringValue("Checking " + *address + "…");
        if (!answersAt(*address)) {
            bridgeStatus_->setStringValue("No bridge answers at " + *address +
                                          (current ? "; Glowmere keeps using " + *current : std::string()));
            // The field shows the address in use, not the one refused.
            manualAddress_->setStringValue(current ? *current : std::string());
            return false;
        }
    }
    defaults.setObject(BridgeBridge::lastUsedBridgeIPKey, *address);
    defaults.setObject(BridgeBridge::alwaysUseManualIPKey, always);
    if (!changed) {
        bridgeStatus_->setStringValue(always ? "Glowmere will use " + *address : "Saved " + *address);
        return true;
    }
    bridge_.setBridgeIP(*address);
    bridgeStatus_->setStringValue("Glowmere now uses the bridge at " + *address);
    if (bridgeChanged_) bridgeChanged_();
    return true;
}

bool SettingsWindow::answersAt(const std::string& address) {
    // Asked over HTTPS only, learning nothing yet: pairing pins the key.
    if (BridgeIdentity::namesHttps(address))
        return BridgeIdentity(http_).identify(address, {}).outcome == BridgeIdentity::Answer::Outcome::Reached;
    platform::HttpRequest request;
    request.url = "http://" + address + "/api/config";
    request.timeout = std::chrono::milliseconds(3000);
    auto reply = http_.send(request);
    if (!reply || reply->status < 200 || reply->status > 299) return false;
    // A bridge answers in JSON: its configuration, or (when it wants a user
    // name first) a list with an error; a web page or anything else is not one.
    const auto start = reply->body.find_first_not_of(" \t\r\n");
    return start != std::string::npos && (reply->body[start] == '{' || reply->body[start] == '[');
}

}  // namespace glowmere::gui
