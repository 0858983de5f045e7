#include "gui/windows/MainWindowWidget.h"

#include <QCloseEvent>
#include <QEvent>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QMenuBar>
#include <QScreen>
#include <QScrollBar>
#include <QStatusBar>
#include <QStyle>
#include <QToolBar>
#include <QVBoxLayout>
#include <QWheelEvent>
#include <algorithm>

#include "gui/widgets/Icons.h"
#include "gui/widgets/WindowPlacement.h"

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

    layout->addWidget(buildBanner(central));
    layout->addWidget(buildStripArea(central, context, std::move(content)), 1);
    buildEmptyState();
    setCentralWidget(central);
    buildStatusLine();

    showBridgeState(BridgeState::LookingForBridge, {});
    setContentSize(contentSize_);
    resize(preferredSize());
}

QWidget* MainWindowWidget::buildBanner(QWidget* parent) {
    banner = new QFrame(parent);
    banner->setObjectName("bridgeBanner");
    banner->setAutoFillBackground(true);
    QPalette warning = banner->palette();
    warning.setColor(QPalette::Window, QColor(196, 60, 52));
    warning.setColor(QPalette::WindowText, Qt::white);
    banner->setPalette(warning);
    auto* bannerLayout = new QHBoxLayout(banner);
    bannerLayout->setContentsMargins(10, 6, 10, 6);
    bannerText = new QLabel(banner);
    bannerText->setObjectName("bridgeBannerText");
    bannerText->setWordWrap(true);
    QFont bold = bannerText->font();
    bold.setBold(true);
    bannerText->setFont(bold);
    retryButton = new QPushButton(tr("Retry"), banner);
    bridgeSettingsButton = new QPushButton(tr("Bridge settings"), banner);
    bannerAddressButton = new QPushButton(tr("Enter address…"), banner);
    for (QPushButton* b : {retryButton, bannerAddressButton, bridgeSettingsButton}) b->setAccessibleName(b->text());
    bannerLayout->addWidget(bannerText, 1);
    bannerLayout->addWidget(retryButton);
    bannerLayout->addWidget(bannerAddressButton);
    bannerLayout->addWidget(bridgeSettingsButton);
    banner->hide();
    return banner;
}

QWidget* MainWindowWidget::buildStripArea(QWidget* parent, GuiContext& context,
                                          std::shared_ptr<platform::View> content) {
    scrollArea = new QScrollArea(parent);
    scrollArea->setObjectName("stripScroller");
    scrollArea->setFrameShape(QFrame::NoFrame);
    scrollArea->setWidgetResizable(false);
    scrollArea->setFocusPolicy(Qt::NoFocus);

    // The surface takes the desktop's palette (light or dark); the strips
    // keep their own dark panels.
    surface = new QWidget;
    surface->setObjectName("stripSurface");
    contentWidget = new ViewWidget(std::move(content), context, surface);
    shade = new QWidget(surface);
    shade->setObjectName("stripShade");
    shade->setAutoFillBackground(true);
    QPalette veil = shade->palette();
    QColor tint = veil.color(QPalette::Window);
    tint.setAlpha(170);
    veil.setColor(QPalette::Window, tint);
    shade->setPalette(veil);
    shade->hide();
    scrollArea->setWidget(surface);
    scrollArea->viewport()->installEventFilter(this);

    return scrollArea;
}

void MainWindowWidget::buildEmptyState() {
    // Over the viewport, so they stay in view while the strips scroll.
    throbber = new Throbber(scrollArea->viewport());
    throbber->resize(36, 36);
    emptyState = new QWidget(scrollArea->viewport());
    emptyState->setObjectName("emptyState");
    auto* emptyLayout = new QVBoxLayout(emptyState);
    emptyText = new QLabel(tr("Looking for your bridge…"), emptyState);
    emptyText->setObjectName("emptyStateText");
    emptyText->setAlignment(Qt::AlignCenter);
    emptyText->setWordWrap(true);
    emptyDetail = new QLabel(emptyState);
    emptyDetail->setObjectName("emptyStateDetail");
    emptyDetail->setAlignment(Qt::AlignCenter);
    emptyDetail->setWordWrap(true);
    emptyDetail->setForegroundRole(QPalette::PlaceholderText);
    emptySearchButton = new QPushButton(CommandBar::label(CommandBar::Command::SearchForNewBulbs), emptyState);
    emptySearchButton->setAccessibleName(emptySearchButton->text());
    emptySearchButton->hide();
    emptyPairButton = new QPushButton(tr("Pair with the bridge"), emptyState);
    emptyPairButton->setAccessibleName(emptyPairButton->text());
    emptyPairButton->hide();
    // No bridge found: search again, or give its address.
    auto* noBridgeButtons = new QHBoxLayout;
    searchAgainButton = new QPushButton(tr("Search again"), emptyState);
    enterAddressButton = new QPushButton(tr("Enter address…"), emptyState);
    for (QPushButton* b : {searchAgainButton, enterAddressButton}) {
        b->setAccessibleName(b->text());
        b->hide();
    }
    searchAgainButton->setDefault(true);
    noBridgeButtons->addStretch();
    noBridgeButtons->addWidget(searchAgainButton);
    noBridgeButtons->addWidget(enterAddressButton);
    noBridgeButtons->addStretch();
    emptyLayout->addWidget(emptyText);
    emptyLayout->addWidget(emptyDetail);
    emptyLayout->addWidget(emptySearchButton, 0, Qt::AlignHCenter);
    emptyLayout->addWidget(emptyPairButton, 0, Qt::AlignHCenter);
    emptyLayout->addLayout(noBridgeButtons);
}

