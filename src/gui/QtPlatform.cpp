#include "gui/QtPlatform.h"

#include <QAction>
#include <QApplication>
#include <QDesktopServices>
#include <QEvent>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QPainter>
#include <QPushButton>
#include <QScreen>
#include <QSystemTrayIcon>
#include <QTimer>
#include <QUrl>
#include <QVBoxLayout>
#include <chrono>
#include <future>

#include "gui/ControlWidgets.h"
#include "gui/Icons.h"
#include "gui/ViewWidgets.h"

namespace glowmere::gui {

using platform::Point;
using platform::Rect;
using platform::Size;
using platform::View;

namespace {
QString qs(const std::string& text) {
    return QString::fromStdString(text);
}
}  // namespace

// ---- Throbber ----

Throbber::Throbber(QWidget* parent) : QWidget(parent), timer_(new QTimer(this)) {
    timer_->setInterval(80);
    connect(timer_, &QTimer::timeout, this, [this] {
        step_ = (step_ + 1) % 12;
        update();
    });
    hide();
}

void Throbber::setSpinning(bool spinning) {
    if (spinning) {
        timer_->start();
        show();
    } else {
        timer_->stop();
        hide();
    }
}

bool Throbber::isSpinning() const {
    return timer_->isActive();
}

void Throbber::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    p.translate(width() / 2.0, height() / 2.0);
    const double r = std::min(width(), height()) / 2.0 - 2;
    for (int i = 0; i < 12; ++i) {
        const int age = (step_ - i + 12) % 12;
        QColor c = palette().color(QPalette::WindowText);
        c.setAlphaF(static_cast<float>(1.0 - age / 13.0));
        p.setPen(QPen(c, std::max(2.0, r / 5), Qt::SolidLine, Qt::RoundCap));
        p.drawLine(QPointF(0, -r * 0.5), QPointF(0, -r));
        p.rotate(30);
    }
}

void QtProgressIndicator::startAnimation() {
    animating_ = true;
    QPointer<Throbber> t = throbber_;
    postToGui([t] {
        if (t) t->setSpinning(true);
    });
}

void QtProgressIndicator::stopAnimation() {
    animating_ = false;
    QPointer<Throbber> t = throbber_;
    postToGui([t] {
        if (t) t->setSpinning(false);
    });
}

// ---- QtWindow ----

namespace {
void centerOnScreen(QWidget* w) {
    QScreen* screen = w->screen() ? w->screen() : QGuiApplication::primaryScreen();
    if (!screen) return;
    QRect frame = w->frameGeometry();
    frame.moveCenter(screen->availableGeometry().center());
    w->move(frame.topLeft());
}

void bringToFront(QWidget* w) {
    w->show();
    w->raise();
    w->activateWindow();
}
}  // namespace

void QtWindow::center() {
    QPointer<QWidget> w = widget_;
    postToGui([w] {
        if (w) centerOnScreen(w);
    });
}

void QtWindow::makeKeyAndOrderFront() {
    visible_ = true;
    QPointer<QWidget> w = widget_;
    postToGui([w] {
        if (w) bringToFront(w);
    });
}

void QtWindow::orderOut() {
    visible_ = false;
    QPointer<QWidget> w = widget_;
    postToGui([w] {
        if (w) w->hide();
    });
}

// ---- QtAlerts ----

