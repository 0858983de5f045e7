#include "gui/adapters/QtStatusItem.h"

#include <QAction>
#include <QApplication>
#include <QMenuBar>

#include "gui/adapters/QtText.h"
#include "gui/widgets/Icons.h"

namespace glowmere::gui {

using platform::Size;

QtStatusItem::QtStatusItem(GuiContext& context, QMainWindow* fallbackWindow, Extras extras)
    : context_(context), extras_(std::move(extras)), fallbackWindow_(fallbackWindow) {
    std::weak_ptr<bool> alive = alive_;
    postToGui([this, alive] {
        if (!alive.lock()) return;
        if (QSystemTrayIcon::isSystemTrayAvailable()) {
            inTray_ = true;
            qmenu_ = new QMenu;
            tray_ = new QSystemTrayIcon(qApp);
            refreshIcon();
            tray_->setToolTip(trayToolTip());
            tray_->setContextMenu(qmenu_);
            // A left click shows or hides the main window; the menu is on the right.
            QObject::connect(tray_, &QSystemTrayIcon::activated, tray_,
                             [this](QSystemTrayIcon::ActivationReason reason) {
                                 if (reason == QSystemTrayIcon::Trigger && extras_.toggleMainWindow)
                                     extras_.toggleMainWindow();
                             });
            tray_->show();
        } else if (fallbackWindow_) {
            // Beside the window's application menu, which has Settings, Help
            // and Quit (with Ctrl+Q) already.
            qmenu_ = fallbackWindow_->menuBar()->addMenu(QObject::tr("&Lamps"));
            fallbackWindow_->menuBar()->show();
        }
        rebuild();
    });
    if (extras_.lampsMenu) {
        extras_.lampsMenu->setObserver([this, alive](platform::Menu*) {
            postToGui([this, alive] {
                if (alive.lock()) rebuild();
            });
        });
    }
}

QtStatusItem::~QtStatusItem() {
    *alive_ = false;
    alive_.reset();
    if (tray_) tray_->deleteLater();
    if (qmenu_ && inTray_) qmenu_->deleteLater();
}

QMenu* QtStatusItem::shownMenu() const {
    return qmenu_.data();
}

void QtStatusItem::setMenu(platform::Menu* menu) {
    std::weak_ptr<bool> alive = alive_;
    if (menu) {
        menu->setObserver([this, alive](platform::Menu*) {
            postToGui([this, alive] {
                if (alive.lock()) rebuild();
            });
        });
    }
    postToGui([this, alive, menu] {
        if (!alive.lock()) return;
        menu_ = menu;
        rebuild();
    });
}

void QtStatusItem::rebuild() {
    if (!qmenu_) return;
    qmenu_->clear();
    if (extras_.lampsMenu) {
        // Each lamp and group with a tick when on; choosing one switches it.
        QMenu* lamps = qmenu_->addMenu(QObject::tr("Lamps"));
        lamps->setObjectName("lampsMenu");
        const auto items = extras_.lampsMenu->items();
        platform::Menu* menu = extras_.lampsMenu;
        for (std::size_t i = 0; i < items.size(); ++i) {
            if (items[i].separator) {
                lamps->addSeparator();
                continue;
            }
            QAction* action = lamps->addAction(qs(items[i].title));
            if (items[i].checked) {
                action->setCheckable(true);
                action->setChecked(*items[i].checked);
            }
            QObject::connect(action, &QAction::triggered, qmenu_,
                             [this, menu, i] { context_.post([menu, i] { menu->performActionForItemAtIndex(i); }); });
        }
        lamps->setEnabled(!items.empty());
        qmenu_->addSeparator();
    }
    if (menu_) {
        const auto items = menu_->items();
        for (std::size_t i = 0; i < items.size(); ++i) {
            if (items[i].separator) {
                qmenu_->addSeparator();
                continue;
            }
            QAction* action = qmenu_->addAction(qs(items[i].title));
            action->setEnabled(static_cast<bool>(items[i].action));
            if (items[i].checked) {
                action->setCheckable(true);
                action->setChecked(*items[i].checked);
            }
            platform::Menu* menu = menu_;
            QObject::connect(action, &QAction::triggered, qmenu_,
                             [this, menu, i] { context_.post([menu, i] { menu->performActionForItemAtIndex(i); }); });
        }
    }
    if (!inTray_) return;
    qmenu_->addSeparator();
    if (extras_.showSettings)
        QObject::connect(qmenu_->addAction(QObject::tr("Settings…")), &QAction::triggered, qmenu_,
                         extras_.showSettings);
    if (extras_.showHelp)
        QObject::connect(qmenu_->addAction(QObject::tr("Help")), &QAction::triggered, qmenu_, extras_.showHelp);
    if (extras_.quit) {
        QAction* quit = qmenu_->addAction(QObject::tr("Quit Glowmere"));
        QObject::connect(quit, &QAction::triggered, qmenu_, extras_.quit);
    }
}

void QtStatusItem::setTitle(const std::string& title) {
    std::weak_ptr<bool> alive = alive_;
    postToGui([this, alive, title] {
        if (!alive.lock()) return;
        toolTip_ = title.empty() ? QObject::tr("Glowmere") : qs(title);
        if (tray_) tray_->setToolTip(trayToolTip());
    });
}

void QtStatusItem::setImage(const std::string& name, Size, bool isTemplate) {
    std::weak_ptr<bool> alive = alive_;
    postToGui([this, alive, name, isTemplate] {
        if (!alive.lock()) return;
        imageName_ = name;
        templateImage_ = isTemplate;
        refreshIcon();
    });
}

void QtStatusItem::refreshIcon() {
    if (!tray_) return;
    QIcon icon;
    if (templateImage_ && imageName_ == "lightbulb_trans_Template") {
        // The panel's colour is not known: a light bulb with a dark halo
        // reads on both light and dark panels.
        icon = icons::trayBulb(Qt::white, !problem_.isEmpty());
    } else {
        icon = icons::named(imageName_, QColor(255, 200, 90));
    }
    if (!icon.isNull()) tray_->setIcon(icon);
}

void QtStatusItem::showProblem(const QString& problem) {
    if (problem == problem_) return;
    problem_ = problem;
    if (!tray_) return;
    tray_->setToolTip(trayToolTip());
    refreshIcon();
}

void QtStatusItem::showNote(const QString& note) {
    if (note == note_) return;
    note_ = note;
    if (tray_) tray_->setToolTip(trayToolTip());
}

QString QtStatusItem::trayToolTip() const {
    QString text = toolTip_;
    for (const QString& line : {problem_, note_})
        if (!line.isEmpty()) text += "\n" + line;
    return text;
}

}  // namespace glowmere::gui
