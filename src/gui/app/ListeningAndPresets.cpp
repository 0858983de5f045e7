#include "gui/app/ListeningAndPresets.h"

#include <QAction>
#include <QDBusConnection>
#include <QMediaDevices>
#include <QMenu>
#include <QPointer>

#include "controller/ControllerSettings.h"
#include "controller/ManualController.h"
#include "controller/MicListener.h"
#include "controls/SettingsWindowController.h"
#include "gui/adapters/QtAudioInput.h"
#include "gui/adapters/SessionBusNotifications.h"
#include "gui/adapters/SleepWatcher.h"
#include "gui/app/GuiContext.h"
#include "gui/widgets/ControlWidgets.h"
#include "gui/widgets/SoundIndicators.h"
#include "gui/windows/CommandBar.h"
#include "gui/windows/ListenCountdownPanel.h"
#include "gui/windows/PresetPanels.h"
#include "gui/windows/SettingsWindow.h"
#include "platform/Log.h"
#include "platform/Ui.h"
#include "schedules/ScheduleManager.h"

namespace glowmere::gui {

ListeningAndPresets::ListeningAndPresets(GuiContext& context, ManualController& manual, ScheduleManager& schedules,
                                         ControllerSettings& settings, platform::Alerts& alerts, QWidget* mainWindow,
                                         SettingsWindow& settingsWindow)
    : context_(context),
      manual_(manual),
      audioInput_(std::make_unique<QtAudioInput>()),
      notifications_(std::make_unique<SessionBusNotifications>()),
      listenButton_(std::make_shared<platform::Button>("Listen")),
      indicators_(std::make_unique<SettingsWindowController>(settings.slSoundSensitivity)),
      micListener_(std::make_unique<MicListener>(context.loop())),
      presetPanels_(std::make_unique<PresetPanels>(manual, context, mainWindow)),
      countdownPanel_(std::make_unique<ListenCountdownPanel>(manual, context)) {
    MicListener& listener = *micListener_;
    listener.setAudioInput(audioInput_.get());
    listener.setSensitivitySlider(&settings.slSoundSensitivity);
    listener.setSoundTriggerDelayField(&settings.soundTriggerDelay);
    listener.setMainToolbarListenButton(listenButton_.get());
    listener.setManualController(&manual);
    listener.setDelegate(indicators_.get());
    listener.setNotificationCenter(notifications_.get());
    indicators_->setMicListener(&listener);
    soundIndicators_ = new SoundIndicators(*indicators_, context);
    settingsWindow.setSoundIndicators(soundIndicators_);

    manual.setAlerts(&alerts);
    manual.setPresetOption1Panel(&presetPanels_->questionPanel());
    manual.setPresetNamingPanel(&presetPanels_->namingPanel());
    manual.setPresetManagementPanel(&presetPanels_->managementPanel());
    manual.setPresetManagementTable(&presetPanels_->managementTable());
    manual.setMicListener(&listener);
    manual.setListenToolbarButton(listenButton_.get());
    manual.setListenOption1Panel(&countdownPanel_->window());
    listenButton_->setAction([&manual](platform::Control*) { manual.ListenStep1(); });

    // A listening schedule item switches the same button and listener.
    schedules.setMicListener(&listener);
    schedules.setMainToolbarListenButton(listenButton_.get());
    sleepWatcher_ = new SleepWatcher(
        QDBusConnection::systemBus(), [&context, &schedules] { context.post([&schedules] { schedules.makeWake(); }); },
        this);

    microphonePresent_ = QtAudioInput::hasInput();
    auto* devices = new QMediaDevices(this);
    QObject::connect(devices, &QMediaDevices::audioInputsChanged, this,
                     [this] { setMicrophonePresent(QtAudioInput::hasInput()); });
}

void ListeningAndPresets::setMicrophonePresent(bool present) {
    if (present != microphonePresent_)
        platform::log(present ? "a microphone is there: listening is possible" : "no microphone: Listen is disabled");
    microphonePresent_ = present;
    showMicrophonePresence();
}

void ListeningAndPresets::showMicrophonePresence() {
    const QString missing = tr("No microphone was found. Listen is available once one is connected.");
    // Listening switched on without one (by a schedule, say) can still be
    // switched off.
    if (listenAction_) {
        listenAction_->setEnabled(microphonePresent_ || listenAction_->isChecked());
        listenAction_->setToolTip(microphonePresent_ ? QString() : missing);
    }
    if (startListening_) {
        startListening_->setEnabled(microphonePresent_);
        startListening_->setToolTip(microphonePresent_ ? QString() : missing);
    }
}

ListeningAndPresets::~ListeningAndPresets() {
    alive_.reset();
    manual_.presetPullDown().setObserver({});
    delete soundIndicators_;
    listenButton_->setAction({});
    // The listener stops its recorder on the audio thread, which must still run.
    micListener_.reset();
}

void ListeningAndPresets::awakeFromNib() {
    micListener_->awakeFromNib();
}

namespace {

// Shows a pull-down menu of the logic (its first item is the button's title
// and not listed); choosing an item runs its action on the controller thread,
// unless the menu changed meanwhile.
void mirrorPullDown(QMenu* menu, platform::Menu& pullDown, GuiContext& context, QList<QAction*> leading,
                    std::weak_ptr<int> alive) {
    auto rebuild = [menu, &pullDown, &context, leading] {
        menu->clear();
        menu->addActions(leading);
        const auto items = pullDown.items();
        for (std::size_t i = 1; i < items.size(); ++i) {
            const auto& item = items[i];
            if (item.separator) {
                menu->addSeparator();
                continue;
            }
            QAction* action = menu->addAction(QString::fromStdString(item.title));
            action->setEnabled(static_cast<bool>(item.action));
            if (item.checked) {
                action->setCheckable(true);
                action->setChecked(*item.checked);
            }
            QObject::connect(action, &QAction::triggered, menu, [&pullDown, &context, i, title = item.title] {
                context.post([&pullDown, i, title] {
                    const auto now = pullDown.items();
                    if (i < now.size() && now[i].title == title) pullDown.performActionForItemAtIndex(i);
                });
            });
        }
    };
    pullDown.setObserver([menu = QPointer<QMenu>(menu), rebuild, alive](platform::Menu*) {
        postToGui([menu, rebuild, alive] {
            if (menu && alive.lock()) rebuild();
        });
    });
    rebuild();
}

}  // namespace

void ListeningAndPresets::connectCommandBar(CommandBar& bar) {
    ManualController* manual = &manual_;
    auto* presets = new QMenu(bar.toolBar());
    presets->setObjectName("presetsMenu");
    // Not the menu's: rebuilding the menu deletes the actions it owns.
    auto* save = new QAction(tr("Save preset…"), this);
    save->setObjectName("savePreset");
    QObject::connect(save, &QAction::triggered, this,
                     [this, manual] { context_.post([manual] { manual->savePresetStep1(); }); });
    mirrorPullDown(presets, manual_.presetPullDown(), context_, {save}, alive_);
    bar.setMenu(CommandBar::Command::Presets, presets);

    // The Listen switch shows the listen button, which a schedule or the bus
    // may also switch.
    QAction* listen = bar.action(CommandBar::Command::Listen);
    listen->setCheckable(true);
    bar.connect(CommandBar::Command::Listen, [this, listen] {
        const bool on = listen->isChecked();
        context_.forwarder().forward(
            listenButton_, [on](platform::Control& c) { static_cast<platform::Button&>(c).setState(on ? 1 : 0); });
    });
    mirrorControl(listen, *listenButton_, [this, listen, button = listenButton_] {
        const bool on = button->state() == 1;
        listen->setChecked(on);
        showMicrophonePresence();
        emit listenButtonChanged(on);
    });
    listen->setChecked(listenButton_->state() == 1);
    listenAction_ = listen;

    QMenu* commands = bar.menu();
    commands->addSeparator();
    QAction* start = commands->addAction(tr("Start listening"));
    QAction* stop = commands->addAction(tr("Stop listening"));
    QObject::connect(start, &QAction::triggered, commands,
                     [this, manual] { context_.post([manual] { manual->StartListenMenuItem(); }); });
    QObject::connect(stop, &QAction::triggered, commands,
                     [this, manual] { context_.post([manual] { manual->StopListenMenuItem(); }); });
    startListening_ = start;
    showMicrophonePresence();
}

}  // namespace glowmere::gui
