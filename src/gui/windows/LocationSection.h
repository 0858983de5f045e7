#pragma once

#include <QWidget>
#include <memory>
#include <vector>

#include "gui/app/GuiContext.h"
#include "platform/Views.h"

class QLineEdit;
class QLabel;
class QPushButton;

namespace glowmere {
class LocationSettings;
}

namespace glowmere::gui {

// The settings window's Location section: the position sun-linked schedules
// use and where it came from, fields to enter one by hand, and today's
// sunrise and sunset there. The values live in LocationSettings on the
// controller thread; it is told to refresh whenever the section is shown.
class LocationSection : public QWidget {
    Q_OBJECT
public:
    LocationSection(LocationSettings& settings, GuiContext& context, QWidget* parent = nullptr);

    QLineEdit* latitudeField() const { return latitude_; }
    QLineEdit* longitudeField() const { return longitude_; }
    QPushButton* useButton() const { return use_; }
    QString positionText() const;
    QString sourceText() const;
    QString sunriseText() const;
    QString sunsetText() const;
    QString messageText() const;

protected:
    void showEvent(QShowEvent* event) override;

private:
    QWidget* widgetFor(platform::Control& control, const char* hint);

    LocationSettings& settings_;
    GuiContext& context_;
    std::vector<std::shared_ptr<platform::View>> views_;
    QLineEdit* latitude_;
    QLineEdit* longitude_;
    QPushButton* use_;
    QLabel* position_;
    QLabel* source_;
    QLabel* sunrise_;
    QLabel* sunset_;
    QLabel* message_;
};

}  // namespace glowmere::gui