platform::AlertResponse QtAlerts::runModal(const platform::AlertSpec& alert) {
    auto answer = std::make_shared<std::promise<platform::AlertResponse>>();
    auto future = answer->get_future();
    ++shown_;
    auto show = [alert, answer] {
        QMessageBox box;
        box.setIcon(QMessageBox::Warning);
        box.setWindowTitle(QObject::tr("Glowmere"));
        box.setText(qs(alert.message));
        box.setInformativeText(qs(alert.informativeText));
        QPushButton* def = box.addButton(qs(alert.defaultButton), QMessageBox::AcceptRole);
        QPushButton* alt =
            alert.alternateButton.empty() ? nullptr : box.addButton(qs(alert.alternateButton), QMessageBox::ActionRole);
        QPushButton* other =
            alert.otherButton.empty() ? nullptr : box.addButton(qs(alert.otherButton), QMessageBox::RejectRole);
        box.setDefaultButton(def);
        box.exec();
        auto response = platform::AlertResponse::Default;
        if (alt && box.clickedButton() == alt) response = platform::AlertResponse::Alternate;
        if (other && box.clickedButton() == other) response = platform::AlertResponse::Other;
        answer->set_value(response);
    };
    if (onGuiThread()) {
        show();
        return future.get();
    }
    postToGui(show);
    // The controller thread waits, never the Qt thread; at shutdown nobody
    // will answer, so the wait gives up then.
    while (future.wait_for(std::chrono::milliseconds(50)) != std::future_status::ready)
        if (shuttingDown_) return platform::AlertResponse::Default;
    return future.get();
}

void QtAlerts::beep() {
    postToGui([] { QApplication::beep(); });
}

void QtAlerts::shutDown() {
    shuttingDown_ = true;
}

void QtTabView::selectTabViewItemWithIdentifier(const std::string& identifier) {
    QPointer<QTabWidget> tabs = tabs_;
    postToGui([tabs, id = qs(identifier)] {
        if (!tabs) return;
        for (int i = 0; i < tabs->count(); ++i)
            if (tabs->widget(i)->objectName() == id) tabs->setCurrentIndex(i);
    });
}

// ---- main window ----

