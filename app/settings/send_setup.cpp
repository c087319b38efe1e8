// Send: the whole setup goes to the scanner in one exchange, and the PC port follows the
// scanner's new line settings.
#include "app/core/program_core.h"
#include "app/link/run_time_error.h"

namespace tcu {

int16_t ProgramCore::SendSetup() {
    setPanelText(2, QString());
    setScannerButtons(false);
    const std::string command = settings::setupCommand(*setup_);
    const std::string line = settings::pcLineSettings(*setup_);
    setPanelText(2, QStringLiteral("Sending the setup"));
    int16_t sent = 0;
    if (ExchangeCommand(
            QString::fromLatin1(command.data(), static_cast<qsizetype>(command.size()))) == 1) {
        setPanelText(2, QString());
        try {
            CommCtl1.setSettings(QString::fromLatin1(line.data()));
            setPanelText(1, openPortText());
            sent = 1;
        } catch (...) {
            // The scanner already has its new settings; a port that cannot follow is
            // reported, never passed over as a successful send.
            const auto error = currentRunTimeError();
            if (!error)
                throw;
            showRunTimeError(error->description);
            setPanelText(2, QStringLiteral("Error in Sending"));
        }
    } else {
        setPanelText(2, QStringLiteral("Error in Sending"));
    }
    setScannerButtons(true);
    return sent;
}

} // namespace tcu