void MainWindowWidget::buildStatusLine() {
    // The status line: error replies to the user's changes, for a while.
    statusBar()->setObjectName("statusLine");
    statusBar()->setSizeGripEnabled(true);
    presetInEffectLabel = new QLabel(statusBar());
    presetInEffectLabel->setObjectName("presetInEffect");
    presetInEffectLabel->setAccessibleName(tr("Preset in effect"));
    presetInEffectLabel->setTextFormat(Qt::PlainText);
    presetInEffectLabel->hide();
    statusBar()->addPermanentWidget(presetInEffectLabel);
}

QSize MainWindowWidget::preferredSize() const {
    int height = contentSize_.height();
    if (menuWidget() && !menuWidget()->isHidden()) height += menuWidget()->sizeHint().height();
    if (commandBar->toolBar() && !commandBar->toolBar()->isHidden())
        height += commandBar->toolBar()->sizeHint().height();
    if (!banner->isHidden()) height += banner->sizeHint().height();
    if (QStatusBar* bar = findChild<QStatusBar*>(); bar && !bar->isHidden()) height += bar->sizeHint().height();
    // Never narrower than the command bar, so no command hides behind its
    // overflow arrow while there are only a few strips.
    int width = contentSize_.width();
    if (commandBar->toolBar() && !commandBar->toolBar()->isHidden())
        width = std::max(width, commandBar->toolBar()->sizeHint().width());
    return {width, height};
}

void MainWindowWidget::setContentSize(QSize size) {
    const bool changed = size != contentSize_;
    contentSize_ = size;
    contentWidget->setGeometry(0, 0, size.width(), size.height());
    fitSurface();
    if (changed) fitWindow();
}

void MainWindowWidget::fitWindow() {
    // Follow the strips, as far as the screen allows; the rest scrolls.
    QSize want = preferredSize();
    if (QScreen* s = screen() ? screen() : QGuiApplication::primaryScreen()) {
        const QSize decoration = frameGeometry().size() - this->size();
        const QRect area = s->availableGeometry();
        // Strips that do not all fit scroll sideways: the bar gets its own
        // room below them rather than taking it from them (which would
        // make them scroll up and down as well).
        if (want.width() > area.width() - decoration.width())
            want.rheight() += scrollArea->horizontalScrollBar()->sizeHint().height();
        want = want.boundedTo(area.size() - decoration);
    }
    resize(want.expandedTo(minimumSizeHint()));
    if (isVisible()) keepOnScreen(this);
}

void MainWindowWidget::fitSurface() {
    const QSize viewport = scrollArea->viewport()->size();
    surface->resize(contentSize_.expandedTo(viewport));
    shade->setGeometry(surface->rect());
    placeOverlays();
}

void MainWindowWidget::placeOverlays() {
    QWidget* v = scrollArea->viewport();
    throbber->move((v->width() - throbber->width()) / 2, v->height() / 2 - 48);
    const int width = std::min(v->width() - 20, 420);
    const int height =
        emptyState->heightForWidth(width) > 0 ? emptyState->heightForWidth(width) : emptyState->sizeHint().height();
    // Below the throbber, and inside the viewport while it is short.
    const int top = std::max(0, std::min(v->height() / 2 - 4, v->height() - height));
    emptyState->setGeometry((v->width() - width) / 2, top, width, height);
    throbber->raise();
    emptyState->raise();
}

