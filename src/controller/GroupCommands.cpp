#include "controller/GroupCommands.h"

#include "platform/InputChecks.h"
#include "platform/Log.h"
#include "platform/ThreadCheck.h"

namespace glowmere {

namespace {

std::string tagList(const Value& tags) {
    std::string text = "(";
    if (tags.isList())
        for (std::size_t i = 0; i < tags.size(); ++i) text += (i ? ", " : "") + tags.at(i).textValue();
    return text + ")";
}

platform::TextField* makeGroupNameField(platform::Popover* popover) {
    if (!popover || !popover->contentView()) return nullptr;
    for (const auto& sub : popover->contentView()->subviews())
        if (sub->control() && sub->control()->identifier() == "makeGroupNameField")
            return dynamic_cast<platform::TextField*>(sub->control());
    return nullptr;
}

}  // namespace

void GroupCommands::setPopovers(std::unique_ptr<platform::Popover> make, std::unique_ptr<platform::Popover> remove) {
    makeGroupPopover_ = std::move(make);
    removeGroupPopover_ = std::move(remove);
    for (platform::Popover* popover : {makeGroupPopover_.get(), removeGroupPopover_.get()}) {
        if (!popover || !popover->contentView()) continue;
        const bool make = popover == makeGroupPopover_.get();
        for (const auto& sub : popover->contentView()->subviews()) {
            auto* button = dynamic_cast<platform::Button*>(sub->control());
            if (!button) continue;
            button->setAction([this, make](platform::Control* sender) {
                if (make)
                    makeGroupPopoverClose(sender);
                else
                    removeGroupPopoverClose(sender);
            });
        }
    }
}

void GroupCommands::showPopover(platform::Popover* popover, bool groups) {
    LampSelectionView* row = strips_.selection(groups);
    if (!popover || !row) return;
    platform::View& anchor = row->view();
    popover->showRelativeToRectOfViewPreferredEdge({{0, 0}, anchor.frame().size}, &anchor, platform::RectEdge::MaxX);
}

void GroupCommands::makeGroupStep1() {
    LampSelectionView* row = strips_.selection(false);
    if (!row) return;
    row->deselectAll();
    row->view().setHidden(false);
    if (auto* field = makeGroupNameField(makeGroupPopover_.get())) field->setStringValue("");
    showMakeGroupPopover();
}

void GroupCommands::showMakeGroupPopover() {
    showPopover(makeGroupPopover_.get(), false);
}

void GroupCommands::makeGroupPopoverClose(platform::Control* sender) {
    LampSelectionView* row = strips_.selection(false);
    if (makeGroupPopover_) makeGroupPopover_->close();
    if (row) row->view().setHidden(true);
    if (sender && sender->tag() != 0 && row) makeGroup(row->getSelectedIDs());
}

void GroupCommands::makeGroup(const Value& tags) {
    platform::TextField* field = makeGroupNameField(makeGroupPopover_.get());
    makeGroupNamed(tags, field ? field->stringValue() : std::string());
}

void GroupCommands::makeGroupNamed(const Value& tags, const std::string& enteredName) {
    GLOWMERE_EXPECT_LOOP_THREAD(loop_, "GroupCommands::makeGroup");
    const std::optional<std::string> name = platform::fittedName(enteredName);
    if (!tags.isList() || tags.empty() || !name) return;
    std::vector<std::string> lamps;
    for (const Value& tag : tags.asList())
        if (auto id = strips_.idWithTag(false, static_cast<int>(tag.intValue()))) lamps.push_back(*id);
    strips_.setPolling(false);
    bridge_.makeGroupNamed(lamps, *name);
    strips_.rebuild();
    strips_.setPolling(true);
}

void GroupCommands::removeGroupStep1() {
    LampSelectionView* row = strips_.selection(true);
    if (!row) return;
    row->deselectAll();
    row->view().setHidden(false);
    showRemoveGroupPopover();
}

void GroupCommands::showRemoveGroupPopover() {
    showPopover(removeGroupPopover_.get(), true);
}

void GroupCommands::removeGroupPopoverClose(platform::Control* sender) {
    LampSelectionView* row = strips_.selection(true);
    if (removeGroupPopover_) removeGroupPopover_->close();
    if (row) row->view().setHidden(true);
    if (sender && sender->tag() != 0 && row) removeGroup(row->getSelectedIDs());
}

void GroupCommands::removeGroup(const Value& tags) {
    GLOWMERE_EXPECT_LOOP_THREAD(loop_, "GroupCommands::removeGroup");
    platform::log("removing groups " + tagList(tags));
    if (!tags.isList() || tags.empty()) return;
    strips_.setPolling(false);
    // The strips go at the rebuild; their identifiers are read first.
    std::vector<std::string> ids;
    for (const Value& tag : tags.asList())
        if (auto id = strips_.idWithTag(true, static_cast<int>(tag.intValue()))) ids.push_back(*id);
    for (const std::string& id : ids) {
        if (id == "0")
            strips_.dropAllStrip();  // the bridge's group of all lamps stays; only its strip goes
        else
            bridge_.removeGroupNamed(id);
    }
    strips_.rebuild();
    strips_.setPolling(true);
}

}  // namespace glowmere
