// The main window's identity buttons: "&Factory", "&GoTo Web" and the About window.
#include <QDesktopServices>
#include <QUrl>

#include "app/forms/form1.h"
#include "app/identity/identity_fields.h"
#include "app/link/run_time_error.h"

namespace tcu {

namespace {

constexpr char kFactoryLineSettings[] = "9600,N,8,1";

void openWithDesktop(const QString& webAddress) {
    // The shell's default handler for the address; whether it started is not examined.
    QDesktopServices::openUrl(QUrl::fromUserInput(webAddress.trimmed()));
}

} // namespace

void Form1::connectIdentityEvents() {
    OpenWebPage = openWithDesktop;
    connect(cmdFactory, &QPushButton::clicked, this, [this] { cmdFactory_Click(); });
    connect(cmdWeb, &QPushButton::clicked, this, [this] { cmdWeb_Click(); });
    connect(mnuabout, &QAction::triggered, this, [this] { mnuabout_Click(); });
}

void Form1::cmdFactory_Click() {
    setScannerButtons(false);
    sbrStatus->setPanelText(2, QString());
    if (ExchangeCommand(QStringLiteral("<FACDEF=1>")) == 0) {
        sbrStatus->setPanelText(2, QStringLiteral("Error in Sending Defaults"));
    } else {
        // The scanner now talks at its factory rate; the port stays open.
        ErrorState err;
        err.run([&] { CommCtl1.setSettings(QString::fromLatin1(kFactoryLineSettings)); });
        if (err) {
            // The control refused the new settings: say so rather than Receive at a
            // rate the scanner no longer uses.
            showRunTimeError(err.last()->description);
            sbrStatus->setPanelText(2, QStringLiteral("Error in Sending Defaults"));
        } else {
            sbrStatus->setPanelText(1, openPortText());
            sbrStatus->setPanelText(2, QString());
            cmdReceive_Click();
        }
    }
    setScannerButtons(true);
}

void Form1::cmdWeb_Click() {
    bool portOpen = false;
    ErrorState err;
    err.run([&] { portOpen = CommCtl1.portOpen(); });
    const QString address = identity().labWeb->text();
    if (!portOpen || address.isEmpty())
        return;
    setScannerButtons(false);
    if (OpenWebPage)
        OpenWebPage(address);
    setScannerButtons(true);
}

void Form1::mnuabout_Click() {
    Form2& about = form2();
    about.Command3->setVisible(true);
    about.Label2->setVisible(false);
    about.Label3->setVisible(false);
    about.exec();
}

} // namespace tcu
