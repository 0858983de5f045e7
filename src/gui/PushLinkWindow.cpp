#include "gui/PushLinkWindow.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QVBoxLayout>

#include "gui/Icons.h"

namespace glowmere::gui {

PushLinkWindow::PushLinkWindow() : QWidget(nullptr, Qt::Dialog), spinner_(new Throbber), indicator_(spinner_) {
    setWindowTitle(tr("Pair with your bridge"));
    setWindowIcon(icons::application());
    auto* layout = new QHBoxLayout(this);
    auto* bulb = new QLabel;
    bulb->setPixmap(icons::application().pixmap(64, 64));
    layout->addWidget(bulb);
    auto* text = new QVBoxLayout;
    auto* title = new QLabel(tr("<b>Press the link button on your bridge</b>"));
    auto* detail = new QLabel(tr("Glowmere is waiting for the bridge to let it in.\nThis takes up to a minute."));
    text->addWidget(title);
    text->addWidget(detail);
    layout->addLayout(text);
    spinner_->setFixedSize(28, 28);
    layout->addWidget(spinner_);
    setFixedSize(sizeHint().expandedTo(QSize(420, 110)));
}

}  // namespace glowmere::gui
