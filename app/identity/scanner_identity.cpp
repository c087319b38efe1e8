// The scanner's identity answers, the factory default and the registration key: the
// core's procedures behind the window's identity fields and buttons and tcu's info,
// factory and regkey.
#include "app/core/program_core.h"
#include "app/identity/identity_display.h"
#include "app/link/run_time_error.h"

namespace tcu {

namespace {

constexpr char kFactoryLineSettings[] = "9600,N,8,1";

} // namespace

void ProgramCore::registerIdentityRules() {
    const std::pair<const char*, QString ScannerIdentity::*> fields[] = {
        {"<APP1RV:>", &ScannerIdentity::application1},
        {"<APP2RV:>", &ScannerIdentity::application2},
        {"<HARDRV:>", &ScannerIdentity::hardware},
        {"<FINGER:>", &ScannerIdentity::model},
        {"<WEBSIT:>", &ScannerIdentity::webSite},
        {"<SERIAL:>", &ScannerIdentity::serialNumber},
        {"<REGKEY:>", &ScannerIdentity::registrationKey}};
    for (const auto& [token, field] : fields)
        answerRules_.add(QString::fromLatin1(token),
                         [this, field](const QString& answer) { identity.*field = answer; });
}

int16_t ProgramCore::FactoryDefault() {
    setScannerButtons(false);
    setPanelText(2, QString());
    int16_t restored = 0;
    if (ExchangeCommand(QStringLiteral("<FACDEF=1>")) == 0) {
        setPanelText(2, QStringLiteral("Error in Sending Defaults"));
    } else {
        // The scanner now talks at its factory rate; the port stays open.
        ErrorState err;
        err.run([&] { CommCtl1.setSettings(QString::fromLatin1(kFactoryLineSettings)); });
        if (err) {
            // The control refused the new settings: say so rather than Receive at a
            // rate the scanner no longer uses.
            showRunTimeError(err.last()->description);
            setPanelText(2, QStringLiteral("Error in Sending Defaults"));
        } else {
            setPanelText(1, openPortText());
            setPanelText(2, QString());
            restored = ReceiveSetup();
        }
    }
    setScannerButtons(true);
    return restored;
}

KeyWrite ProgramCore::WriteRegistrationKey(const QString& key) {
    if (!IdentitySupported(App1RevNumber))
        return KeyWrite::NotSupported;
    // The outcome shows only in the engine's own status texts; the key is not re-read.
    return ExchangeCommand(RegistrationKeyToken(key)) == 1 ? KeyWrite::Written
                                                           : KeyWrite::NotAcknowledged;
}

} // namespace tcu
