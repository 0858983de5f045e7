#include "gui/MainWindowWidget.h"

#include <QEvent>
#include <QGuiApplication>
#include <QMenuBar>
#include <QScreen>
#include <QScrollBar>
#include <QStatusBar>
#include <QToolBar>
#include <QVBoxLayout>
#include <algorithm>

#include "gui/Icons.h"
#include "gui/WindowPlacement.h"

namespace glowmere::gui {

MainWindowWidget::MainWindowWidget(GuiContext& context, std::shared_ptr<platform::View> content, QSize contentSize)
    : contentSize_(contentSize) {
    setWindowTitle(tr("Glowmere"));
    setWindowIcon(icons::application());
    setObjectName("mainWindow");
    commandBar = new CommandBar(this);

    auto* central = new QWidget(this);
    auto* layout = new QVBoxLayout(central);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    scrollArea = new QScrollArea(central);
    scrollArea->setObjectName("stripScroller");
    scrollArea->setFrameShape(QFrame::NoFrame);
    scrollArea->setWidgetResizable(false);
    scrollArea->setFocusPolicy(Qt::NoFocus);
    layout->addWidget(scrollArea, 1);

    surface = new QWidget;
    surface->setObjectName("stripSurface");
    surface->setAutoFillBackground(true);
    QPalette pal = surface->palette();
    pal.setColor(QPalette::Window, QColor(30, 31, 36));
    pal.setColor(QPalette::WindowText, QColor(230, 231, 236));
    surface->setPalette(pal);
    scrollArea->viewport()->setPalette(pal);
    scrollArea->viewport()->setAutoFillBackground(true);
    contentWidget = new ViewWidget(std::move(content), context, surface);
    scrollArea->setWidget(surface);
    scrollArea->viewport()->installEventFilter(this);

    // Over the viewport, so they stay in view while the strips scroll.
    throbber = new Throbber(scrollArea->viewport());
    throbber->resize(36, 36);
    waiting = new QLabel(tr("Looking for your lamps…"), scrollArea->viewport());
    waiting->setObjectName("emptyState");
    waiting->setAlignment(Qt::AlignCenter);
    waiting->setPalette(pal);
    waiting->hide();
    setCentralWidget(central);

    setContentSize(contentSize_);
    resize(preferredSize());
}

QSize MainWindowWidget::preferredSize() const {
    int height = contentSize_.height();
    if (menuWidget() && !menuWidget()->isHidden()) height += menuWidget()->sizeHint().height();
    if (commandBar->toolBar() && !commandBar->toolBar()->isHidden())
        height += commandBar->toolBar()->sizeHint().height();
    if (QStatusBar* bar = findChild<QStatusBar*>(); bar && !bar->isHidden()) height += bar->sizeHint().height();
    return {contentSize_.width(), height};
}

void MainWindowWidget::setContentSize(QSize size) {
    const bool changed = size != contentSize_;
    contentSize_ = size;
    contentWidget->setGeometry(0, 0, size.width(), size.height());
    fitSurface();
    if (!changed) return;
    // Follow the strips, as far as the screen allows; the rest scrolls.
    QSize want = preferredSize();
    if (QScreen* s = screen() ? screen() : QGuiApplication::primaryScreen()) {
        const QSize decoration = frameGeometry().size() - this->size();
        const QRect area = s->availableGeometry();
        want = want.boundedTo(area.size() - decoration);
    }
    resize(want.expandedTo(minimumSizeHint()));
    if (isVisible()) keepOnScreen(this);
}

void MainWindowWidget::fitSurface() {
    const QSize viewport = scrollArea->viewport()->size();
    surface->resize(contentSize_.expandedTo(viewport));
    placeOverlays();
}

void MainWindowWidget::placeOverlays() {
    QWidget* v = scrollArea->viewport();
    throbber->move((v->width() - throbber->width()) / 2, v->height() / 2 - 40);
    waiting->setGeometry(0, v->height() / 2, v->width(), 24);
    waiting->setVisible(throbber->isSpinning());
    throbber->raise();
    waiting->raise();
}

void MainWindowWidget::resizeEvent(QResizeEvent* e) {
    QMainWindow::resizeEvent(e);
    fitSurface();
}

bool MainWindowWidget::eventFilter(QObject* watched, QEvent* e) {
    if (watched == scrollArea->viewport() && e->type() == QEvent::Resize) fitSurface();
    return QMainWindow::eventFilter(watched, e);
}

bool MainWindowWidget::event(QEvent* e) {
    if ((e->type() == QEvent::Show || e->type() == QEvent::Hide) && visibilityChanged)
        visibilityChanged(e->type() == QEvent::Show);
    return QMainWindow::event(e);
}

}  // namespace glowmere::gui
