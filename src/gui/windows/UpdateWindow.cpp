#include "gui/windows/UpdateWindow.h"

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

#include "gui/adapters/QtText.h"
#include "gui/app/GuiContext.h"
#include "gui/widgets/Icons.h"
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
      visit_(new QPushButton(tr("Web page"), this)),
      notNow_(new QPushButton(tr("Not now"), this)),
      skip_(new QPushButton(tr("Skip this version"), this)),
      showInFolder_(new QPushButton(tr("Show in folder"), this)) {
    packageHint_ = new QLabel(this);
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
    message_->setTextInteractionFlags(Qt::TextSelectableByMouse);
    packageHint_->setWordWrap(true);
    packageHint_->setTextFormat(Qt::PlainText);
    packageHint_->setTextInteractionFlags(Qt::TextSelectableByMouse);
    packageHint_->hide();
    showInFolder_->hide();
    progress_->setRange(0, 1000);
    progress_->hide();
    download_->setAccessibleName(tr("Download"));
    visit_->setAccessibleName(tr("Web page"));
    notNow_->setAccessibleName(tr("Not now"));
    skip_->setAccessibleName(tr("Skip this version"));
    showInFolder_->setAccessibleName(tr("Show in folder"));
    download_->setDefault(true);
    connect(download_, &QPushButton::clicked, this, &UpdateWindow::downloadRequested);
    connect(visit_, &QPushButton::clicked, this, &UpdateWindow::visitRequested);
    connect(notNow_, &QPushButton::clicked, this, &UpdateWindow::notNowRequested);
    connect(skip_, &QPushButton::clicked, this, &UpdateWindow::skipRequested);
    connect(showInFolder_, &QPushButton::clicked, this, [this] {
        if (const auto saved = controller_.state().saved)
            emit showInFolderRequested(QString::fromStdString(saved->string()));
    });

    auto* form = new QFormLayout;
    form->addRow(tr("Version:"), version_);
    form->addRow(tr("Released:"), releaseDate_);
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(skip_);
    buttons->addWidget(visit_);
    buttons->addWidget(progress_, 1);
    buttons->addStretch();
    buttons->addWidget(notNow_);
    buttons->addWidget(download_);
    auto* saved = new QHBoxLayout;
    saved->addWidget(message_, 1);
    saved->addWidget(showInFolder_, 0, Qt::AlignTop);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(form);
    layout->addWidget(news_, 1);
    layout->addWidget(packageHint_);
    layout->addLayout(saved);
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

QString UpdateWindow::packageHintText() const {
    return packageHint_->text();
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
    // Installed by the package manager: it updates Glowmere, not a download.
    download_->setVisible(!state.fromPackage);
    packageHint_->setText(qs(state.packageHint));
    packageHint_->setVisible(state.fromPackage);
    showInFolder_->setVisible(state.saved.has_value());
}

}  // namespace glowmere::gui
