#include "gui/MainWindowWidget.h"

#include <QEvent>

#include "gui/Icons.h"

namespace glowmere::gui {

MainWindowWidget::MainWindowWidget(GuiContext& context, std::shared_ptr<platform::View> content) {
    setWindowTitle(tr("Glowmere"));
    setWindowIcon(icons::application());
    auto* central = new QWidget(this);
    central->setObjectName("stripSurface");
    central->setAutoFillBackground(true);
    QPalette pal = central->palette();
    pal.setColor(QPalette::Window, QColor(30, 31, 36));
    pal.setColor(QPalette::WindowText, QColor(230, 231, 236));
    central->setPalette(pal);
    contentWidget = new ViewWidget(std::move(content), context, central);
    throbber = new Throbber(central);
    throbber->resize(36, 36);
    waiting = new QLabel(tr("Looking for your lamps…"), central);
    waiting->setAlignment(Qt::AlignCenter);
    waiting->hide();
    setCentralWidget(central);
}

void MainWindowWidget::placeOverlays() {
    QWidget* c = centralWidget();
    contentWidget->setGeometry(0, 0, c->width(), c->height());
    throbber->move((c->width() - throbber->width()) / 2, c->height() / 2 - 40);
    waiting->setGeometry(0, c->height() / 2, c->width(), 24);
    waiting->setVisible(throbber->isSpinning());
    throbber->raise();
    waiting->raise();
}

void MainWindowWidget::resizeEvent(QResizeEvent* e) {
    QMainWindow::resizeEvent(e);
    placeOverlays();
}

bool MainWindowWidget::event(QEvent* e) {
    if ((e->type() == QEvent::Show || e->type() == QEvent::Hide) && visibilityChanged)
        visibilityChanged(e->type() == QEvent::Show);
    return QMainWindow::event(e);
}

}  // namespace glowmere::gui
