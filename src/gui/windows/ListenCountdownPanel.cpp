#include "gui/windows/ListenCountdownPanel.h"

#include <QCloseEvent>
#include <QDialogButtonBox>
#include <QPushButton>
#include <QVBoxLayout>

#include "controller/ManualController.h"
#include "gui/widgets/ControlWidgets.h"
#include "gui/widgets/Icons.h"

namespace glowmere::gui {

ListenCountdownPanel::ListenCountdownPanel(ManualController& controller, GuiContext& context, QWidget* parent)
    : QWidget(parent, Qt::Dialog), controller_(controller), context_(context) {
    setWindowTitle(tr("Listening"));
    setWindowIcon(icons::application());
    auto* layout = new QVBoxLayout(this);
    // The controller counts the seconds down in this text.
    label_ = mirroredLabel(controller.listenOption1Text(), this);
    label_->setObjectName("countdownText");
    layout->addWidget(label_);
    auto* detail = new QLabel(tr("Time to leave the room; a sound after that switches to the chosen preset."));
    detail->setWordWrap(true);
    detail->setEnabled(false);
    layout->addWidget(detail);
    auto* buttons = new QDialogButtonBox;
    auto* skip = buttons->addButton(tr("Skip"), QDialogButtonBox::AcceptRole);
    auto* cancel = buttons->addButton(tr("Cancel"), QDialogButtonBox::RejectRole);
    layout->addWidget(buttons);
    ManualController* c = &controller;
    connect(skip, &QPushButton::clicked, this, [this, c] { context_.post([c] { c->ListenStep1Skip(); }); });
    connect(cancel, &QPushButton::clicked, this, [this, c] { context_.post([c] { c->ListenStep1Cancel(); }); });
    resize(340, 120);
}

QString ListenCountdownPanel::text() const {
    return label_->text();
}

void ListenCountdownPanel::closeEvent(QCloseEvent* event) {
    // Closing the panel is cancelling; once it was closed by the logic
    // (skip, cancel, the end of the count) there is nothing to cancel.
    if (window_.isVisible()) {
        ManualController* c = &controller_;
        context_.post([c] { c->ListenStep1Cancel(); });
    }
    QWidget::closeEvent(event);
}

}  // namespace glowmere::gui