class MainWindowWidget : public QMainWindow {
public:
    MainWindowWidget(GuiContext& context, std::shared_ptr<View> content) {
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
    void placeOverlays() {
        QWidget* c = centralWidget();
        contentWidget->setGeometry(0, 0, c->width(), c->height());
        throbber->move((c->width() - throbber->width()) / 2, c->height() / 2 - 40);
        waiting->setGeometry(0, c->height() / 2, c->width(), 24);
        waiting->setVisible(throbber->isSpinning());
        throbber->raise();
        waiting->raise();
    }
    ViewWidget* contentWidget;
    Throbber* throbber;
    QLabel* waiting;
    std::function<void(bool)> visibilityChanged;

protected:
    void resizeEvent(QResizeEvent* e) override {
        QMainWindow::resizeEvent(e);
        placeOverlays();
    }
    bool event(QEvent* e) override {
        if ((e->type() == QEvent::Show || e->type() == QEvent::Hide) && visibilityChanged)
            visibilityChanged(e->type() == QEvent::Show);
        return QMainWindow::event(e);
    }
};

QtMainWindow::QtMainWindow(GuiContext& context)
    : context_(context), content_(std::make_shared<View>("content", Rect{{0, 0}, {500, contentHeight}})) {
    frame_ = Rect{{0, 0}, {500, contentHeight}};
    window_ = new MainWindowWidget(context, content_);
    window_->visibilityChanged = [this](bool shown) { visible_ = shown; };
    throbber_ = std::make_unique<QtProgressIndicator>(window_->throbber);
    QObject::connect(window_->throbber, &QObject::objectNameChanged, [] {});
    window_->setFixedSize(500, static_cast<int>(contentHeight) + window_->menuBar()->sizeHint().height() * 0);
    window_->placeOverlays();
    // The wait label follows the throbber.
    auto* watcher = new QTimer(window_);
    watcher->setInterval(100);
    QObject::connect(watcher, &QTimer::timeout, window_, [w = window_.data()] {
        if (w->waiting->isVisible() != w->throbber->isSpinning()) w->placeOverlays();
    });
    watcher->start();
    loaded_ = true;
}

QtMainWindow::~QtMainWindow() {
    if (window_) delete window_.data();
}

QMainWindow* QtMainWindow::widget() const {
    return window_.data();
}
ViewWidget* QtMainWindow::contentWidget() const {
    return window_ ? window_->contentWidget : nullptr;
}

void QtMainWindow::center() {
    QPointer<MainWindowWidget> w = window_;
    postToGui([w] {
        if (w) centerOnScreen(w);
    });
}

void QtMainWindow::makeKeyAndOrderFront() {
    visible_ = true;
    QPointer<MainWindowWidget> w = window_;
    postToGui([w] {
        if (w) bringToFront(w);
    });
}

void QtMainWindow::orderOut() {
    visible_ = false;
    QPointer<MainWindowWidget> w = window_;
    postToGui([w] {
        if (w) w->hide();
    });
}

Rect QtMainWindow::frame() const {
    std::lock_guard g(mutex_);
    return frame_;
}

void QtMainWindow::setFrame(Rect frame, bool) {
    {
        std::lock_guard g(mutex_);
        // The height is the strips' and stays; the width follows the strips.
        frame.size.height = contentHeight;
        frame_ = frame;
    }
    content_->setFrameSize(frame.size);
    QPointer<MainWindowWidget> w = window_;
    const int width = static_cast<int>(std::lround(frame.size.width));
    postToGui([w, width] {
        if (!w) return;
        const int extra = w->menuWidget() && w->menuWidget()->isVisible() ? w->menuWidget()->sizeHint().height() : 0;
        w->setFixedSize(width, static_cast<int>(contentHeight) + extra);
        w->placeOverlays();
    });
}

// ---- popover ----

class PopoverFrame : public QFrame {
public:
    PopoverFrame(bool transient) : QFrame(nullptr, transient ? Qt::Popup : Qt::Tool | Qt::FramelessWindowHint) {
        setFrameShape(QFrame::StyledPanel);
        setAttribute(Qt::WA_DeleteOnClose, false);
        setAutoFillBackground(true);
    }
    std::function<void()> onUserHide;
    bool programmaticHide = false;
    QPointer<ViewWidget> content;

protected:
    void hideEvent(QHideEvent* e) override {
        QFrame::hideEvent(e);
        if (!programmaticHide && onUserHide) onUserHide();
        programmaticHide = false;
    }
};

QtPopover::QtPopover(GuiContext& context) : context_(context) {}

QtPopover::~QtPopover() {
    std::lock_guard g(state_->mutex);
    state_->delegate = nullptr;
}

void QtPopover::setContentView(std::shared_ptr<View> view) {
    std::lock_guard g(state_->mutex);
    state_->content = std::move(view);
}

View* QtPopover::contentView() const {
    std::lock_guard g(state_->mutex);
    return state_->content.get();
}

void QtPopover::setContentSize(Size size) {
    std::lock_guard g(state_->mutex);
    state_->size = size;
    if (state_->content) state_->content->setFrameSize(size);
}

void QtPopover::setBehavior(Behavior behavior) {
    std::lock_guard g(state_->mutex);
    state_->behavior = behavior;
}

void QtPopover::setDelegate(platform::PopoverDelegate* delegate) {
    std::lock_guard g(state_->mutex);
    state_->delegate = delegate;
}

bool QtPopover::isShown() const {
    std::lock_guard g(state_->mutex);
    return state_->shown;
}

void QtPopover::dismissedByUser(GuiContext& context, std::weak_ptr<State> weak, QtPopover* popover) {
    // Closing by a click outside asks the delegate, as a close by the
    // program does; the answer cannot keep it open.
    context.post([weak, popover] {
        auto state = weak.lock();
        if (!state) return;
        platform::PopoverDelegate* delegate;
        {
            std::lock_guard g(state->mutex);
            if (!state->shown) return;
            state->shown = false;
            delegate = state->delegate;
        }
        if (delegate) delegate->popoverShouldClose(popover);
    });
}

void QtPopover::showRelativeToRectOfViewPreferredEdge(Rect, View* anchor, platform::RectEdge edge) {
    std::shared_ptr<View> content;
    Size size;
    bool transient;
    {
        std::lock_guard g(state_->mutex);
        state_->shown = true;
        content = state_->content;
        size = state_->size;
        transient = state_->behavior == Behavior::Transient;
    }
    if (!frame_.get() && !onGuiThread()) {
        // made below, on the Qt thread
    }
    GuiContext* context = &context_;
    std::weak_ptr<State> weak = state_;
    QtPopover* self = this;
    frame_.create([context, content, transient, weak, self]() {
        auto* f = new PopoverFrame(transient);
        if (content) f->content = new ViewWidget(content, *context, f);
        f->onUserHide = [context, weak, self] { dismissedByUser(*context, weak, self); };
        return f;
    });
    frame_.run([context, anchor, edge, size](PopoverFrame& f) {
        const int w = static_cast<int>(size.width), h = static_cast<int>(size.height);
        f.resize(w + 4, h + 4);
        if (f.content) f.content->setGeometry(2, 2, w, h);
        QRect target(QGuiApplication::primaryScreen() ? QGuiApplication::primaryScreen()->availableGeometry().center()
                                                      : QPoint(200, 200),
                     QSize(1, 1));
        if (QWidget* a = context->widgetFor(anchor)) target = QRect(a->mapToGlobal(QPoint(0, 0)), a->size());
        QPoint at;
        switch (edge) {
            case platform::RectEdge::MaxY:  // above (y grows upward)
                at = QPoint(target.center().x() - f.width() / 2, target.top() - f.height() - 4);
                break;
            case platform::RectEdge::MinY:
                at = QPoint(target.center().x() - f.width() / 2, target.bottom() + 4);
                break;
            case platform::RectEdge::MaxX:
                at = QPoint(target.right() + 4, target.center().y() - f.height() / 2);
                break;
            case platform::RectEdge::MinX:
                at = QPoint(target.left() - f.width() - 4, target.center().y() - f.height() / 2);
                break;
        }
        if (QScreen* s = QGuiApplication::screenAt(target.center())) {
            const QRect area = s->availableGeometry();
            at.setX(std::clamp(at.x(), area.left(), std::max(area.left(), area.right() - f.width())));
            at.setY(std::clamp(at.y(), area.top(), std::max(area.top(), area.bottom() - f.height())));
        }
        f.move(at);
        f.show();
        f.raise();
        f.activateWindow();
    });
}

void QtPopover::performClose() {
    platform::PopoverDelegate* delegate;
    {
        std::lock_guard g(state_->mutex);
        delegate = state_->delegate;
    }
    if (delegate) delegate->popoverShouldClose(this);
    close();
}

void QtPopover::close() {
    {
        std::lock_guard g(state_->mutex);
        state_->shown = false;
    }
    frame_.run([](PopoverFrame& f) {
        if (!f.isVisible()) return;
        f.programmaticHide = true;
        f.hide();
    });
}

// ---- plain window ----

class QtPlainWindow::Frame : public QWidget {
public:
    Frame() : QWidget(nullptr, Qt::Tool) {}
    std::function<void()> onResignKey;
    QPointer<ViewWidget> content;

protected:
    bool event(QEvent* e) override {
        if (e->type() == QEvent::WindowDeactivate && onResignKey) onResignKey();
        return QWidget::event(e);
    }
};

QtPlainWindow::QtPlainWindow(GuiContext& context) : context_(context) {
    GuiContext* ctx = &context_;
    auto handler = resignKey_;
    frame_.create([ctx, handler]() -> QWidget* {
        auto* f = new Frame;
        f->onResignKey = [ctx, handler] {
            ctx->post([handler] {
                if (*handler) (*handler)();
            });
        };
        return f;
    });
}

QtPlainWindow::~QtPlainWindow() = default;

void QtPlainWindow::center() {
    frame_.run([](QWidget& w) { centerOnScreen(&w); });
}
void QtPlainWindow::makeKeyAndOrderFront() {
    visible_ = true;
    frame_.run([](QWidget& w) { bringToFront(&w); });
}
void QtPlainWindow::orderOut() {
    visible_ = false;
    frame_.run([](QWidget& w) { w.hide(); });
}

void QtPlainWindow::setContentView(std::shared_ptr<View> view) {
    {
        std::lock_guard g(mutex_);
        content_ = view;
    }
    GuiContext* ctx = &context_;
    frame_.run([ctx, view](QWidget& w) {
        auto& f = static_cast<Frame&>(w);
        if (f.content) f.content->deleteLater();
        f.content = view ? new ViewWidget(view, *ctx, &f) : nullptr;
        if (f.content) f.content->setGeometry(0, 0, f.width(), f.height());
    });
}

View* QtPlainWindow::contentView() const {
    std::lock_guard g(mutex_);
    return content_.get();
}

void QtPlainWindow::setContentSize(Size size) {
    {
        std::lock_guard g(mutex_);
        size_ = size;
        if (content_) content_->setFrameSize(size);
    }
    frame_.run([size](QWidget& w) {
        w.resize(static_cast<int>(size.width), static_cast<int>(size.height));
        auto& f = static_cast<Frame&>(w);
        if (f.content) f.content->setGeometry(0, 0, w.width(), w.height());
    });
}

Size QtPlainWindow::contentSize() const {
    std::lock_guard g(mutex_);
    return size_;
}

void QtPlainWindow::setFrameOrigin(Point origin) {
    Size size = contentSize();
    frame_.run([origin, size](QWidget& w) {
        // Screen points have y growing upward from the bottom of the screen.
        QScreen* s = QGuiApplication::primaryScreen();
        const int screenHeight = s ? s->geometry().height() : 0;
        w.move(static_cast<int>(origin.x), static_cast<int>(screenHeight - origin.y - size.height));
    });
}

void QtPlainWindow::setResizable(bool resizable) {
    Size size = contentSize();
    frame_.run([resizable, size](QWidget& w) {
        if (resizable)
            w.setMaximumSize(QWIDGETSIZE_MAX, QWIDGETSIZE_MAX);
        else
            w.setFixedSize(static_cast<int>(size.width), static_cast<int>(size.height));
    });
}

std::optional<Point> QtPlainWindow::convertBaseToScreen(const View* view, Point point) const {
    // The window's base coordinates start at its lower-left corner; the
    // screen's at the screen's. Read from the logic's own geometry, so the
    // answer needs no wait for the Qt thread.
    QScreen* s = QGuiApplication::primaryScreen();
    if (!s) return std::nullopt;
    const View* root = view;
    double x = point.x, y = point.y;
    while (root && root->superview()) root = root->superview();
    if (root) {
        x += root->frame().origin.x;
        y += root->frame().origin.y;
    }
    return Point{x, y};
}

void QtPlainWindow::setResignKeyHandler(std::function<void()> handler) {
    *resignKey_ = std::move(handler);
}

// ---- templates ----

namespace {

std::shared_ptr<View> control(const std::string& hint, Rect frame, std::shared_ptr<platform::Control> c, int tag) {
    c->setTag(tag);
    auto v = std::make_shared<View>("control", frame, std::move(c));
    if (!hint.empty()) v->setIdentifier(hint);
    return v;
}

std::shared_ptr<View> label(const std::string& hint, Rect frame, const std::string& text, int tag,
                            platform::TextField::Alignment alignment = platform::TextField::Alignment::Center) {
    auto field = std::make_shared<platform::TextField>(text);
    field->setAlignment(alignment);
    return control(hint, frame, field, tag);
}

std::shared_ptr<View> button(const std::string& hint, Rect frame, const std::string& title, int tag) {
    return control(hint, frame, std::make_shared<platform::Button>(title), tag);
}

std::shared_ptr<View> stripTemplate() {
    const double w = QtViewTemplates::stripWidth, h = QtViewTemplates::stripHeight;
    auto strip = std::make_shared<View>("SingleControl", Rect{{0, 0}, {w, h}});
    strip->addSubview(label(style::stripLabel, {{6, 408}, {83, 20}}, "", 1));
    strip->addSubview(label(style::caption, {{6, 390}, {83, 16}}, "", 7));
    strip->addSubview(control(style::onOffSwitch, {{24.5, 354}, {46, 24}}, std::make_shared<platform::Button>(), 2));
    const double sliderY = 68, sliderH = 270;
    strip->addSubview(control(style::brightnessSlider, {{7, sliderY}, {24, sliderH}},
                              std::make_shared<platform::Slider>(0, 255, 0), 3));
    strip->addSubview(control(style::hueSlider, {{35.5, sliderY}, {24, sliderH}},
                              std::make_shared<platform::Slider>(0, 65535, 0), 4));
    strip->addSubview(control(style::saturationSlider, {{64, sliderY}, {24, sliderH}},
                              std::make_shared<platform::Slider>(0, 255, 0), 5));
    strip->addSubview(button(style::renameButton, {{10, 8}, {34, 26}}, "", 6));
    strip->addSubview(button(style::duskButton, {{51, 8}, {34, 26}}, "", 8));
    auto rule = std::make_shared<View>("box", Rect{{8, 38}, {79, 1}});
    rule->setIdentifier("horizontal");
    rule->setHidden(true);
    strip->addSubview(rule);
    return strip;
}

}  // namespace

std::shared_ptr<View> QtViewTemplates::loadView(const std::string& name) {
    using Align = platform::TextField::Alignment;
    if (name == "SingleControl") return stripTemplate();
    if (name == "reNameView") {
        auto v = std::make_shared<View>("reNameView", Rect{{0, 0}, {130, 87}});
        // The editing field comes first: it is the view's text field.
        v->addSubview(label(style::editField, {{10, 32}, {110, 24}}, "", 1));
        v->addSubview(label(style::caption, {{10, 60}, {110, 18}}, "New name", 100, Align::Left));
        v->addSubview(label(style::caption, {{10, 8}, {110, 18}}, "Return renames", 101, Align::Left));
        return v;
    }
    if (name == "duskView") {
        auto v = std::make_shared<View>("duskView", Rect{{0, 0}, {253, 130}});
        v->addSubview(label(style::message, {{12, 48}, {229, 72}}, "", 0, Align::Left));
        v->addSubview(button("", {{12, 10}, {100, 30}}, "Cancel", 1));
        v->addSubview(button("", {{141, 10}, {100, 30}}, "Start", 2));
        return v;
    }
    if (name == "makeGroupView") {
        auto v = std::make_shared<View>("makeGroupView", Rect{{0, 0}, {220, 133}});
        auto field = label(style::editField, {{12, 62}, {196, 24}}, "", 3);
        field->control()->setIdentifier("makeGroupNameField");
        v->addSubview(field);
        v->addSubview(label(style::message, {{12, 92}, {196, 34}}, "Tick the lamps for the new group and name it", 100,
                            Align::Left));
        v->addSubview(button("", {{12, 12}, {90, 30}}, "Cancel", 0));
        v->addSubview(button("", {{118, 12}, {90, 30}}, "Make group", 1));
        return v;
    }
    if (name == "removeGroupView") {
        auto v = std::make_shared<View>("removeGroupView", Rect{{0, 0}, {214, 86}});
        v->addSubview(label(style::message, {{12, 46}, {190, 34}}, "Tick the groups to remove", 100, Align::Left));
        v->addSubview(button("", {{12, 10}, {90, 30}}, "Cancel", 0));
        v->addSubview(button("", {{112, 10}, {90, 30}}, "Remove", 1));
        return v;
    }
    return nullptr;
}

std::unique_ptr<platform::Popover> QtViewTemplates::makePopover() {
    return std::make_unique<QtPopover>(context_);
}

std::unique_ptr<platform::PlainWindow> QtViewTemplates::makePlainWindow() {
    return std::make_unique<QtPlainWindow>(context_);
}

// ---- status item ----

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

// ---- workspace, application ----

bool QtWorkspace::openURL(const std::string& url) {
    {
        std::lock_guard g(mutex_);
        last_ = url;
    }
    postToGui([url] { QDesktopServices::openUrl(QUrl(qs(url))); });
    return true;
}

bool QtWorkspace::openFile(const std::string& path) {
    return openURL(QUrl::fromLocalFile(qs(path)).toString().toStdString());
}

std::string QtWorkspace::lastOpened() const {
    std::lock_guard g(mutex_);
    return last_;
}

void QtApplication::activateIgnoringOtherApps(bool) {
    auto find = mainWindow_;
    postToGui([find] {
        if (QWidget* w = find ? find() : nullptr) w->activateWindow();
    });
}

platform::StatusItem* QtApplication::statusItemWithVariableLength() {
    return makeStatusItem_ ? makeStatusItem_() : nullptr;
}

}  // namespace glowmere::gui
