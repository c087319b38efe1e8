// The program core: its control, the link operations and what it shows.
#include "app/core/program_core.h"

#include <QTimer>
#include <cstdio>

#include "app/devices/device_source.h"
#include "app/devices/replug_recovery.h"
#include "app/identity/revision_state.h"
#include "app/link/comm_control_host.h"
#include "platform/dialogs/dialogs.h"

namespace tcu {

ProgramCore::ProgramCore() {
    connect(&Timer1, &WindowTimer::tick, this, [this] { Timer1_Timer(); });
    // First of the "<APP1RV:>" rules: the faces' display rules go behind it.
    registerRevisionRules(*this);
    registerIdentityRules();
    answerRules_.add(QStringLiteral("<SETPAR:>"),
                     [this](const QString& answer) { SettingsAnswer(answer); });
}

ProgramCore::~ProgramCore() {
    replug_.reset();
    devices_.reset();
    // Let go of the control before its host: the proxy holds a reference to it.
    CommCtl1 = CommControl();
    commHost_.reset();
}

void ProgramCore::createControl() {
    const std::string design = CommControlHost::storedDesign();
    if (design.empty())
        throw ControlUnavailable("the window's stored design of the control is missing",
                                 QStringLiteral("The program itself is damaged; build or "
                                                "install it again."));
    commHost_ = std::make_unique<CommControlHost>(design);
    CommCtl1 = CommControl(commHost_->proxy());
    commHost_->onComm = [this] { CommCtl1_OnComm(); };
}

void ProgramCore::setDeviceSource(std::unique_ptr<devices::DeviceSource> source) {
    replug_.reset();
    devices_ = std::move(source);
    if (!devices_)
        return;
    replug_ = std::make_unique<devices::ReplugRecovery>(*this, *devices_);
    if (!devices_->watch())
        std::fprintf(stderr, "tcu1: devices plugged in or out are not noticed: %s\n",
                     devices_->watchError().toLocal8Bit().constData());
}

void ProgramCore::setPanelText(int panel, const QString& text) {
    if (view_ != nullptr)
        view_->setPanelText(panel, text);
}

void ProgramCore::showConnected(bool connected) {
    if (view_ != nullptr)
        view_->showConnected(connected);
}

void ProgramCore::setScannerButtons(bool enabled) {
    if (view_ != nullptr)
        view_->setScannerButtons(enabled);
}

QString ProgramCore::openPortText() {
    return QStringLiteral("Settings: ") + CommCtl1.settings() + QStringLiteral("  Com Port: ") +
           QString::number(CommCtl1.commPort());
}

void ProgramCore::showRunTimeError(const QString& description) {
    if (ending_)
        return;
    vort::dialogs::MessageBoxRequest box;
    box.text = description;
    box.title = QString::fromLatin1(kAppTitle);
    box.icon = vort::dialogs::Icon::Exclamation;
    box.buttons = vort::dialogs::Buttons::Ok;
    box.owner = dialogOwner();
    vort::dialogs::dialogs().messageBox(box);
}

void ProgramCore::whenLinkFree(std::function<void()> action) {
    if (ending_)
        return;
    if (linkBusy_ == 0) {
        action();
        return;
    }
    deferredLinkAction_ = std::move(action);
}

LinkOperation::LinkOperation(ProgramCore& core) : core_(core) {
    ++core_.linkBusy_;
}

LinkOperation::~LinkOperation() {
    if (--core_.linkBusy_ > 0 || !core_.deferredLinkAction_)
        return;
    // Posted, not run here: the operation that just ended is still on the stack.
    QTimer::singleShot(0, &core_, [c = &core_, action = std::move(core_.deferredLinkAction_)] {
        c->whenLinkFree(action);
    });
    core_.deferredLinkAction_ = nullptr;
}

} // namespace tcu
