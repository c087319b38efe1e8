// One run of tcu: a program core with a setup in memory and a view that keeps what the
// core reports, the link to the scanner (found by the detection, or opened at --baud),
// and each command over the core. Data goes to out, messages to err.
//
// Needs a QCoreApplication; main thread only.
#pragma once

#include <QString>
#include <QStringList>
#include <cstdio>

#include "app/cli/command_line.h"
#include "app/core/program_core.h"
#include "app/upgrade/image_header.h"

namespace tcu::cli {

class TerminalDialogs;

class CliSession final : private CoreView {
public:
    // dialogs: the facade in force, which upgrade tells how long to retry the restarted
    // scanner.
    CliSession(const Options& options, std::FILE* out, std::FILE* err, TerminalDialogs& dialogs);
    ~CliSession() override;

    // Runs options.command; the process's exit status.
    int run();

    ProgramCore& core() { return core_; }

private:
    // CoreView: panel 2 holds the last failure text of an operation.
    void setPanelText(int panel, const QString& text) override;

    // The link: the detection on the saved port (or --port), or the port opened at
    // --baud. kExitOk when the scanner can be talked to.
    int connect();
    // Every command but detect.
    int command();
    int detect();
    int info();
    int get();
    int set();
    int save();
    int load();
    int factory();
    int regkey();
    int upgradeImage();
    // The load from the ROM question to the end of the transfer.
    int loadImage(const QString& path, const upgrade::ImageHeader& header);
    // Waits for the transmit job, showing its progress; Ctrl-C cancels it.
    int watchTransfer();

    // Receive into setup_; kExitOk or kExitScanner with the failure said.
    int receive();
    // Send setup_; kExitOk or kExitScanner with the failure said.
    int send();
    // "tcu: " + text on err (unless quiet for notes).
    void say(const QString& text);
    void note(const QString& text);
    // The scanner's failure: what panel 2 named, else fallback.
    int scannerFailed(const QString& fallback);
    // Data: NAME=VALUE lines, or one JSON object with --json.
    void printPairs(const QStringList& names, const QStringList& values);

    Options options_;
    std::FILE* out_;
    std::FILE* err_;
    TerminalDialogs& dialogs_;
    bool transferring_ = false;
    ProgramCore core_;
    settings::SetupValues setup_;
    QString panel2_;
};

} // namespace tcu::cli
