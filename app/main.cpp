// tcu1: the scanner's configuration program.
#include <QApplication>

#include "app/forms/form1.h"
#include "app/link/startup.h"
#include "platform/dialogs/dialogs.h"

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("tcu1"));
    // Boxes without a title of their own read "TCU1". No application display name is
    // set: the toolkit would append it to every window title (" TCU - 2.11 — TCU1").
    vort::dialogs::setApplicationTitle(QString::fromLatin1(tcu::kAppTitle));
    return tcu::runProgram(tcu::parseProgramOptions(QApplication::arguments()));
}
