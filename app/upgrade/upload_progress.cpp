// The upload window's event procedures while a firmware image is transmitted: Cancel,
// the job watch, the completion wait, and what follows a complete upload.
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>

#include "app/forms/form1.h"
#include "app/forms/form3.h"
#include "app/link/exchange.h"
#include "app/link/run_time_error.h"
#include "app/upgrade/upgrade_boxes.h"
#include "app/upgrade/upgrade_rules.h"

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
    ErrorState err;
    err.run([&] {
        if (main.CommCtl1.fileReceive())
            main.CommCtl1.setFileReceive(false);
    });
    err.run([&] {
        if (main.CommCtl1.fileTransmit())
            main.CommCtl1.setFileTransmit(false);
    });
    if (main.mnuload_5->isChecked()) {
        // Nothing was saved when the option came on after the load began: there is no
        // rate to go back to, and the port stays where it is.
        if (const std::optional<QString> baud = upgrade::savedBaud(main.core().SavedPortSettings)) {
            main.ExchangeCommand(QStringLiteral("<RSBAUD=") + *baud + QLatin1Char('>'));
            err.run([&] { main.CommCtl1.setSettings(main.core().SavedPortSettings); });
        }
    }
    if (err)
        main.showRunTimeError(err.last()->description);
    main.unloadForm3();
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
    ask(isVisible() ? this : nullptr,
        QStringLiteral("RESTART the scanner by DISCONNET and RECONNECT the power cable\r"
                       "then press OK to continue"),
        QStringLiteral("Restart"), Buttons::Ok, Icon::Information);
    if (isEnding())
        return;
    mnuauto_Click();
    if (isEnding())
        return;

    bool answered = false;
    {
        LinkOperation running(*core_);
        core_->TimeoutFlag = 0;
        if (Timer1.interval() == 0)
            Timer1.setInterval(kFallbackPingWaitMs);
        Timer1.setEnabled(true);
        answered = SendPingAndWait();
    }
    if (answered)
        cmdReceive_Click();
}

} // namespace tcu
