#pragma once

#include <QPointer>
#include <QWidget>
#include <map>
#include <memory>
#include <vector>

#include "gui/app/GuiContext.h"
#include "platform/Views.h"

namespace glowmere::gui {

// Attaches the view's observer so its changes reach `widget` on the Qt thread.
template <class Handler>
void observeView(platform::View& view, QWidget* widget, Handler handler) {
    QPointer<QWidget> guard(widget);
    view.setObserver([guard, handler](platform::View*, platform::View::Change what) {
        postToGui([guard, handler, what] {
            if (guard) handler(what);
        });
    });
}

// Shows one logic view and, recursively, its subviews: containers become a
// ViewWidget, views with a control the matching control widget. Follows the
// view's changes (frame, hidden, subviews) on the Qt thread.
class ViewWidget : public QWidget {
    Q_OBJECT
public:
    ViewWidget(std::shared_ptr<platform::View> view, GuiContext& context, QWidget* parent = nullptr);
    ~ViewWidget() override;

    platform::View& view() const { return *view_; }
    std::shared_ptr<platform::View> sharedView() const { return view_; }
    // Children follow their frames; called after any change. Sliced, a
    // long list of new children is made over several turns of the event
    // loop; whole, all of them now.
    enum class Slicing { Sliced, Whole };
    void syncSubviews(Slicing slicing);
    void placeChild(platform::View* child, bool allowAnimation);
    // Height the children's y-up coordinates are measured in.
    virtual double coordinateHeight() const { return height(); }

protected:
    void resizeEvent(QResizeEvent* event) override;
    virtual void viewChanged(platform::View::Change what);
    QWidget* childWidget(const platform::View* child) const;
    GuiContext& context_;

private:
    std::shared_ptr<platform::View> view_;
    std::map<const platform::View*, std::pair<std::shared_ptr<platform::View>, QWidget*>> children_;
    // The children in the stacking order last set, bottom first.
    std::vector<QPointer<QWidget>> stacked_;
};

}  // namespace glowmere::gui
