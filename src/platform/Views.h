#pragma once

#include <algorithm>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "platform/Controls.h"
#include "platform/Ui.h"

namespace glowmere::platform {

// Views, windows, popovers and the status item as the logic sees them.
//
// Threading: all logic runs on the controller thread (the RunLoop); every
// call below is made from there. The desktop application implements the
// interfaces on Qt and marshals to the Qt thread itself; it never makes the
// caller wait for the Qt thread. `View` and `Menu` are concrete and hold their
// own state behind a mutex (like the controls), so the logic reads frames and
// items back at once and the GUI mirrors them through the observer, which is
// called on the changing thread. What the user does comes back as a post to
// the controller thread (Control::sendAction, View::mouseUp, menu actions).
//
// Geometry is in points with the origin at the lower left and y growing
// upward, as the layout rules are written; the GUI flips it once.

struct Point {
    double x = 0;
    double y = 0;
    friend bool operator==(const Point&, const Point&) = default;
};

struct Size {
    double width = 0;
    double height = 0;
    friend bool operator==(const Size&, const Size&) = default;
};

struct Rect {
    Point origin;
    Size size;
    friend bool operator==(const Rect&, const Rect&) = default;
};

// A node of a window's view tree. A view either carries a control (a slider,
// a button, a text field...; `control()`), or is a plain container or a
// decoration (the folding rule is a box with identifier "horizontal"). `kind`
// tells the GUI what to draw: "SingleControl" for a strip view, "selection"
// for a row of checkboxes, "checkbox" for one of them (a Button), "box",
// "control", "content" for a window's content view, or a template name.
class View {
public:
    enum class Change { Frame, Rotation, Hidden, Subviews, Removed };
    using Observer = std::function<void(View* changed, Change what)>;
    // Called (on the controller thread) with the click count of a mouse-up.
    using MouseUpHandler = std::function<void(int clickCount)>;

    explicit View(std::string kind = "view", Rect frame = {}, std::shared_ptr<Control> control = nullptr)
        : kind_(std::move(kind)), frame_(frame), control_(std::move(control)) {}
    virtual ~View() = default;
    View(const View&) = delete;
    View& operator=(const View&) = delete;

    std::string kind() const { return kind_; }

    std::string identifier() const {
        std::lock_guard g(mutex_);
        return identifier_;
    }
    void setIdentifier(std::string identifier) {
        std::lock_guard g(mutex_);
        identifier_ = std::move(identifier);
    }

    // The control this view shows, or none.
    Control* control() const { return control_.get(); }
    std::shared_ptr<Control> sharedControl() const { return control_; }
    // The control's tag; -1 for a view without a control.
    int tag() const { return control_ ? control_->tag() : -1; }

    Rect frame() const {
        std::lock_guard g(mutex_);
        return frame_;
    }
    void setFrame(Rect frame) {
        {
            std::lock_guard g(mutex_);
            if (frame_ == frame && !lastMoveAnimated_) return;
            frame_ = frame;
            lastMoveAnimated_ = false;
        }
        notify(Change::Frame);
    }
    // Moves the view; `animated` asks the GUI to slide it there.
    void setFrameOrigin(Point origin, bool animated = false) {
        {
            std::lock_guard g(mutex_);
            if (frame_.origin == origin && lastMoveAnimated_ == animated) return;
            frame_.origin = origin;
            lastMoveAnimated_ = animated;
        }
        notify(Change::Frame);
    }
    void setFrameSize(Size size) {
        {
            std::lock_guard g(mutex_);
            if (frame_.size == size && !lastMoveAnimated_) return;
            frame_.size = size;
            lastMoveAnimated_ = false;
        }
        notify(Change::Frame);
    }
    bool lastMoveAnimated() const {
        std::lock_guard g(mutex_);
        return lastMoveAnimated_;
    }

    // Rotation in degrees, counter-clockwise (a folded strip stands at 90).
    double frameRotation() const {
        std::lock_guard g(mutex_);
        return rotation_;
    }
    void setFrameRotation(double degrees) {
        {
            std::lock_guard g(mutex_);
            if (rotation_ == degrees) return;
            rotation_ = degrees;
        }
        notify(Change::Rotation);
    }

    bool isHidden() const {
        std::lock_guard g(mutex_);
        return hidden_;
    }
    void setHidden(bool hidden) {
        {
            std::lock_guard g(mutex_);
            if (hidden_ == hidden) return;
            hidden_ = hidden;
        }
        notify(Change::Hidden);
    }

