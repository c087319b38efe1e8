// A window timer with the rules the program's waits rely on:
//
// - interval in milliseconds; 0 means it never ticks, even when enabled;
// - enabling a timer that is already enabled does not restart its count, so a wait
//   that enables it again gets only what is left of the running period;
// - changing the interval of an enabled timer restarts the count with the new period;
// - a tick does not disable the timer: it keeps ticking until it is disabled.
//
// Ticks are delivered only while the GUI thread runs its event loop or pumps messages
// (PumpMessages). GUI thread only.
#pragma once

#include <QObject>
#include <QTimer>

namespace tcu {

class WindowTimer : public QObject {
    Q_OBJECT
public:
    explicit WindowTimer(QObject* parent = nullptr);

    int interval() const { return interval_; }
    void setInterval(int ms);
    bool isEnabled() const { return enabled_; }
    void setEnabled(bool on);

signals:
    void tick();

private:
    void apply();

    QTimer timer_;
    int interval_ = 0;
    bool enabled_ = false;
};

} // namespace tcu
