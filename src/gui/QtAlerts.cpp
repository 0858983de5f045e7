#include "gui/QtAlerts.h"

#include <QApplication>
#include <QMessageBox>
#include <QPushButton>
#include <chrono>
#include <future>
#include <memory>

#include "gui/GuiContext.h"
#include "gui/GuiPart.h"
#include "gui/QtText.h"

namespace glowmere::gui {

platform::AlertResponse QtAlerts::runModal(const platform::AlertSpec& alert) {
    auto answer = std::make_shared<std::promise<platform::AlertResponse>>();
    auto future = answer->get_future();
    ++shown_;
    auto show = [alert, answer] {
        QMessageBox box;
        box.setIcon(QMessageBox::Warning);
        box.setWindowTitle(QObject::tr("Glowmere"));
        box.setText(qs(alert.message));
        box.setInformativeText(qs(alert.informativeText));
        QPushButton* def = box.addButton(qs(alert.defaultButton), QMessageBox::AcceptRole);
        QPushButton* alt =
            alert.alternateButton.empty() ? nullptr : box.addButton(qs(alert.alternateButton), QMessageBox::ActionRole);
        QPushButton* other =
            alert.otherButton.empty() ? nullptr : box.addButton(qs(alert.otherButton), QMessageBox::RejectRole);
        box.setDefaultButton(def);
        box.exec();
        auto response = platform::AlertResponse::Default;
        if (alt && box.clickedButton() == alt) response = platform::AlertResponse::Alternate;
        if (other && box.clickedButton() == other) response = platform::AlertResponse::Other;
        answer->set_value(response);
    };
    if (onGuiThread()) {
        show();
        return future.get();
    }
    postToGui(show);
    // The controller thread waits, never the Qt thread; at shutdown nobody
    // will answer, so the wait gives up then.
    while (future.wait_for(std::chrono::milliseconds(50)) != std::future_status::ready)
        if (shuttingDown_) return platform::AlertResponse::Default;
    return future.get();
}

void QtAlerts::beep() {
    postToGui([] { QApplication::beep(); });
}

void QtAlerts::shutDown() {
    shuttingDown_ = true;
}

}  // namespace glowmere::gui
