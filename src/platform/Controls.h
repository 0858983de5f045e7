#pragma once

#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

namespace glowmere::platform {

// Controls as the logic sees them. A control's value lives here, readable at
// once from the controller thread; the desktop application mirrors it on
// screen (through the observer) and forwards what the user does as a post to
// the controller thread that sets the value and sends the action. Values are
// guarded, so the GUI thread may read them too.
class Control {
public:
    using Action = std::function<void(Control* sender)>;
    using Observer = std::function<void(Control* changed)>;

    virtual ~Control() = default;

    int tag() const;
    void setTag(int tag);
    bool isHidden() const;
    void setHidden(bool hidden);
    bool isEnabled() const;
    void setEnabled(bool enabled);
    std::string identifier() const;
    void setIdentifier(std::string identifier);

    // The control's target and action.
    void setAction(Action action);
    bool hasAction() const;
    // Runs the action with this control as sender (what a user's change does
    // after the value is set).
    void sendAction();

    // Called after every change of value or state, on the changing thread.
    void setObserver(Observer observer);

protected:
    void changed();
    // Sets `field` under the lock; true when its value changed. Observers
    // hear only of real changes, so a poll that finds everything as it was
    // touches no widget.
    template <class T, class U>
    bool assign(T& field, U&& value) {
        std::lock_guard g(mutex_);
        if (field == value) return false;
        field = std::forward<U>(value);
        return true;
    }
    mutable std::mutex mutex_;

private:
    int tag_ = 0;
    bool hidden_ = false;
    bool enabled_ = true;
    std::string identifier_;
    Action action_;
    Observer observer_;
};

class Slider : public Control {
public:
    Slider(double minValue = 0, double maxValue = 1, double value = 0);
    double doubleValue() const;
    float floatValue() const { return static_cast<float>(doubleValue()); }
    void setDoubleValue(double value);  // clamped to the range
    double minValue() const;
    double maxValue() const;

private:
    double min_, max_, value_;
};

// Push buttons, check boxes and two-state switches. State 1 is on.
class Button : public Control {
public:
    explicit Button(std::string title = {});
    int state() const;
    void setState(int state);
    std::string title() const;
    void setTitle(std::string title);

private:
    int state_ = 0;
    std::string title_;
};

class TextField : public Control {
public:
    explicit TextField(std::string text = {});
    std::string stringValue() const;
    void setStringValue(std::string text);
    float floatValue() const;
    // Left, centre or right alignment of the text.
    enum class Alignment { Left, Center, Right };
    Alignment alignment() const;
    void setAlignment(Alignment alignment);

private:
    std::string text_;
    Alignment alignment_ = Alignment::Center;
};

// A pop-up button: a list of titled, tagged items with one selected.
class PopUpButton : public Control {
public:
    struct Item {
        std::string title;
        int tag = 0;
        bool separator = false;
        bool header = false;      // a section's title, never selected
        std::string represented;  // what the item stands for beyond its tag (e.g. an identifier)
        bool operator==(const Item&) const = default;
    };

    void removeAllItems();
    void addItem(std::string title, int tag);
    void addSeparator();
    // All items at once, with the one selected (ignored when it cannot be
    // selected); observers hear of it only when something differs.
    void setItems(std::vector<Item> items, std::optional<std::size_t> selected);
    std::vector<Item> items() const;
    std::size_t numberOfItems() const;

    // Index of the selected item, or nothing.
    std::optional<std::size_t> indexOfSelectedItem() const;
    std::optional<Item> selectedItem() const;
    bool selectItemAtIndex(std::size_t index);
    bool selectItemWithTag(int tag);
    bool selectItemWithTitle(const std::string& title);

private:
    std::vector<Item> items_;
    std::optional<std::size_t> selected_;
};

}  // namespace glowmere::platform
