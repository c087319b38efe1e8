// The main window's identity buttons: "&Factory", "&GoTo Web" and the About window
// (the identity answers, factory default and registration key are the core's, in
// scanner_identity.cpp).
#include "app/forms/form1.h"
#include "app/identity/identity_fields.h"
#include "app/link/run_time_error.h"
#include "platform/dialogs/dialogs.h"

namespace tcu {

void Form1::connectIdentityEvents() {
    connect(cmdFactory, &QPushButton::clicked, this, [this] { cmdFactory_Click(); });
    connect(cmdWeb, &QPushButton::clicked, this, [this] { cmdWeb_Click(); });
    connect(mnuabout, &QAction::triggered, this, [this] { mnuabout_Click(); });
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
