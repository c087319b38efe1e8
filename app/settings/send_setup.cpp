// "&Send": the whole setup shown on the window goes to the scanner in one exchange, and
// the PC port follows the scanner's new line settings.
#include "app/forms/form1.h"
#include "app/link/run_time_error.h"
#include "app/settings/settings_window.h"

namespace tcu {

void Form1::cmdSend_Click() {
    sbrStatus->setPanelText(2, QString());
    setScannerButtons(false);
    const std::string command = settings::setupCommand(*settings_);
    const std::string line = settings::pcLineSettings(*settings_);
    sbrStatus->setPanelText(2, QStringLiteral("Sending the setup"));
    if (ExchangeCommand(
            QString::fromLatin1(command.data(), static_cast<qsizetype>(command.size()))) == 1) {
        sbrStatus->setPanelText(2, QString());
        try {
            CommCtl1.setSettings(QString::fromLatin1(line.data()));
            sbrStatus->setPanelText(1, openPortText());
        } catch (...) {
            // The scanner already has its new settings; a port that cannot follow is
            // reported, never passed over as a successful send.
            const auto error = currentRunTimeError();
            if (!error)
                throw;
            showRunTimeError(error->description);
            sbrStatus->setPanelText(2, QStringLiteral("Error in Sending"));
        }
    } else {
        sbrStatus->setPanelText(2, QStringLiteral("Error in Sending"));
    }
    setScannerButtons(true);
}

} // namespace tcu
