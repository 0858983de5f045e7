#pragma once

#include <QDialog>

class QLabel;

namespace glowmere::gui {

// "About Glowmere": the version, the licence and the project's web address,
// with a Close button (Qt thread).
class AboutDialog : public QDialog {
    Q_OBJECT
public:
    explicit AboutDialog(QWidget* parent = nullptr);

    QLabel* versionLabel() const { return version_; }
    QLabel* licenceLabel() const { return licence_; }
    QLabel* homepageLabel() const { return homepage_; }

private:
    QLabel* version_;
    QLabel* licence_;
    QLabel* homepage_;
};

}  // namespace glowmere::gui
