// The ping and the automatic baud detection (the core's; the window's part of it is in
// detection_events.cpp).
#include "app/link/baud_detect.h"

#include "app/core/program_core.h"
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

vort::dialogs::Answer askOperator(QWidget* owner, const QString& text,
                                  vort::dialogs::Buttons buttons,
                                  vort::dialogs::Icon icon = vort::dialogs::Icon::None) {
    vort::dialogs::MessageBoxRequest box;
    box.text = text;
    box.title = QString::fromLatin1(kAppTitle);
    box.icon = icon;
    box.buttons = buttons;
    box.owner = owner;
    return vort::dialogs::dialogs().messageBox(box);
}

// Ports "TCU.INI" can keep; a file holding another is reset when it is read.
constexpr int16_t kMaxSavedPort = 6;

} // namespace

bool ProgramCore::SendPingAndWait() {
    ErrorState err;
    // The ACK wakes the wait through the control's receive event.
    ReceiveEventsOn receiveEvents(CommCtl1);
    err.run([&] { CommCtl1.setOutput(pingFrame()); });
    for (;;) {
        const qsizetype drained = PendingInput.size();
        QString text;
        err.run([&] { text = ReadPortText(true); });
        AnswerBuffer += text;
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
        nextLook(text.size() > drained);
    }
}

ProgramCore::Detection ProgramCore::AutoBaudDetect(std::optional<int16_t> port) {
    Detection result;
    if (ending_ || linkBusy_ > 0)
        return result;
    LinkOperation running(*this);
    using vort::dialogs::Answer;
    using vort::dialogs::Buttons;

    if (StartupDetect < INT16_MAX)
        ++StartupDetect;
    if (view_ != nullptr)
        view_->detectionStarted();

    // Errors of the steps are not reported where they happen; only the open's is
    // looked at, once, right after it.
    ErrorState err;
    for (;;) {
        if (ParityLetter.isEmpty())
            ParityLetter = QStringLiteral("N");

        if (port)
            err.run([&] { CommCtl1.setCommPort(*port); });
        else if (const std::optional<int16_t> saved = portNumberOf(IniPortCom))
            err.run([&] { CommCtl1.setCommPort(*saved); });
        else
            askOperator(dialogOwner(), QStringLiteral("Invalid port number"), Buttons::Ok);

        err.run([&] { CommCtl1.setPortOpen(false); });
        ErrorState openErr;
        openErr.run([&] { CommCtl1.setPortOpen(true); });
        if (openErr && !ending_) {
            // The port actually tried: the saved one, or the control's own when the
            // saved number was invalid. The control's description says why (a port
            // that does not exist, is in use, or needs the dialout group).
            QString tried = IniPortCom;
            err.run([&] { tried = QString::number(CommCtl1.commPort()); });
            result.openError = openErr.last()->description;
            askOperator(dialogOwner(),
                        QStringLiteral("Port is not available at COM:") + tried +
                            QStringLiteral("\rYou can change the port settings from\r"
                                           "PC Port Setting -> Manual Baud Setting...\r") +
                            result.openError,
                        Buttons::Ok);
        }

        bool open = false;
        err.run([&] { open = CommCtl1.portOpen(); });
        if (!open || ending_) {
            setPanelText(1, QStringLiteral("Settings: Closed"));
            showConnected(false);
            result.outcome = DetectionOutcome::PortClosed;
            if (view_ != nullptr)
                view_->detectionEnded(result.outcome);
            return result;
        }

        err.run([&] { setPanelText(1, openPortText()); });
        showConnected(true);
        TimeoutFlag = 0;
        Timer1.setInterval(kDetectionTickMs);
        if (view_ != nullptr)
            view_->detectionOpened();

        PendingInput.clear();
        err.run([&] { ReadPortText(true); });

        for (const QString& entry : kDetectionRates) {
            err.run([&] { CommCtl1.setSettings(entry + ParityLetter + QStringLiteral(",8,1")); });
            PumpMessages();
            PendingInput.clear();
            err.run([&] { ReadPortText(true); });
            if (ending_)
                return result;
            QString portLabel;
            err.run([&] {
                portLabel = QStringLiteral("COM:") + QString::number(CommCtl1.commPort()) +
                            QStringLiteral(" at");
            });
            if (view_ != nullptr)
                view_->detectionTrying(entry.left(6), portLabel);
            AnswerBuffer.clear();
            TimeoutFlag = 0;
            // Already running from the previous try: not restarted, so each try gets
            // what is left of the current tick period.
            Timer1.setEnabled(true);
            if (SendPingAndWait()) {
                detectionFound();
                result.outcome = DetectionOutcome::Found;
                return result;
            }
            if (ending_)
                return result;
        }

        if (askOperator(dialogOwner(), QStringLiteral("Connection Failed"), Buttons::RetryCancel) ==
                Answer::Retry &&
            !ending_)
            continue;
        detectionCancelled();
        result.outcome = DetectionOutcome::Cancelled;
        return result;
    }
}

void ProgramCore::detectionCancelled() {
    ErrorState err;
    err.run([&] { CommCtl1.setPortOpen(false); });
    // Nothing waits on the timer any more; left running it would only tick on.
    Timer1.setEnabled(false);
    if (view_ != nullptr)
        view_->detectionEnded(DetectionOutcome::Cancelled);
    setPanelText(1, QStringLiteral("Settings: Closed"));
    showConnected(false);
}

void ProgramCore::detectionFound() {
    ErrorState err;
    err.run([&] { setPanelText(1, openPortText()); });

    // Rewritten only when both the port and the settings differ from the file's, and
    // only for a port the file can keep.
    err.run([&] {
        const int16_t commPort = CommCtl1.commPort();
        const QString settings = CommCtl1.settings();
        if (commPort >= 1 && commPort <= kMaxSavedPort && leadingNumber(IniPortCom) != commPort &&
            settings != IniPortSet)
            RewritePortSettings(commPort, settings);
    });
    err.run([&] { CommCtl1.setInputLen(0); });
    if (view_ != nullptr)
        view_->detectionEnded(DetectionOutcome::Found);
}

} // namespace tcu
