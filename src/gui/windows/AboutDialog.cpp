#include "gui/windows/AboutDialog.h"

#include <QDialogButtonBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

#include "gui/widgets/Icons.h"
#include "platform/Version.h"

namespace glowmere::gui {

namespace {
QString link(const QString& url, const QString& text) {
    return QString("<a href=\"%1\">%2</a>").arg(url.toHtmlEscaped(), text.toHtmlEscaped());
}
}  // namespace

AboutDialog::AboutDialog(QWidget* parent) : QDialog(parent) {
    setObjectName("aboutGlowmere");
    setWindowTitle(tr("About Glowmere"));
    setAccessibleName(tr("About Glowmere"));

    auto* icon = new QLabel(this);
    icon->setPixmap(icons::application().pixmap(64, 64));
    icon->setAlignment(Qt::AlignTop);

    auto* name = new QLabel(tr("Glowmere"), this);
    QFont big = name->font();
    big.setPointSizeF(big.pointSizeF() * 1.6);
    big.setBold(true);
    name->setFont(big);
    version_ = new QLabel(
        tr("Version %1").arg(QString::fromUtf8(platform::version().data(), platform::version().size())), this);
    version_->setObjectName("aboutVersion");
    version_->setTextInteractionFlags(Qt::TextSelectableByMouse);
    auto* summary = new QLabel(tr("Control the colour lamps on your lighting bridge."), this);
    summary->setWordWrap(true);
    const QString homepage = QString::fromUtf8(platform::homepage().data(), platform::homepage().size());
    homepage_ = new QLabel(link(homepage, homepage), this);
    homepage_->setObjectName("aboutHomepage");
    licence_ = new QLabel(tr("Free software under the %1 (GPL-3.0-or-later): you may share and change it under its "
                             "terms. It comes with no warranty.")
                              .arg(link("https://www.gnu.org/licenses/gpl-3.0.html",
                                        tr("GNU General Public License, version 3 or later"))),
                          this);
    licence_->setObjectName("aboutLicence");
    licence_->setWordWrap(true);
    for (QLabel* label : {homepage_, licence_}) {
        label->setTextFormat(Qt::RichText);
        label->setOpenExternalLinks(true);
        label->setTextInteractionFlags(Qt::TextBrowserInteraction);
    }

    auto* text = new QVBoxLayout;
    text->addWidget(name);
    text->addWidget(version_);
    text->addSpacing(8);
    text->addWidget(summary);
    text->addWidget(homepage_);
    text->addSpacing(8);
    text->addWidget(licence_);
    auto* top = new QHBoxLayout;
    top->addWidget(icon);
    top->addSpacing(12);
    top->addLayout(text, 1);

    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Close, this);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    if (QPushButton* close = buttons->button(QDialogButtonBox::Close)) close->setDefault(true);

    auto* layout = new QVBoxLayout(this);
    layout->addLayout(top);
    layout->addWidget(buttons);
    setFixedWidth(420);
}

}  // namespace glowmere::gui
