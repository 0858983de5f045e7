#include "gui/UpdateWindow.h"

#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QPointer>
#include <QProgressBar>
#include <QPushButton>
#include <QTextBrowser>
#include <QVBoxLayout>
#include <algorithm>
#include <atomic>
#include <memory>

#include "gui/GuiContext.h"
#include "gui/Icons.h"
#include "gui/QtText.h"
#include "update/UpdateWindowController.h"

namespace glowmere::gui {

UpdateWindow::UpdateWindow(UpdateWindowController& controller)
    : QWidget(nullptr, Qt::Window),
      controller_(controller),
      news_(new QTextBrowser(this)),
      version_(new QLabel(this)),
      releaseDate_(new QLabel(this)),
      message_(new QLabel(this)),
      progress_(new QProgressBar(this)),
      download_(new QPushButton(tr("Download"), this)),
      visit_(new QPushButton(tr("Web page"), this)) {
    setWindowTitle(tr("A new version of Glowmere"));
    setWindowIcon(icons::application());
    setObjectName("updateWindow");
    // The news document is shown, never followed: no links opened, nothing fetched.
    news_->setOpenLinks(false);
    news_->setOpenExternalLinks(false);
    news_->setAccessibleName(tr("What is new"));
    version_->setTextInteractionFlags(Qt::TextSelectableByMouse);
    releaseDate_->setTextInteractionFlags(Qt::TextSelectableByMouse);
    message_->setWordWrap(true);
    message_->setTextFormat(Qt::PlainText);
    progress_->setRange(0, 1000);
    progress_->hide();
    download_->setAccessibleName(tr("Download"));
    visit_->setAccessibleName(tr("Web page"));
    download_->setDefault(true);
    connect(download_, &QPushButton::clicked, this, &UpdateWindow::downloadRequested);
    connect(visit_, &QPushButton::clicked, this, &UpdateWindow::visitRequested);

    auto* form = new QFormLayout;
    form->addRow(tr("Version:"), version_);
    form->addRow(tr("Released:"), releaseDate_);
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(progress_, 1);
    buttons->addStretch();
    buttons->addWidget(visit_);
    buttons->addWidget(download_);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(form);
    layout->addWidget(news_, 1);
    layout->addWidget(message_);
    layout->addLayout(buttons);
    resize(520, 420);

    // Progress arrives for every piece of the download: one refresh waits at most.
    QPointer<UpdateWindow> guard(this);
    auto waiting = std::make_shared<std::atomic<bool>>(false);
    controller_.setObserver([guard, waiting] {
        if (waiting->exchange(true)) return;
        postToGui([guard, waiting] {
            waiting->store(false);
            if (guard) guard->refresh();
        });
    });
    refresh();
}

UpdateWindow::~UpdateWindow() {
    controller_.setObserver(nullptr);
}

QString UpdateWindow::versionText() const {
    return version_->text();
}

QString UpdateWindow::releaseDateText() const {
    return releaseDate_->text();
}

QString UpdateWindow::messageText() const {
    return message_->text();
}

void UpdateWindow::refresh() {
    const auto state = controller_.state();
    version_->setText(qs(state.version));
    releaseDate_->setText(qs(state.releaseDate));
    const QString news = qs(state.news);
    if (news_->property("shownNews").toString() != news) {
        news_->setProperty("shownNews", news);
        switch (state.newsFormat) {
            case UpdateWindowController::NewsFormat::Html:
                news_->setHtml(news);
                break;
            case UpdateWindowController::NewsFormat::Markdown:
                news_->setMarkdown(news);
                break;
            case UpdateWindowController::NewsFormat::Plain:
                news_->setPlainText(news);
                break;
        }
    }
    message_->setText(qs(state.message));
    progress_->setVisible(state.downloading);
    if (state.progress.total && *state.progress.total > 0) {
        progress_->setRange(0, 1000);
        progress_->setValue(
            static_cast<int>(std::min<std::uint64_t>(1000, state.progress.received * 1000 / *state.progress.total)));
    } else {
        progress_->setRange(0, 0);  // the size is not known: busy
    }
    download_->setEnabled(!state.downloading);
}

}  // namespace glowmere::gui
