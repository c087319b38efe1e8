// What the program's tests share: one QApplication (offscreen), the control registered
// by vortreg in a scratch XDG_DATA_HOME for the whole test program, and a fixture that
// scripts the dialogs and builds the main window over a new program core.
#pragma once

#include <QString>
#include <QStringList>
#include <chrono>
#include <gtest/gtest.h>
#include <memory>
#include <optional>
#include <string>

#include "app/forms/form1.h"
#include "support/scanner_sim_harness.h"
#include "support/scripted_dialogs.h"

// Readable QStrings in test failure messages.
inline void PrintTo(const QString& s, std::ostream* os) {
    *os << '"' << s.toStdString() << '"';
}

namespace tcu::test {

using Clock = std::chrono::steady_clock;

// Milliseconds since start.
inline long long msSince(Clock::time_point start) {
    return std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count();
}

// $VORT_BUILD_OUT (where libvort.so, vortreg, scanner-sim and tcu1 are).
std::string buildOut();
// The scratch XDG_DATA_HOME holding the registry with the control.
const std::string& registryHome();

std::string readFile(const std::string& path);
void writeFile(const std::string& path, const std::string& text);
bool fileExists(const std::string& path);

class TcuTest : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;

    // Points XDG_CONFIG_HOME at dir (created), where "TCU.INI" lives under tcu/.
    void useConfigHome(const std::string& dir);
    // $XDG_CONFIG_HOME/tcu/TCU.INI.
    std::string iniPath() const;
    // Writes "TCU.INI" before the program loads it.
    void writeIni(const std::string& text);

    // Starts the simulator on COM<port> at baud (further args appended) and makes this
    // process's port map and configuration directory its own.
    void startSim(int port, int baud, std::vector<std::string> extra = {});

    // A new program core with its LoadPortSettings run, and a main window over it (not
    // shown, Form_Load not run).
    Form1& loadForm();
    // Opens COM1 of the window made last (made now when there is none) at settings with
    // everything read at once, as after a detection that found the scanner there.
    Form1& openPort1(const QString& settings);
    // The core of the window made last.
    ProgramCore& core() { return form_->core(); }
    // Records every write of status panel 2.
    void recordPanel2();

    vort::test::ScriptedDialogs dialogs_;
    std::unique_ptr<vort::test::ScannerSimHarness> sim_;
    std::unique_ptr<Form1> form_;
    QStringList panel2_;
    std::string configHome_;
    std::string scratch_;
};

} // namespace tcu::test
