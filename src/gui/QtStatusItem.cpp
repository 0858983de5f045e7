#include "gui/QtStatusItem.h"

#include <QAction>
#include <QApplication>
#include <QMenuBar>

#include "gui/Icons.h"
#include "gui/QtText.h"

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
            tray_ = new QSystemTrayIcon(icons::named("lightbulb_trans_Template", Qt::white), qApp);
            tray_->setToolTip(QObject::tr("Glowmere"));
            tray_->setContextMenu(qmenu_);
            tray_->show();
        } else if (fallbackWindow_) {
            qmenu_ = fallbackWindow_->menuBar()->addMenu(QObject::tr("&Glowmere"));
            fallbackWindow_->menuBar()->show();
        }
        rebuild();
    });
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
    if (menu_) {
        const auto items = menu_->items();
        for (std::size_t i = 0; i < items.size(); ++i) {
            if (items[i].separator) {
                qmenu_->addSeparator();
                continue;
            }
            QAction* action = qmenu_->addAction(qs(items[i].title));
            platform::Menu* menu = menu_;
            QObject::connect(action, &QAction::triggered, qmenu_,
                             [this, menu, i] { context_.post([menu, i] { menu->performActionForItemAtIndex(i); }); });
        }
    }
    qmenu_->addSeparator();
    if (extras_.showSettings)
        QObject::connect(qmenu_->addAction(QObject::tr("Settings…")), &QAction::triggered, qmenu_,
                         extras_.showSettings);
    if (extras_.showHelp)
        QObject::connect(qmenu_->addAction(QObject::tr("Help")), &QAction::triggered, qmenu_, extras_.showHelp);
    if (extras_.quit) {
        QAction* quit = qmenu_->addAction(QObject::tr("Quit Glowmere"));
        quit->setShortcut(QKeySequence::Quit);
        QObject::connect(quit, &QAction::triggered, qmenu_, extras_.quit);
    }
}

void QtStatusItem::setTitle(const std::string& title) {
    std::weak_ptr<bool> alive = alive_;
    postToGui([this, alive, title] {
        if (alive.lock() && tray_) tray_->setToolTip(title.empty() ? QObject::tr("Glowmere") : qs(title));
    });
}

void QtStatusItem::setImage(const std::string& name, Size, bool isTemplate) {
    std::weak_ptr<bool> alive = alive_;
    postToGui([this, alive, name, isTemplate] {
        if (!alive.lock() || !tray_) return;
        // A template image takes the colour of the panel's text.
        const QColor colour = isTemplate ? QApplication::palette().color(QPalette::WindowText).lightness() > 128
                                               ? QColor(Qt::white)
                                               : QColor(Qt::black)
                                         : QColor(255, 200, 90);
        QIcon icon = icons::named(name, colour);
        if (!icon.isNull()) tray_->setIcon(icon);
    });
}

}  // namespace glowmere::gui
