#pragma once

#include <QDBusConnection>
#include <QObject>
#include <functional>

namespace glowmere::gui {

// Tells when the machine wakes from sleep: logind's PrepareForSleep(false)
// on the system bus. Without a system bus it never tells.
class SleepWatcher : public QObject {
    Q_OBJECT
public:
    SleepWatcher(QDBusConnection bus, std::function<void()> woke, QObject* parent = nullptr);
    bool watching() const { return watching_; }

private slots:
    void prepareForSleep(bool sleeping);

private:
    std::function<void()> woke_;
    bool watching_ = false;
};

}  // namespace glowmere::gui
