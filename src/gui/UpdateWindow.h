#pragma once

#include <QWidget>

#include "gui/QtWindow.h"

class QLabel;
class QProgressBar;
class QPushButton;
class QTextBrowser;

namespace glowmere {
class UpdateWindowController;
}

namespace glowmere::gui {

// The update window: what is new in the newer version, its number and
// release date, Download with a progress bar and a line saying where the
// file went or what went wrong. It only shows the controller's state; the
// check and the download run on a thread of their own.
class UpdateWindow : public QWidget {
    Q_OBJECT
public:
    explicit UpdateWindow(UpdateWindowController& controller);
    ~UpdateWindow() override;

    platform::Window& window() { return window_; }
    QPushButton* downloadButton() const { return download_; }
    QProgressBar* progressBar() const { return progress_; }
    QTextBrowser* news() const { return news_; }
    QString versionText() const;
    QString releaseDateText() const;
    QString messageText() const;

signals:
    // The user asked for the download, or for the web page.
    void downloadRequested();
    void visitRequested();

private:
    void refresh();

    UpdateWindowController& controller_;
    QtWindow window_{this};
    QTextBrowser* news_;
    QLabel* version_;
    QLabel* releaseDate_;
    QLabel* message_;
    QProgressBar* progress_;
    QPushButton* download_;
    QPushButton* visit_;
};

}  // namespace glowmere::gui
