#include "gui/windows/PushLinkWindow.h"

#include <QCloseEvent>
#include <QHBoxLayout>
#include <QVBoxLayout>
#include <algorithm>

#include "gui/widgets/Icons.h"

namespace glowmere::gui {

PushLinkWindow::PushLinkWindow()
    : QWidget(nullptr, Qt::Dialog),
      spinner_(new Throbber),
      title_(new QLabel),
      detail_(new QLabel),
      cancel_(new QPushButton(tr("Cancel"))),
      tryAgain_(new QPushButton(tr("Try again"))),
      indicator_(spinner_) {
    setWindowTitle(tr("Pair with your bridge"));
    setWindowIcon(icons::application());
    setObjectName("pairingWindow");
    auto* layout = new QHBoxLayout(this);
    auto* bulb = new QLabel;
    bulb->setPixmap(icons::application().pixmap(64, 64));
    layout->addWidget(bulb, 0, Qt::AlignTop);
    auto* text = new QVBoxLayout;
    title_->setTextFormat(Qt::RichText);
    detail_->setWordWrap(true);
    text->addWidget(title_);
    text->addWidget(detail_);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(tryAgain_);
    buttons->addWidget(cancel_);
    text->addLayout(buttons);
    layout->addLayout(text, 1);
    spinner_->setFixedSize(28, 28);
    layout->addWidget(spinner_, 0, Qt::AlignTop);
    for (QPushButton* b : {cancel_, tryAgain_}) b->setAccessibleName(b->text());
    connect(cancel_, &QPushButton::clicked, this, [this] {
        hide();
        if (onCancel) onCancel();
    });
    connect(tryAgain_, &QPushButton::clicked, this, [this] {
        showWaiting();
        if (onTryAgain) onTryAgain();
    });
    showWaiting();
    setMinimumWidth(440);
}

void PushLinkWindow::showWaiting() {
    failed_ = false;
    title_->setText(tr("<b>Press the link button on your bridge</b>"));
    detail_->setText(tr("Glowmere is waiting for the bridge to let it in. This takes up to a minute."));
    tryAgain_->hide();
    cancel_->setText(tr("Cancel"));
    cancel_->setAccessibleName(cancel_->text());
    cancel_->setDefault(false);
    fitText();
}

void PushLinkWindow::fitText() {
    // The wrapped text changed length: the window grows with it (never
    // narrower than it is), so no line is cut off.
    if (QLayout* l = layout()) l->activate();
    const int width = isVisible() ? std::max(this->width(), minimumWidth()) : minimumWidth();
    const int height =
        layout() && layout()->hasHeightForWidth() ? layout()->totalHeightForWidth(width) : sizeHint().height();
    resize(width, std::max(height, minimumSizeHint().height()));
}

void PushLinkWindow::showFailed() {
    failed_ = true;
    indicator_.stopAnimation();
    title_->setText(tr("<b>Glowmere could not pair with your bridge</b>"));
    detail_->setText(
        tr("The bridge did not let Glowmere in: its link button was not pressed in time. Press the "
           "button on the bridge, then Try again."));
    tryAgain_->show();
    tryAgain_->setDefault(true);
    fitText();
    if (!isVisible()) window_.makeKeyAndOrderFront();
}

void PushLinkWindow::closeEvent(QCloseEvent* event) {
    // Closing it is cancelling: nothing pairs behind the user's back.
    QWidget::closeEvent(event);
    if (onCancel) onCancel();
}

}  // namespace glowmere::gui
