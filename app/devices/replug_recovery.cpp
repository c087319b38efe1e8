// Replug recovery: the device under the open port pulled out, and opened again when it
// comes back.
#include "app/devices/replug_recovery.h"

#include "app/core/program_core.h"
#include "app/link/message_pump.h"
#include "app/link/run_time_error.h"
#include "vort/comm_events.h"

namespace tcu::devices {

namespace {

QString lostText(const DeviceInfo& device, bool recovering) {
    const QString what = device.stableName.isEmpty() && device.serial.isEmpty() &&
                                 device.product.isEmpty() && device.vendor.isEmpty()
                             ? device.node
                             : device.shortTitle();
    QString text = QStringLiteral("Scanner unplugged: ") + what;
    if (recovering)
        return text + QStringLiteral(" - plug it in again to reconnect");
    return text + QStringLiteral(" - plug it in and use PC Port Setting -> Auto Baud Detect");
}

} // namespace

ReplugRecovery::ReplugRecovery(ProgramCore& core, DeviceSource& source)
    : core_(core), source_(source) {
    retry_.setSingleShot(true);
    retry_.setInterval(kBusyRetryMs);
    connect(&retry_, &QTimer::timeout, this, [this] { tryReopen(); });
    connect(&source_, &DeviceSource::changed, this,
            [this](DeviceChange change, const DeviceInfo& info) { deviceChanged(change, info); });
}

void ReplugRecovery::setEnabled(bool on) {
    enabled_ = on;
    if (!on)
        retry_.stop();
    else if (state_ == State::Returned)
        tryReopen();
}

bool ReplugRecovery::portLeadsTo(const QString& portPath, const DeviceInfo& info) const {
    if (portPath.isEmpty())
        return false;
    for (const QString& step : linkChain(portPath))
        if (step == info.node || (!info.stableName.isEmpty() && step == info.stableName))
            return true;
    return false;
}

void ReplugRecovery::settle() {
    if (state_ == State::Idle || !portClosed_)
        return;
    bool open = false;
    ErrorState err;
    err.run([&] { open = core_.CommCtl1.portOpen(); });
    if (!open)
        return;
    // The operator opened a port meanwhile (a detection, the manual window): it is
    // theirs, and the lost device is no longer waited for.
    state_ = State::Idle;
    returned_ = DeviceInfo();
    retry_.stop();
}

QString ReplugRecovery::openPortPath() {
    ErrorState err;
    bool open = false;
    int16_t port = 0;
    err.run([&] { open = core_.CommCtl1.portOpen(); });
    err.run([&] { port = core_.CommCtl1.commPort(); });
    if (err || !open)
        return QString();
    return source_.portPath(port);
}

void ReplugRecovery::lineEvent(int16_t code) {
    settle();
    if (code != vort::kCommEvCd || state_ != State::Idle || core_.isEnding())
        return;
    // A carrier change on a device that is still there is the scanner's own business.
    const QString path = openPortPath();
    if (path.isEmpty() || source_.present(path))
        return;
    lose(std::nullopt, path);
}

void ReplugRecovery::deviceChanged(DeviceChange change, const DeviceInfo& info) {
    if (core_.isEnding())
        return;
    settle();
    if (change == DeviceChange::Removed) {
        if (state_ != State::Idle) {
            // A hang-up told first, without a name: the removal names the device.
            if (lost_.stableName.isEmpty() && lost_.serial.isEmpty() &&
                portLeadsTo(source_.portPath(port_), info)) {
                lost_ = info;
                core_.setPanelText(2, lostText(lost_, enabled_));
            }
            if (state_ == State::Returned && returned_.node == info.node) {
                // Gone again before it could be opened.
                state_ = State::Lost;
                returned_ = DeviceInfo();
                retry_.stop();
            }
            return;
        }
        const QString path = openPortPath();
        if (portLeadsTo(path, info))
            lose(info, path);
        return;
    }
    if (state_ == State::Idle || !lost_.sameDeviceAs(info))
        return;
    returned_ = info;
    state_ = State::Returned;
    // Posted: the news is still being delivered, and the reopen pumps messages.
    if (enabled_)
        QTimer::singleShot(0, this, [this] { tryReopen(); });
}

void ReplugRecovery::lose(const std::optional<DeviceInfo>& device, const QString& path) {
    ErrorState err;
    err.run([&] { port_ = core_.CommCtl1.commPort(); });
    err.run([&] { settings_ = core_.CommCtl1.settings(); });
    lost_ = device ? *device : DeviceInfo();
    if (!device)
        lost_.node = path;
    returned_ = DeviceInfo();
    state_ = State::Lost;

    // A transfer job keeps its port until it has ended (it fails on its own); any other
    // user of the port meets a closed one.
    bool transfer = false;
    err.run([&] { transfer = core_.CommCtl1.jobProcessing(); });
    portClosed_ = !transfer;
    if (!transfer) {
        err.run([&] { core_.CommCtl1.setPortOpen(false); });
        core_.setPanelText(1, QStringLiteral("Settings: Closed"));
    }
    core_.showConnected(false);
    core_.setPanelText(2, lostText(lost_, enabled_));
}

bool ReplugRecovery::mustWait() {
    if (core_.linkBusy())
        return true;
    if (core_.view() != nullptr && core_.view()->mustNotInterrupt())
        return true;
    bool transfer = false;
    ErrorState err;
    err.run([&] { transfer = core_.CommCtl1.jobProcessing(); });
    return transfer;
}

void ReplugRecovery::tryReopen() {
    if (state_ != State::Returned || !enabled_ || core_.isEnding())
        return;
    if (mustWait()) {
        retry_.start();
        return;
    }
    settle();
    if (state_ == State::Returned)
        reopen();
}

void ReplugRecovery::reopen() {
    LinkOperation running(core_);
    const DeviceInfo device = returned_;
    state_ = State::Idle;
    returned_ = DeviceInfo();

    // A map entry naming the old node (not a stable name) no longer leads to the device.
    const QString path = source_.portPath(port_);
    if (!portLeadsTo(path, device)) {
        if (std::optional<QString> why = source_.mapPort(port_, device.name())) {
            core_.setPanelText(2, QStringLiteral("Scanner back at ") + device.node +
                                      QStringLiteral(" but COM") + QString::number(port_) +
                                      QStringLiteral(" cannot be pointed at it: ") + *why);
            return;
        }
    }

    ErrorState err;
    err.run([&] { core_.CommCtl1.setPortOpen(false); });
    err.run([&] { core_.CommCtl1.setCommPort(port_); });
    err.run([&] { core_.CommCtl1.setSettings(settings_); });
    err.clear();
    err.run([&] { core_.CommCtl1.setPortOpen(true); });
    bool open = false;
    ErrorState look;
    look.run([&] { open = core_.CommCtl1.portOpen(); });
    if (err || !open) {
        core_.setPanelText(1, QStringLiteral("Settings: Closed"));
        core_.showConnected(false);
        core_.setPanelText(2, QStringLiteral("Scanner back at ") + device.node +
                                  QStringLiteral(" but its port cannot be opened: ") +
                                  (err ? err.last()->description : QString()));
        return;
    }
    look.run([&] { core_.setPanelText(1, core_.openPortText()); });
    core_.showConnected(true);

    bool answered = false;
    for (int attempt = 0; attempt < kPingAttempts && !answered && !core_.isEnding(); ++attempt) {
        PumpMessages();
        core_.PendingInput.clear();
        look.run([&] { core_.ReadPortText(true); });
        core_.AnswerBuffer.clear();
        core_.TimeoutFlag = 0;
        core_.Timer1.setInterval(kPingWaitMs);
        core_.Timer1.setEnabled(true);
        answered = core_.SendPingAndWait();
        core_.Timer1.setEnabled(false);
    }
    core_.TimeoutFlag = 0;
    if (answered)
        core_.setPanelText(2, QStringLiteral("Scanner reconnected: ") + device.shortTitle());
    else
        core_.setPanelText(2, QStringLiteral("Scanner's port is back (") + device.node +
                                  QStringLiteral(") but the scanner does not answer"));
}

} // namespace tcu::devices
