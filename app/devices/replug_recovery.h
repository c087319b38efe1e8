// Getting the scanner back after its adapter is pulled and plugged in again.
//
// While the port is open, the device under it being pulled out (its removal from the
// device source, or the control's line event for a hang-up when the port's path has
// gone with it) turns the indicator to "closed" and says so on status panel 2 at once:
// the port is closed (panel 1 "Settings: Closed") and the port number, its settings and
// the device's identity are kept. When the same device comes back (the same stable name,
// or the same USB serial number of the same vendor and product; maybe as another node)
// and recovery is on, the port is opened again on the same number and settings (the
// port map is first pointed at the device when it no longer leads there), the scanner is
// pinged and, once it answers, the indicator shows the port open again. Nothing is
// asked of the operator.
//
// The recovery waits while a link operation runs, while the face reports a modal box or
// a transfer (CoreView::mustNotInterrupt) and while the control runs a transfer job; it
// looks again 200 ms later, only while a returned device waits (no timer runs while the
// device is away). A transfer job running at the removal keeps the port until it ends.
//
// Owner's thread only.
#pragma once

#include <QObject>
#include <QString>
#include <QTimer>
#include <cstdint>
#include <optional>

#include "app/devices/device_source.h"

namespace tcu {
class ProgramCore;
}

namespace tcu::devices {

class ReplugRecovery : public QObject {
public:
    // What the recovery is doing.
    enum class State {
        Idle,     // nothing lost
        Lost,     // the device was pulled out; waiting for it
        Returned, // it is back; waiting for the program to be free to reopen it
    };

    // Listens to source's news and reports to core's view. Both must outlive it.
    ReplugRecovery(ProgramCore& core, DeviceSource& source);

    // Whether a returned device is reopened (on by default). A removal is shown either
    // way.
    bool enabled() const { return enabled_; }
    void setEnabled(bool on);

    // The control's line event (CommEvent code) while its port is open: a carrier or
    // hang-up event whose port path has vanished counts as the device pulled out.
    void lineEvent(int16_t code);
    // A device was plugged in or pulled out.
    void deviceChanged(DeviceChange change, const DeviceInfo& info);

    State state() const { return state_; }
    // The device lost, as last known (empty node while Idle).
    const DeviceInfo& lostDevice() const { return lost_; }
    // The port number and settings a returned device is reopened with.
    int16_t lostPort() const { return port_; }
    const QString& lostSettings() const { return settings_; }

    // How long to wait before looking again while the program is busy, in ms.
    static constexpr int kBusyRetryMs = 200;
    // Pings tried after the reopen, each waiting this long for the acknowledgement.
    static constexpr int kPingAttempts = 3;
    static constexpr int kPingWaitMs = 1000;

private:
    // The open port's device is gone: what was learnt about it, from a removal or not.
    void lose(const std::optional<DeviceInfo>& device, const QString& path);
    // Whether the port's path (and its links) leads to info.
    bool portLeadsTo(const QString& portPath, const DeviceInfo& info) const;
    bool mustWait();
    // The path the open port maps to; empty when no port is open (or the control says no).
    QString openPortPath();
    // Back to Idle when the port the recovery closed was opened by the operator since.
    void settle();
    void tryReopen();
    void reopen();

    ProgramCore& core_;
    DeviceSource& source_;
    bool enabled_ = true;
    State state_ = State::Idle;
    DeviceInfo lost_;
    DeviceInfo returned_;
    int16_t port_ = 0;
    bool portClosed_ = false; // the loss closed the port (no transfer held it)
    QString settings_;
    QTimer retry_;
};

} // namespace tcu::devices
