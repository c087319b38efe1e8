// tcu: the scanner from the command line, on the same program core as tcu1.
#include <QCoreApplication>
#include <QStringList>
#include <cstdio>
#include <unistd.h>

#include "app/cli/cli_session.h"
#include "app/cli/command_line.h"
#include "app/cli/interrupt.h"
#include "app/cli/ports_command.h"
#include "app/cli/terminal_dialogs.h"
#include "app/core/program_core.h"

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("tcu"));
    using namespace tcu::cli;

    const ParsedCommandLine parsed = parseCommandLine(QCoreApplication::arguments().mid(1));
    Options o = parsed.options;
    if (!parsed.error.isEmpty()) {
        std::fprintf(stderr, "tcu: %s\ntry tcu --help\n", parsed.error.toLocal8Bit().constData());
        return kExitUsage;
    }
    if (o.version) {
        std::printf("%s\n", versionText().toLocal8Bit().constData());
        return kExitOk;
    }
    if (o.help) {
        const std::optional<QString> text = helpText(o.command);
        if (!text) {
            std::fprintf(stderr, "tcu: unknown command \"%s\"\ntry tcu --help\n",
                         o.command.toLocal8Bit().constData());
            return kExitUsage;
        }
        std::printf("%s", text->toLocal8Bit().constData());
        return kExitOk;
    }

    // The device commands need neither the control nor the scanner.
    if (o.command == QLatin1String("ports"))
        return listPorts(o.json, stdout, stderr);
    if (o.command == QLatin1String("map"))
        return mapPort(o.args, stdout, stderr);
    // --device: the device by a port number of a private map, for this process only.
    DevicePort devicePort;
    if (!o.device.isEmpty()) {
        QString error;
        const std::optional<int> port = devicePort.map(o.device, error);
        if (!port) {
            std::fprintf(stderr, "tcu: %s\n", error.toLocal8Bit().constData());
            return kExitPort;
        }
        o.port = *port;
    }

    // Questions are asked at a prompt only when someone can see and answer it.
    TerminalDialogs dialogs(stdin, stderr, isatty(STDIN_FILENO) == 1 && isatty(STDERR_FILENO) == 1);
    dialogs.setQuiet(o.quiet);
    if (o.yes)
        dialogs.answer(QStringLiteral("Do You Want to Update the ROM?"),
                       vort::dialogs::Answer::Yes);
    // An older image is loaded only when asked for; without --force the question is put
    // as any other (a prompt on a terminal, No otherwise).
    if (o.force)
        dialogs.answer(QStringLiteral("You are about to program the scanner with a OLDER"),
                       vort::dialogs::Answer::Yes);
    installInterruptHandler();
    vort::dialogs::setDialogs(&dialogs);
    vort::dialogs::setApplicationTitle(QString::fromLatin1(tcu::kAppTitle));

    int status = kExitScanner;
    {
        CliSession session(o, stdout, stderr, dialogs);
        status = session.run();
    }
    vort::dialogs::setDialogs(nullptr);
    return status;
}
