// The automatic baud detection (mnuauto_Click) and the ping.
#include "app/link/baud_detect.h"

#include "app/core/program_core.h"
#include "app/forms/form1.h"
#include "app/link/exchange.h"
#include "app/link/message_pump.h"
#include "app/link/port_settings_file.h"
#include "app/link/run_time_error.h"
#include "app/link/text_numbers.h"
#include "platform/dialogs/dialogs.h"

namespace tcu {

QString pingFrame() {
    return frameOf(QStringLiteral("<TXPING:>"));
}

namespace {

vort::dialogs::Answer askOperator(Form1& form, const QString& text, vort::dialogs::Buttons buttons,
                                  vort::dialogs::Icon icon = vort::dialogs::Icon::None) {
    vort::dialogs::MessageBoxRequest box;
    box.text = text;
    box.title = QString::fromLatin1(kAppTitle);
    box.icon = icon;
    box.buttons = buttons;
    box.owner = form.isVisible() ? &form : nullptr;
    return vort::dialogs::dialogs().messageBox(box);
}

} // namespace

bool ProgramCore::SendPingAndWait() {
    ErrorState err;
    err.run([&] { CommCtl1.setOutput(pingFrame()); });
    for (;;) {
        PumpMessages();
        err.run([&] { AnswerBuffer += ReadPortText(true); });
        // Anything before the ACK, a NAK included, is dropped.
        const qsizetype ack = AnswerBuffer.indexOf(kAck);
        if (ack >= 0) {
            AnswerBuffer.remove(0, ack + 1);
            Timer1.setEnabled(false);
            TimeoutFlag = 0;
            return true;
        }
        AnswerBuffer.clear();
        if (TimeoutFlag == 1 || isEnding())
            return false;
    }
}

void Form1::mnuauto_Click() {
    if (isEnding())
        return;
    if (core_->linkBusy()) {
        whenLinkFree([this] { mnuauto_Click(); });
        return;
    }
    LinkOperation running(*core_);
    using vort::dialogs::Answer;
    using vort::dialogs::Buttons;

    if (core_->StartupDetect < INT16_MAX)
        ++core_->StartupDetect;
    mnuauto->setEnabled(false);
    mnumanual->setEnabled(false);
    SSTab1->setEnabled(false);

    // Errors of the steps are not reported where they happen; only the open's is
    // looked at, once, right after it.
    ErrorState err;
    for (;;) {
        if (core_->ParityLetter.isEmpty())
            core_->ParityLetter = QStringLiteral("N");

        if (const std::optional<int16_t> port = portNumberOf(core_->IniPortCom))
            err.run([&] { CommCtl1.setCommPort(*port); });
        else
            askOperator(*this, QStringLiteral("Invalid port number"), Buttons::Ok);

        err.run([&] { CommCtl1.setPortOpen(false); });
        ErrorState openErr;
        openErr.run([&] { CommCtl1.setPortOpen(true); });
        if (openErr && !isEnding()) {
            // The port actually tried: the saved one, or the control's own when the
            // saved number was invalid. The control's description says why (a port
            // that does not exist, is in use, or needs the dialout group).
            QString port = core_->IniPortCom;
            err.run([&] { port = QString::number(CommCtl1.commPort()); });
            askOperator(*this,
                        QStringLiteral("Port is not available at COM:") + port +
                            QStringLiteral("\rYou can change the port settings from\r"
                                           "PC Port Setting -> Manual Baud Setting...\r") +
                            openErr.last()->description,
                        Buttons::Ok);
        }

        bool open = false;
        err.run([&] { open = CommCtl1.portOpen(); });
        if (!open || isEnding()) {
            // A Retry whose open failed must not leave the progress display up.
            if (form2Loaded())
                form2().hide();
            sbrStatus->setPanelText(1, QStringLiteral("Settings: Closed"));
            mnuauto->setEnabled(true);
            mnumanual->setEnabled(true);
            showConnected(false);
            return;
        }

        err.run([&] { sbrStatus->setPanelText(1, openPortText()); });
        showConnected(true);
        core_->TimeoutFlag = 0;
        Timer1.setInterval(kDetectionTickMs);
        form2().show();

        core_->PendingInput.clear();
        err.run([&] { ReadPortText(true); });

        for (const QString& entry : kDetectionRates) {
            err.run([&] {
                CommCtl1.setSettings(entry + core_->ParityLetter + QStringLiteral(",8,1"));
            });
            PumpMessages();
            core_->PendingInput.clear();
            err.run([&] { ReadPortText(true); });
            if (isEnding())
                return;
            form2().Label3->setText(entry.left(6));
            err.run([&] {
                form2().Label2->setText(QStringLiteral("COM:") +
                                        QString::number(CommCtl1.commPort()) +
                                        QStringLiteral(" at"));
            });
            core_->AnswerBuffer.clear();
            core_->TimeoutFlag = 0;
            // Already running from the previous try: not restarted, so each try gets
            // what is left of the current tick period.
            Timer1.setEnabled(true);
            if (SendPingAndWait()) {
                detectionFound();
                return;
            }
            if (isEnding())
                return;
        }

        if (askOperator(*this, QStringLiteral("Connection Failed"), Buttons::RetryCancel) ==
                Answer::Retry &&
            !isEnding())
            continue;
        detectionCancelled();
        return;
    }
}

void Form1::detectionCancelled() {
    ErrorState err;
    err.run([&] { CommCtl1.setPortOpen(false); });
    // Nothing waits on the timer any more; left running it would only tick on.
    Timer1.setEnabled(false);
    cmdSend->setEnabled(false);
    cmdReceive->setEnabled(false);
    cmdFactory->setEnabled(false);
    cmdRevision->setEnabled(false);
    cmdWeb->setEnabled(true);
    form2().hide();
    mnuauto->setEnabled(true);
    mnumanual->setEnabled(true);
    SSTab1->setEnabled(true);
    sbrStatus->setPanelText(1, QStringLiteral("Settings: Closed"));
    showConnected(false);
}

void Form1::detectionFound() {
    ErrorState err;
    form2().hide();
    cmdSend->setEnabled(true);
    cmdReceive->setEnabled(true);
    cmdFactory->setEnabled(true);
    SSTab1->setEnabled(true);
    err.run([&] { sbrStatus->setPanelText(1, openPortText()); });

    // Rewritten only when both the port and the settings differ from the file's.
    err.run([&] {
        const int16_t port = CommCtl1.commPort();
        const QString settings = CommCtl1.settings();
        if (leadingNumber(core_->IniPortCom) != port && settings != core_->IniPortSet)
            core_->RewritePortSettings(port, settings);
    });
    err.run([&] { CommCtl1.setInputLen(0); });
    mnuauto->setEnabled(true);
    mnumanual->setEnabled(true);
}

} // namespace tcu
