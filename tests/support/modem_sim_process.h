// modem-sim run as a child process for tests: started with a control socket in a
// scratch directory, its terminal path read from its first line, commands sent over
// the socket, and its end (exit status, standard error) observed.
#pragma once

#include <string>
#include <sys/types.h>
#include <vector>

namespace vort::test {

class ModemSim {
public:
    ModemSim();  // makes the scratch directory
    ~ModemSim(); // ends the simulator (SIGTERM, then SIGKILL) and removes the directory
    ModemSim(const ModemSim&) = delete;
    ModemSim& operator=(const ModemSim&) = delete;

    // Starts $VORT_BUILD_OUT/modem-sim with args, after "--control controlPath()" unless
    // withControl is false; true once it printed its terminal and, with the control
    // socket, that socket took the connection. On false it may have ended: see
    // waitForExit() and stderrText().
    bool start(const std::vector<std::string>& args = {}, bool withControl = true);
    const std::string& devicePath() const { return device_; }
    const std::string& scratchDir() const { return dir_; }
    std::string controlPath() const { return dir_ + "/control.sock"; }
    pid_t pid() const { return pid_; }

    // One control command; the answer line without its end ("" when none came in ms).
    std::string command(const std::string& line, int ms = 5000);
    // Waits up to ms for the simulator to end: its exit code, 128 + the signal when a
    // signal ended it, -1 when it still runs after ms.
    int waitForExit(int ms);
    void signal(int sig);
    std::string stderrText() const;

private:
    std::string dir_;
    std::string device_;
    pid_t pid_ = -1;
    int status_ = -1;
    int control_ = -1;
};

} // namespace vort::test
