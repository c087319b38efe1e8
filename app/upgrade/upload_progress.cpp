// An upload's begin, cancel, end and what follows it (the core's), and the upload
// window's event procedures while a firmware image is transmitted: Cancel, the job watch
// and the completion wait.
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>

#include "app/forms/form1.h"
#include "app/forms/form3.h"
#include "app/link/exchange.h"
#include "app/link/run_time_error.h"
#include "app/upgrade/upgrade_boxes.h"
#include "app/upgrade/upgrade_rules.h"
#include "vort/property_values.h"

namespace tcu {

namespace {

using upgrade::ask;
using vort::dialogs::Answer;
using vort::dialogs::Buttons;
using vort::dialogs::Icon;

// Timer1's wait for the ping's ACK when nothing has given it an interval yet; an
// interval of 0 would never end the wait.
constexpr int kFallbackPingWaitMs = 1000;

} // namespace

void Form3::Command1_Click() {
    if (ask(this, QStringLiteral("Do you want to CANCEL the file transfer?"),
            QStringLiteral("Abort file transfer..."), Buttons::YesNo) != Answer::Yes)
        return;
    Form1& main = main_;
    // Errors are shown, and the rest still runs: the window must go and give the
    // control back its text mode whatever a step did.
    if (const std::optional<QString> error =
            main.core().CancelTransfer(main.mnuload_5->isChecked()))
        main.showRunTimeError(*error);
    main.unloadForm3();
}

void ProgramCore::BeginUpload() {
    SavedRThreshold = CommCtl1.rThreshold();
    SavedSThreshold = CommCtl1.sThreshold();
    CommCtl1.setRThreshold(0);
    CommCtl1.setSThreshold(0);
}

std::optional<QString> ProgramCore::CancelTransfer(bool fastLoad) {
    ErrorState err;
    err.run([&] {
        if (CommCtl1.fileReceive())
            CommCtl1.setFileReceive(false);
    });
    err.run([&] {
        if (CommCtl1.fileTransmit())
            CommCtl1.setFileTransmit(false);
    });
    if (fastLoad) {
        // Nothing was saved when the option came on after the load began: there is no
        // rate to go back to, and the port stays where it is.
        if (const std::optional<QString> baud = upgrade::savedBaud(SavedPortSettings)) {
            ExchangeCommand(QStringLiteral("<RSBAUD=") + *baud + QLatin1Char('>'));
            err.run([&] { CommCtl1.setSettings(SavedPortSettings); });
        }
    }
    if (err)
        return err.last()->description;
    return std::nullopt;
}

std::optional<QString> ProgramCore::EndUpload() {
    // Each step on its own: a refused one must not leave the control in binary mode.
    ErrorState err;
    err.run([&] { CommCtl1.setRThreshold(SavedRThreshold); });
    err.run([&] { CommCtl1.setSThreshold(SavedSThreshold); });
    err.run([&] { CommCtl1.setComType(vort::kComTypeRs232); });
    err.run([&] { CommCtl1.setInputMode(vort::kInputModeText); });
    err.run([&] { CommCtl1.setProtocol(vort::kProtocolAscii); });
    err.run([&] { CommCtl1.setFileTransmit(false); });
    if (err)
        return err.last()->description;
    return std::nullopt;
}

void Form3::Timer3_Timer() {
    bool running = true;
    ErrorState err;
    err.run([&] { running = main_.CommCtl1.jobProcessing(); });
    // Enabling a running Timer2 does not restart its count.
    if (!err && !running)
        Timer2.setEnabled(true);
}

void Form3::Timer2_Timer() {
    Timer2.setEnabled(false);
    const bool complete = ProgressBar1->value() == ProgressBar1->maximum();
    Form1& main = main_;
    main.unloadForm3();
    if (complete)
        main.afterUpload();
}

void Form1::afterUpload() {
    if (isEnding())
        return;
    // The detection and the ping share the link with an exchange the operator may
    // have started meanwhile; they wait for it instead of running inside it.
    if (linkBusy()) {
        whenLinkFree([this] { afterUpload(); });
        return;
    }
    core_->AfterUpload();
}

int16_t ProgramCore::AfterUpload() {
    ask(dialogOwner(),
        QStringLiteral("RESTART the scanner by DISCONNET and RECONNECT the power cable\r"
                       "then press OK to continue"),
        QStringLiteral("Restart"), Buttons::Ok, Icon::Information);
    if (ending_)
        return 0;
    AutoBaudDetect();
    if (ending_)
        return 0;

    bool answered = false;
    {
        LinkOperation running(*this);
        TimeoutFlag = 0;
        if (Timer1.interval() == 0)
            Timer1.setInterval(kFallbackPingWaitMs);
        Timer1.setEnabled(true);
        answered = SendPingAndWait();
    }
    return answered ? ReceiveSetup() : int16_t{0};
}

} // namespace tcu
