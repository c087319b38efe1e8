// The program's start-up (Main) and its run.
#pragma once

#include <QString>
#include <memory>

namespace tcu {

class Form1;

// Exit status when the serial communication control cannot be created.
inline constexpr int kExitNoControl = 3;
// Exit status when the demo screenshot could not be written.
inline constexpr int kExitNoScreenshot = 4;

// The start-up, in this order: StartupDetect = 1; LoadPortSettings; load Form1 (which
// creates CommCtl1) and run its Form_Load (the first automatic detection, with its
// boxes); give the window its run-time size and centre it; tab 0; show it with the
// caption " TCU - 2.11"; ask the scanner quietly for its application-1 revision.
//
// Returns the main window, which from then on is driven by its events. Returns nullptr
// when the control could not be created: the operator was told what to do in a box,
// and *exitCode holds kExitNoControl. When the operator ended the program during the
// start-up, the window comes back with isEnding() true.
std::unique_ptr<Form1> Main(int* exitCode);

// What the command line may ask for: only a demo's screenshot (nothing else is read).
struct ProgramOptions {
    QString screenshotPath; // after start-up, save the main window as PNG here and end
};
// "--demo-screenshot FILE" (or "--demo-screenshot=FILE"); everything else is ignored.
ProgramOptions parseProgramOptions(const QStringList& arguments);

// Main, then the event loop until the program ends; the process's exit status.
// Needs a QApplication.
int runProgram(const ProgramOptions& options);

} // namespace tcu
