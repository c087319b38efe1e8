// The manual port window's "&Open Port" (Form4::Command1_Click).
#include "app/forms/form1.h"
#include "app/forms/form4.h"
#include "app/link/baud_detect.h"
#include "app/link/exchange.h"
#include "app/link/message_pump.h"
#include "app/link/port_settings_file.h"
#include "app/link/run_time_error.h"
#include "app/link/text_numbers.h"
#include "platform/dialogs/dialogs.h"

namespace tcu {

namespace {

// The port could not be had: say so, and show the line as closed. The control's
// description tells why (no such device, in use, or the dialout group).
void reportPortNotAvailable(Form1& main, Form4& window, const RaisedError& error) {
    if (main.isEnding())
        return;
    vort::dialogs::MessageBoxRequest box;
    box.text = QStringLiteral("Port is not available");
    if (!error.description.isEmpty())
        box.text += QLatin1Char('\r') + error.description;
    box.title = QString::fromLatin1(kAppTitle);
    box.icon = vort::dialogs::Icon::Exclamation;
    box.buttons = vort::dialogs::Buttons::Ok;
    box.owner = &window;
    vort::dialogs::dialogs().messageBox(box);
    main.sbrStatus->setPanelText(1, QStringLiteral("Settings: Closed"));
    main.showConnected(false);
}

} // namespace

void Form4::Command1_Click() {
    Form1& f = main_;
    ProgramCore& core = f.core();
    if (f.isEnding())
        return;
    if (f.linkBusy()) {
        f.whenLinkFree([this] { Command1_Click(); });
        return;
    }
    LinkOperation running(f.core());
    ErrorState err;

    f.setScannerButtons(false);

    const int parity = Combo3->currentIndex();
    if (parity == 0 || Combo3->currentText() == QLatin1String("NONE"))
        core.ParityLetter = QStringLiteral("N");
    else if (parity == 1)
        core.ParityLetter = QStringLiteral("O");
    else if (parity == 2)
        core.ParityLetter = QStringLiteral("E");
    // A typed text keeps the letter in force.

    err.run([&] { f.CommCtl1.setCommPort(static_cast<int16_t>(Combo1->currentIndex() + 1)); });
    err.run([&] {
        f.CommCtl1.setSettings(Combo2->currentText() + QLatin1Char(',') + core.ParityLetter +
                               QStringLiteral(",8,1"));
    });
    err.run([&] { f.CommCtl1.setPortOpen(!f.CommCtl1.portOpen()); });

    if (err) {
        // Whatever failed, the display must match the port: one left open by the
        // toggle (a refused setting, say) is closed, as the panel says.
        ErrorState ignored;
        ignored.run([&] { f.CommCtl1.setPortOpen(false); });
        reportPortNotAvailable(f, *this, *err.last());
        return;
    }

    err.run([&] { f.sbrStatus->setPanelText(1, f.openPortText()); });
    f.showConnected(true);
    bool open = false;
    err.run([&] { open = f.CommCtl1.portOpen(); });
    if (!open) {
        // The toggle closed an open port: open it again, now on the chosen port and
        // settings. Failing that, the window stays up as for any open failure.
        ErrorState reopen;
        reopen.run([&] { f.CommCtl1.setPortOpen(true); });
        reopen.run([&] { open = f.CommCtl1.portOpen(); });
        if (reopen || !open) {
            reportPortNotAvailable(f, *this, reopen ? *reopen.last() : RaisedError{0, QString()});
            return;
        }
        err.run([&] { f.sbrStatus->setPanelText(1, f.openPortText()); });
    }
    PumpMessages();
    core.PendingInput.clear();
    err.run([&] { f.ReadPortText(true); });
    core.AnswerBuffer.clear();

    core.TimeoutFlag = 0;
    f.Timer1.setInterval(kManualPingWaitMs);
    f.Timer1.setEnabled(true);
    const bool answered = f.SendPingAndWait();
    f.Timer1.setEnabled(false);

    if (answered) {
        err.run([&] {
            f.sbrStatus->setPanelText(1, f.openPortText());
            const int16_t port = f.CommCtl1.commPort();
            const QString settings = f.CommCtl1.settings();
            if (leadingNumber(core.IniPortCom) != port || settings != core.IniPortSet) {
                core.RewritePortSettings(port, settings);
                core.IniPortCom = QString::number(port);
                core.IniPortSet = settings;
            }
        });
    }

    f.setScannerButtons(true);
    hide();
    if (!f.isVisible() && !f.isEnding())
        f.show();
}

} // namespace tcu