void MainWindowWidget::showBridgeState(BridgeState state, const QString& address) {
    state_ = state;
    const bool unreachable = state == BridgeState::NotReachable;
    bannerText->setText(tr("Bridge not reachable at %1").arg(address.isEmpty() ? tr("(no address)") : address));
    if (banner->isHidden() == unreachable) {
        // The banner comes and goes above the strips: the window grows and
        // shrinks with it, so the strips are never cut off by it.
        banner->setVisible(unreachable);
        if (!isMaximized() && !isFullScreen()) fitWindow();
    }
    // With strips on the surface they stay, greyed and out of reach, until
    // the bridge answers again; a change made meanwhile would be lost.
    // A veil over the surface greys them and keeps the pointer off them.
    const bool greyed = state != BridgeState::Ready;
    contentWidget->setEnabled(!greyed);
    shade->setVisible(greyed);
    shade->raise();
    // The empty states, when no strips are there to grey.
    const bool empty = contentWidget->findChildren<StripViewWidget*>().isEmpty();
    QString detail;
    switch (state) {
        case BridgeState::LookingForBridge:
            emptyText->setText(tr("Looking for your bridge…"));
            detail = discoveryStep_;
            break;
        case BridgeState::NoBridgeFound:
            emptyText->setText(tr("No bridge found on this network"));
            detail =
                tr("Check that the bridge is plugged in, its lights are on and it is connected to the same "
                   "router as this computer, then search again. If you know its address, enter it.");
            break;
        case BridgeState::NotReachable:
            emptyText->setText(tr("Bridge not reachable at %1.\nGlowmere keeps trying.").arg(address));
            break;
        case BridgeState::NotPaired:
            emptyText->setText(tr("Glowmere is not paired with your bridge yet."));
            break;
        case BridgeState::NoLamps:
            emptyText->setText(
                tr("Your bridge has no lamps yet.\nNew lamps show up here once the bridge has found "
                   "them."));
            break;
        case BridgeState::Ready:
            break;
    }
    emptyDetail->setText(detail);
    emptyDetail->setVisible(!detail.isEmpty());
    emptySearchButton->setVisible(state == BridgeState::NoLamps);
    emptyPairButton->setVisible(state == BridgeState::NotPaired);
    searchAgainButton->setVisible(state == BridgeState::NoBridgeFound);
    enterAddressButton->setVisible(state == BridgeState::NoBridgeFound);
    emptyState->setVisible(state != BridgeState::Ready && (empty || state == BridgeState::NoLamps));
    placeOverlays();
}

void MainWindowWidget::showDiscoveryStep(const QString& step) {
    discoveryStep_ = step;
    if (state_ != BridgeState::LookingForBridge) return;
    emptyDetail->setText(step);
    emptyDetail->setVisible(!step.isEmpty());
    placeOverlays();
}

void MainWindowWidget::showStatusMessage(const QString& message, int milliseconds) {
    statusBar()->showMessage(message, milliseconds);
}

void MainWindowWidget::showPresetInEffect(const QString& name) {
    presetInEffectLabel->setText(name.isEmpty() ? QString() : tr("Preset: %1").arg(name));
    presetInEffectLabel->setVisible(!name.isEmpty());
}

QString MainWindowWidget::presetInEffect() const {
    return presetInEffectLabel->text();
}

void MainWindowWidget::resizeEvent(QResizeEvent* e) {
    QMainWindow::resizeEvent(e);
    fitSurface();
}

bool MainWindowWidget::eventFilter(QObject* watched, QEvent* e) {
    if (watched == scrollArea->viewport() && e->type() == QEvent::Resize) fitSurface();
    if (watched == scrollArea->viewport() && e->type() == QEvent::Wheel) {
        // The strips stand side by side: the wheel scrolls sideways, about
        // one strip a notch.
        auto* wheel = static_cast<QWheelEvent*>(e);
        const QPoint delta = wheel->angleDelta();
        const int notches = delta.x() != 0 ? delta.x() : delta.y();
        QScrollBar* bar = scrollArea->horizontalScrollBar();
        bar->setValue(bar->value() - notches * 95 / 120);
        return true;
    }
    return QMainWindow::eventFilter(watched, e);
}

void MainWindowWidget::closeEvent(QCloseEvent* e) {
    QMainWindow::closeEvent(e);
    if (e->isAccepted() && closedByUser) closedByUser();
}

bool MainWindowWidget::event(QEvent* e) {
    if ((e->type() == QEvent::Show || e->type() == QEvent::Hide) && visibilityChanged)
        visibilityChanged(e->type() == QEvent::Show);
    return QMainWindow::event(e);
}

}  // namespace glowmere::gui
