#include "gui/adapters/QtAlerts.h"

#include <QApplication>
#include <QMessageBox>
#include <QPushButton>
#include <algorithm>
#include <chrono>
#include <future>
#include <memory>

#include "gui/adapters/QtText.h"
#include "gui/app/GuiContext.h"
#include "gui/app/GuiPart.h"
#include "platform/RunLoop.h"

namespace glowmere::gui {

void QtAlerts::show(const platform::AlertSpec& alert, std::function<void(platform::AlertResponse)> answered) {
    if (shuttingDown_) return;
    ++shown_;
    // Shown with show(), not exec(): a nested event loop would keep a quit
    // waiting until someone answers.
    auto* box = new QMessageBox;
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->setWindowModality(Qt::ApplicationModal);
    switch (alert.icon) {
        case platform::AlertIcon::Question:
            box->setIcon(QMessageBox::Question);
            break;
        case platform::AlertIcon::Warning:
            box->setIcon(QMessageBox::Warning);
            break;
        case platform::AlertIcon::Information:
            box->setIcon(QMessageBox::Information);
            break;
    }
    box->setWindowTitle(QObject::tr("Glowmere"));
    box->setText(qs(alert.message));
    box->setInformativeText(qs(alert.informativeText));
    QPushButton* def = box->addButton(qs(alert.defaultButton), QMessageBox::AcceptRole);
    QPushButton* alt =
        alert.alternateButton.empty() ? nullptr : box->addButton(qs(alert.alternateButton), QMessageBox::ActionRole);
    QPushButton* other =
        alert.otherButton.empty() ? nullptr : box->addButton(qs(alert.otherButton), QMessageBox::RejectRole);
    box->setDefaultButton(def);
    QObject::connect(box, &QMessageBox::buttonClicked, box, [box, alt, other, answered](QAbstractButton* clicked) {
        auto response = platform::AlertResponse::Default;
        if (alt && clicked == alt) response = platform::AlertResponse::Alternate;
        if (other && clicked == other) response = platform::AlertResponse::Other;
        // Answered once: the box goes as the answer leaves.
        QObject::disconnect(box, &QMessageBox::buttonClicked, nullptr, nullptr);
        answered(response);
    });
    open_.erase(std::remove_if(open_.begin(), open_.end(), [](const auto& b) { return b.isNull(); }), open_.end());
    open_.emplace_back(box);
    box->show();
}

platform::AlertResponse QtAlerts::runModal(const platform::AlertSpec& alert) {
    auto answer = std::make_shared<std::promise<platform::AlertResponse>>();
    auto future = answer->get_future();
    auto reply = [answer](platform::AlertResponse response) { answer->set_value(response); };
    if (onGuiThread()) {
        // Nothing waits here on the Qt thread: the notice shows and its
        // default stands.
        show(alert, [](platform::AlertResponse) {});
        return platform::AlertResponse::Default;
    }
    postToGui([this, alert, reply] { show(alert, reply); });
    // The controller thread waits, never the Qt thread; at shutdown nobody
    // will answer, so the wait gives up then with the harmless default.
    while (future.wait_for(std::chrono::milliseconds(50)) != std::future_status::ready)
        if (shuttingDown_) return platform::AlertResponse::Default;
    return future.get();
}

void QtAlerts::ask(const platform::AlertSpec& alert, std::function<void(platform::AlertResponse)> answered) {
    postToGui([this, alert, answered = std::move(answered)]() mutable {
        show(alert, [this, answered = std::move(answered)](platform::AlertResponse response) {
            if (shuttingDown_) return;
            loop_.post([answered, response] { answered(response); });
        });
    });
}

QtAlerts::~QtAlerts() {
    // A box left open must not answer into an object that is gone.
    for (auto& box : open_) delete box.data();
}

void QtAlerts::beep() {
    postToGui([] { QApplication::beep(); });
}

void QtAlerts::shutDown() {
    shuttingDown_ = true;
    auto closeAll = [this] {
        // Closed as if cancelled: hidden and deleted without an answer (a
        // box without an escape button refuses close()).
        for (auto& box : open_)
            if (box) {
                QObject::disconnect(box.data(), &QMessageBox::buttonClicked, nullptr, nullptr);
                box->hide();
                box->deleteLater();
            }
        open_.clear();
    };
    if (onGuiThread())
        closeAll();
    else
        postToGui(closeAll);
}

}  // namespace glowmere::gui
