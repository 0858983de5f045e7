#pragma once

#include <QWidget>

#include "gui/adapters/QtWindow.h"

class QLabel;
class QProgressBar;
class QPushButton;
class QTextBrowser;

namespace glowmere {
class UpdateWindowController;
}

namespace glowmere::gui {

// The update window: what is new in the newer version, its number and
// release date, Download, Not now and Skip this version, a progress bar and a
// line saying where the file went (with Show in folder) or what went wrong.
// Where the package manager updates Glowmere, it says so instead of
// offering the download. It only shows the controller's state; the
// check and the download run on a thread of their own.
class UpdateWindow : public QWidget {
    Q_OBJECT
public:
    explicit UpdateWindow(UpdateWindowController& controller);
    ~UpdateWindow() override;

    platform::Window& window() { return window_; }
    QPushButton* downloadButton() const { return download_; }
    QPushButton* notNowButton() const { return notNow_; }
    QPushButton* skipButton() const { return skip_; }
    QPushButton* showInFolderButton() const { return showInFolder_; }
    QProgressBar* progressBar() const { return progress_; }
    QTextBrowser* news() const { return news_; }
    QString versionText() const;
    QString releaseDateText() const;
    QString messageText() const;
    QString packageHintText() const;

signals:
    // The user asked for the download, or for the web page.
    void downloadRequested();
    void visitRequested();
    void notNowRequested();
    void skipRequested();
    // Show in folder, for the saved file.
    void showInFolderRequested(const QString& file);

private:
    void refresh();

    UpdateWindowController& controller_;
    QtWindow window_{this};
    QTextBrowser* news_;
    QLabel* version_;
    QLabel* releaseDate_;
    QLabel* message_;
    QLabel* packageHint_;
    QProgressBar* progress_;
    QPushButton* download_;
    QPushButton* visit_;
    QPushButton* notNow_;
    QPushButton* skip_;
    QPushButton* showInFolder_;
};

}  // namespace glowmere::gui