    // Subviews are shared: the view holds its subviews for as long as they are
    // in it; the logic may keep its own reference.
    void addSubview(const std::shared_ptr<View>& view) {
        if (!view || view.get() == this) return;
        view->removeFromSuperview();
        {
            std::lock_guard g(mutex_);
            subviews_.push_back(view);
        }
        {
            std::lock_guard g(view->mutex_);
            view->superview_ = this;
        }
        notify(Change::Subviews);
    }
    void removeFromSuperview() {
        View* parent;
        {
            std::lock_guard g(mutex_);
            parent = superview_;
            superview_ = nullptr;
        }
        if (!parent) return;
        std::shared_ptr<View> keep;  // released after the parent's observer ran
        {
            std::lock_guard g(parent->mutex_);
            auto it = std::find_if(parent->subviews_.begin(), parent->subviews_.end(),
                                   [this](const auto& v) { return v.get() == this; });
            if (it != parent->subviews_.end()) {
                keep = *it;
                parent->subviews_.erase(it);
            }
        }
        notify(Change::Removed);
        parent->notify(Change::Subviews);
    }
    View* superview() const {
        std::lock_guard g(mutex_);
        return superview_;
    }
    std::vector<std::shared_ptr<View>> subviews() const {
        std::lock_guard g(mutex_);
        return subviews_;
    }
    // The first direct subview whose control has `tag`, or none.
    View* subviewWithTag(int tag) const {
        for (const auto& v : subviews())
            if (v->control() && v->control()->tag() == tag) return v.get();
        return nullptr;
    }
    Control* controlWithTag(int tag) const {
        View* v = subviewWithTag(tag);
        return v ? v->control() : nullptr;
    }
    // The first direct subview with `identifier`, or none.
    View* subviewWithIdentifier(const std::string& identifier) const {
        for (const auto& v : subviews())
            if (v->identifier() == identifier) return v.get();
        return nullptr;
    }

    void setObserver(Observer observer) {
        std::lock_guard g(mutex_);
        observer_ = std::move(observer);
    }
    void setMouseUpHandler(MouseUpHandler handler) {
        std::lock_guard g(mutex_);
        mouseUp_ = std::move(handler);
    }
    // The GUI forwards a finished click here (posted to the controller thread).
    void mouseUp(int clickCount) {
        MouseUpHandler handler;
        {
            std::lock_guard g(mutex_);
            handler = mouseUp_;
        }
        if (handler) handler(clickCount);
    }

private:
    void notify(Change what) {
        Observer observer;
        {
            std::lock_guard g(mutex_);
            observer = observer_;
        }
        if (observer) observer(this, what);
    }

    mutable std::mutex mutex_;
    const std::string kind_;
    std::string identifier_;
    Rect frame_;
    double rotation_ = 0;
    bool hidden_ = false;
    bool lastMoveAnimated_ = false;
    const std::shared_ptr<Control> control_;
    View* superview_ = nullptr;
    std::vector<std::shared_ptr<View>> subviews_;
    Observer observer_;
    MouseUpHandler mouseUp_;
};

// The main window of control strips.
class MainWindow : public Window {
public:
    // Strip views and selection views are added here.
    virtual View& contentView() = 0;
    virtual Rect frame() const = 0;
    // `display`: redraw at once.
    virtual void setFrame(Rect frame, bool display) = 0;
    // The busy indicator shown while the bridge is awaited.
    virtual ProgressIndicator& mainWindowThrobber() = 0;
    // False until the window's resources are in place.
    virtual bool isWindowLoaded() const = 0;
};

// A plain window.
class PlainWindow : public Window {
public:
    virtual void setContentView(std::shared_ptr<View> view) = 0;
    virtual View* contentView() const = 0;
    virtual void setContentSize(Size size) = 0;
    virtual Size contentSize() const = 0;
    // The lower-left corner, in screen coordinates.
    virtual void setFrameOrigin(Point origin) = 0;
    // Animation style of ordering in and out (4: utility window).
    virtual void setAnimationBehavior(int behavior) = 0;
    virtual void setShowsResizeIndicator(bool shows) = 0;
    virtual void setResizable(bool resizable) = 0;
    // A point of `view`'s window (base coordinates) on the screen; nothing
    // when there is no screen.
    virtual std::optional<Point> convertBaseToScreen(const View* view, Point point) const = 0;
    // Called on the controller thread when the window stops being key.
    virtual void setResignKeyHandler(std::function<void()> handler) = 0;
};

class Popover;

class PopoverDelegate {
public:
    virtual ~PopoverDelegate() = default;
    virtual bool popoverShouldClose(Popover* popover) = 0;
};

enum class RectEdge { MinX, MinY, MaxX, MaxY };

// A small panel shown next to a view.
class Popover {
public:
    enum class Behavior { ApplicationDefined, Transient };

