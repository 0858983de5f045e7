#pragma once

#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "platform/Views.h"

namespace glowmere::testing {

// Fakes of the view and window interfaces: they keep what the logic set so
// tests can read it back.

class FakeThrobber final : public platform::ProgressIndicator {
public:
    void startAnimation() override;
    void stopAnimation() override;
    bool animating() const;
    int startCount() const;

private:
    mutable std::mutex mutex_;
    bool animating_ = false;
    int starts_ = 0;
};

class FakeMainWindow final : public platform::MainWindow {
public:
    FakeMainWindow();

    void center() override {}
    void makeKeyAndOrderFront() override;
    void orderOut() override;
    bool isVisible() const override;

    platform::View& contentView() override { return *content_; }
    platform::Rect frame() const override;
    void setFrame(platform::Rect frame, bool display) override;
    platform::ProgressIndicator& mainWindowThrobber() override { return throbber_; }
    bool isWindowLoaded() const override;

    void setWindowLoaded(bool loaded);
    FakeThrobber& throbber() { return throbber_; }
    int frontCount() const;
    int setFrameCount() const;

private:
    mutable std::mutex mutex_;
    std::shared_ptr<platform::View> content_;
    platform::Rect frame_{{100, 100}, {500, 480}};
    FakeThrobber throbber_;
    bool loaded_ = true;
    bool visible_ = false;
    int fronts_ = 0;
    int setFrames_ = 0;
};

class FakePlainWindow final : public platform::PlainWindow {
public:
    void center() override {}
    void makeKeyAndOrderFront() override {
        visible = true;
        ++fronts;
    }
    void orderOut() override { visible = false; }
    bool isVisible() const override { return visible; }
    void setContentView(std::shared_ptr<platform::View> view) override { content = std::move(view); }
    platform::View* contentView() const override { return content.get(); }
    void setContentSize(platform::Size size) override { contentSizeValue = size; }
    platform::Size contentSize() const override { return contentSizeValue; }
    void setFrameOrigin(platform::Point origin) override { frameOrigin = origin; }
    void setAnimationBehavior(int behavior) override { animationBehavior = behavior; }
    void setShowsResizeIndicator(bool shows) override { showsResizeIndicator = shows; }
    void setResizable(bool r) override { resizable = r; }
    std::optional<platform::Point> convertBaseToScreen(const platform::View*, platform::Point point) const override;
    void setResignKeyHandler(std::function<void()> handler) override { resignKey = std::move(handler); }

    bool visible = false;
    int fronts = 0;
    std::shared_ptr<platform::View> content;
    platform::Size contentSizeValue;
    platform::Point frameOrigin;
    int animationBehavior = 0;
    bool showsResizeIndicator = true;
    bool resizable = true;
    // Where the view's window sits on the screen; none: no screen.
    std::optional<platform::Point> screenOffset = platform::Point{};
    std::function<void()> resignKey;
};

class FakePopover final : public platform::Popover {
public:
    void setContentView(std::shared_ptr<platform::View> view) override { content = std::move(view); }
    platform::View* contentView() const override { return content.get(); }
    void setContentSize(platform::Size size) override { contentSize = size; }
    void setBehavior(Behavior b) override { behavior = b; }
    void setAnimates(bool a) override { animates = a; }
    void setDelegate(platform::PopoverDelegate* d) override { delegate = d; }
    void showRelativeToRectOfViewPreferredEdge(platform::Rect, platform::View* view, platform::RectEdge) override {
        shown = true;
        anchor = view;
    }
    void performClose() override {
        if (delegate) delegate->popoverShouldClose(this);
        close();
    }
    void close() override { shown = false; }
    bool isShown() const override { return shown; }

    std::shared_ptr<platform::View> content;
    platform::Size contentSize;
    Behavior behavior = Behavior::ApplicationDefined;
    bool animates = false;
    platform::PopoverDelegate* delegate = nullptr;
    bool shown = false;
    platform::View* anchor = nullptr;
};

// Builds the strip template and the popover views the way the application's
// resources lay them out (controls of the right kinds and tags).
class FakeViewTemplates final : public platform::ViewTemplates {
public:
    std::shared_ptr<platform::View> loadView(const std::string& name) override;
    std::unique_ptr<platform::Popover> makePopover() override;
    std::unique_ptr<platform::PlainWindow> makePlainWindow() override;

    int loads(const std::string& name) const;
    // Every popover made, in order (owned by whoever asked).
    std::vector<FakePopover*> popovers;
    // Makes "SingleControl" fail to load (nothing).
    bool failStripTemplate = false;

private:
    mutable std::mutex mutex_;
    std::map<std::string, int> loaded_;
};

class FakeStatusItem final : public platform::StatusItem {
public:
    void setMenu(platform::Menu* m) override { menu = m; }
    void setTitle(const std::string& t) override { title = t; }
    void setImage(const std::string& name, platform::Size size, bool isTemplate) override {
        image = name;
        imageSize = size;
        imageIsTemplate = isTemplate;
    }
    void setAlternateImage(const std::string& name, platform::Size, bool) override { alternateImage = name; }
    void setHighlightMode(bool h) override { highlight = h; }

    platform::Menu* menu = nullptr;
    std::string title = "unset";
    std::string image, alternateImage;
    platform::Size imageSize;
    bool imageIsTemplate = false;
    bool highlight = false;
};

class FakeApplication final : public platform::Application {
public:
    void activateIgnoringOtherApps(bool) override { ++activations; }
    platform::StatusItem* statusItemWithVariableLength() override {
        ++statusItemsMade;
        return &statusItem;
    }
    void postToGui(std::function<void()> work) override { work(); }

    FakeStatusItem statusItem;
    int activations = 0;
    int statusItemsMade = 0;
};

class FakeWorkspace final : public platform::Workspace {
public:
    bool openURL(const std::string& url) override {
        urls.push_back(url);
        return true;
    }
    bool openFile(const std::string& path) override {
        files.push_back(path);
        return opens;
    }
    std::vector<std::string> urls, files;
    bool opens = true;  // false: no program took the file
};

}  // namespace glowmere::testing
