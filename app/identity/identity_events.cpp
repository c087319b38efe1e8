// The identity answers, the factory default and the registration key (the core's), and
// the main window's identity buttons: "&Factory", "&GoTo Web" and the About window.
#include "app/forms/form1.h"
#include "app/identity/identity_display.h"
#include "app/identity/identity_fields.h"
#include "app/link/run_time_error.h"
#include "platform/dialogs/dialogs.h"

namespace tcu {

namespace {

constexpr char kFactoryLineSettings[] = "9600,N,8,1";

} // namespace

void Form1::connectIdentityEvents() {
    connect(cmdFactory, &QPushButton::clicked, this, [this] { cmdFactory_Click(); });
    connect(cmdWeb, &QPushButton::clicked, this, [this] { cmdWeb_Click(); });
    connect(mnuabout, &QAction::triggered, this, [this] { mnuabout_Click(); });
}

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

void Form1::cmdWeb_Click() {
    bool portOpen = false;
    ErrorState err;
    err.run([&] { portOpen = CommCtl1.portOpen(); });
    // The field shows the address cut to its width; the shell gets all of it.
    if (!portOpen || identity().labWeb->text().isEmpty())
        return;
    setScannerButtons(false);
    OpenWebPage(identity().webAddress);
    setScannerButtons(true);
}

void Form1::OpenWebPage(const QString& WebAddress) {
    // The shell picks the program; a line end the scanner sent with the address is not
    // part of it.
    vort::dialogs::dialogs().shellOpen(WebAddress.trimmed());
}

void Form1::mnuabout_Click() {
    Form2& about = form2();
    about.Command3->setVisible(true);
    about.Label2->setVisible(false);
    about.Label3->setVisible(false);
    about.exec();
}

} // namespace tcu