    virtual ~Popover() = default;
    virtual void setContentView(std::shared_ptr<View> view) = 0;
    virtual View* contentView() const = 0;
    virtual void setContentSize(Size size) = 0;
    virtual void setBehavior(Behavior behavior) = 0;
    virtual void setAnimates(bool animates) = 0;
    virtual void setDelegate(PopoverDelegate* delegate) = 0;
    virtual void showRelativeToRectOfViewPreferredEdge(Rect rect, View* view, RectEdge edge) = 0;
    // Asks the delegate, then closes.
    virtual void performClose() = 0;
    virtual void close() = 0;
    virtual bool isShown() const = 0;
};

// A menu: titled, tagged items, each with its action, and separators. Held
// here; the GUI mirrors it through the observer.
class Menu {
public:
    struct Item {
        std::string title;
        int tag = 0;
        bool separator = false;
        std::string keyEquivalent;
        std::function<void(const Item& sender)> action;
        // A check item shows a tick when true (a lamp that is on, say).
        std::optional<bool> checked;
    };
    using Observer = std::function<void(Menu* changed)>;

    void removeAllItems() {
        {
            std::lock_guard g(mutex_);
            items_.clear();
        }
        notify();
    }
    void addItem(std::string title, int tag, std::function<void(const Item&)> action) {
        {
            std::lock_guard g(mutex_);
            items_.push_back(Item{std::move(title), tag, false, {}, std::move(action), std::nullopt});
        }
        notify();
    }
    void addSeparator() {
        {
            std::lock_guard g(mutex_);
            items_.push_back(Item{{}, 0, true, {}, {}, std::nullopt});
        }
        notify();
    }
    // Replaces every item at once (one notification).
    void setItems(std::vector<Item> items) {
        {
            std::lock_guard g(mutex_);
            items_ = std::move(items);
        }
        notify();
    }
    std::vector<Item> items() const {
        std::lock_guard g(mutex_);
        return items_;
    }
    std::size_t numberOfItems() const {
        std::lock_guard g(mutex_);
        return items_.size();
    }
    // Runs the action of the item at `index` (what choosing it does, posted
    // to the controller thread by the GUI). False when there is none.
    bool performActionForItemAtIndex(std::size_t index) {
        Item item;
        {
            std::lock_guard g(mutex_);
            if (index >= items_.size()) return false;
            item = items_[index];
        }
        if (!item.action) return false;
        item.action(item);
        return true;
    }
    void setObserver(Observer observer) {
        std::lock_guard g(mutex_);
        observer_ = std::move(observer);
    }

private:
    void notify() {
        Observer observer;
        {
            std::lock_guard g(mutex_);
            observer = observer_;
        }
        if (observer) observer(this);
    }

    mutable std::mutex mutex_;
    std::vector<Item> items_;
    Observer observer_;
};

// The menu-bar (tray) item.
// Loads views from the application's resources and makes the panels that
// show them. Each call gives a new, independent object.
//   "SingleControl": a strip view (kind "SingleControl") whose direct subviews
//     carry the tagged controls: 1 name label (TextField), 2 on/off switch
//     (Button, state 1 = on), 3 brightness (Slider 0..255), 4 colour (Slider
//     0..65535), 5 saturation (Slider 0..255, shown inverted), 6 rename button,
//     7 group caption (TextField), 8 dusk button (Button); plus a box with
//     identifier "horizontal" (the folding rule, hidden unless folded).
//   "reNameView", "duskView", "makeGroupView", "removeGroupView": popover
//     contents; their controls are found by tag.
class ViewTemplates {
public:
    virtual ~ViewTemplates() = default;
    virtual std::shared_ptr<View> loadView(const std::string& name) = 0;
    // A popover of the platform, shown next to a view.
    virtual std::unique_ptr<Popover> makePopover() = 0;
    // A plain window with the platform's default settings.
    virtual std::unique_ptr<PlainWindow> makePlainWindow() = 0;
};

class StatusItem {
public:
    virtual ~StatusItem() = default;
    virtual void setMenu(Menu* menu) = 0;
    virtual void setTitle(const std::string& title) = 0;
    // An image from the application's resources, e.g. "lightbulb_trans_Template";
    // a template image is drawn in the bar's own colour.
    virtual void setImage(const std::string& name, Size size, bool isTemplate) = 0;
    virtual void setAlternateImage(const std::string& name, Size size, bool isTemplate) = 0;
    virtual void setHighlightMode(bool highlight) = 0;
};

// The desktop session: the application as a whole, the status bar and the
// desktop's handlers for URLs and files.
class Workspace {
public:
    virtual ~Workspace() = default;
    // A URL ("https://...", "file:///...") in the user's default handler.
    virtual bool openURL(const std::string& url) = 0;
    virtual bool openFile(const std::string& path) = 0;
};

class Application {
public:
    virtual ~Application() = default;
    // Brings the application to the front, ahead of other applications.
    virtual void activateIgnoringOtherApps(bool flag) = 0;
    // Creates the status item; nothing where the desktop has none (the main
    // window then carries the same menu).
    virtual StatusItem* statusItemWithVariableLength() = 0;
    // Runs `work` on the GUI thread, without waiting. For the rare piece of
    // work that must happen there and has no interface above.
    virtual void postToGui(std::function<void()> work) = 0;
};

}  // namespace glowmere::platform
