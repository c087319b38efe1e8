// The core's steps of a firmware load: the revision check, an upload's begin, the
// transmit job, Cancel, the end, and what follows a complete upload. The window's
// "&Upgrade" menu and upload window and tcu's upgrade run them.
#include "app/core/program_core.h"
#include "app/identity/identity_display.h"
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

void ProgramCore::StartTransmit(const QString& path) {
    // The order matters to the control: the port is in binary ZMODEM mode without
    // receive events before the job starts.
    CommCtl1.setInputLen(0);
    CommCtl1.setComType(vort::kComTypeRs232);
    CommCtl1.setInputMode(vort::kInputModeBinary);
    CommCtl1.setProtocol(vort::kProtocolZmodem);
    CommCtl1.setRThreshold(0);
    CommCtl1.setSThreshold(0);
    CommCtl1.setFileName(path);
    CommCtl1.setFileTransmit(true);
}

std::optional<int16_t> ProgramCore::Check_Rev(const QString& TempCommand,
                                              const QString& imageVersion) {
    if (ExchangeCommand(QStringLiteral("<APP1RV:>")) != 1)
        return int16_t{0};
    if (!TempCommand.startsWith(QLatin1String("<A1")))
        return std::nullopt;
    // The revision as the "Application 1" field shows it: a blank and 7 characters.
    const QString scanner = RevisionCaption(identity.application1);
    if (!upgrade::imageIsOlder(scanner, imageVersion))
        return int16_t{1};
    const Answer answer =
        ask(dialogOwner(),
            QStringLiteral("You are about to program the scanner with a OLDER revision\r"
                           "Do you want to continue ?"),
            QStringLiteral("WARNING"), Buttons::YesNo);
    return static_cast<int16_t>(answer == Answer::Yes ? 1 : 0);
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
