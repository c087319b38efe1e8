// tcu's command line: the options, the commands and their help texts.
//
//   tcu [--port N | --device PATH] [--baud RATE[,PARITY]] [--json] [--quiet] COMMAND ...
//
// Options may stand before or after the command. Parsing never touches the scanner or a
// file; a command line it refuses is a usage error (exit status 2) with a message that
// says what is wrong.
#pragma once

#include <QString>
#include <QStringList>
#include <optional>

namespace tcu::cli {

// The process's exit status.
enum ExitStatus : int {
    kExitOk = 0,
    kExitScanner = 1, // the scanner refused, did not answer, or the transfer failed
    kExitUsage = 2,   // the command line is wrong
    kExitPort = 3,    // the port cannot be opened
    kExitFile = 4,    // a file cannot be read or written
    kExitInterrupted = 130,
};

// Ports the program addresses by number, and the highest one "TCU.INI" keeps.
inline constexpr int kMaxPort = 255;
inline constexpr int kMaxSavedPort = 6;
// Seconds "upgrade" waits for the scanner after asking for its restart.
inline constexpr int kDefaultWaitSeconds = 120;

struct Options {
    std::optional<int> port; // --port N
    QString device;          // --device PATH: the device, by a port number free for it
    // --baud RATE[,PARITY]: the rate ("9600") and the parity letter ("N", "O", "E").
    QString baud;
    QString parity;
    bool json = false;
    bool quiet = false;
    bool help = false;
    bool version = false;
    // upgrade's options.
    bool fast = false;
    bool yes = false;
    bool force = false;
    int waitSeconds = kDefaultWaitSeconds;

    QString command;  // "" when none was given
    QStringList args; // the command's operands
};

struct ParsedCommandLine {
    Options options;
    QString error; // a usage error, "" when the line is good
};

// arguments without the program name.
ParsedCommandLine parseCommandLine(const QStringList& arguments);

// The commands, in the order the help lists them.
const QStringList& commandNames();

// The help for command ("" the program's own); nothing for an unknown command.
std::optional<QString> helpText(const QString& command);
// "tcu " + the program's version.
QString versionText();

} // namespace tcu::cli
