// tcu1: the scanner's configuration program.
#include <QApplication>

#include "app/link/startup.h"

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("tcu1"));
    QApplication::setApplicationDisplayName(QStringLiteral("TCU1"));
    return tcu::runProgram(tcu::parseProgramOptions(QApplication::arguments()));
}
