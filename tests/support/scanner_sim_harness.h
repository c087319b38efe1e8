// Runs the scanner simulator (scanner-sim) as a separate process for tests: starts it
// with a private port map, waits until it is ready, talks to its control socket and
// stops it again.
//
//   ScannerSimHarness sim;
//   ASSERT_TRUE(sim.start({.comPort = 1})) << sim.error();
//   sim.useConfigHome();                  // this process now finds COM1 = the simulator
//   ... open COM1 / sim.devicePath() at 9600,N,8,1 and talk to the scanner ...
//   EXPECT_EQ(sim.get("RSBAUD"), "19200");
//   EXPECT_EQ(sim.frames().back(), "\x01<SETPAR:>\x04");
//
// Nothing sleeps for a fixed time: start() returns when the simulator has printed its
// terminal path, which it does only once its control socket and port map entry exist.
// One harness drives one simulator; its calls are not thread-safe.
#pragma once

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>
#include <sys/types.h>
#include <vector>

namespace vort::test {

struct ScannerSimStart {
    std::vector<std::string> args; // further scanner-sim options ("--baud", "19200", ...)
    int comPort = 0;               // 1..255: map COM<n> to the simulator; 0 no entry
    bool rz = false;               // receive images with lrzsz's rz (--rz)
    std::string program;           // the simulator; default $VORT_BUILD_OUT/scanner-sim
    std::chrono::milliseconds startTimeout{10000};
};

// The outcome of the simulator's last image load, from its control channel.
struct ScannerSimImage {
    bool ok = false;
    uint64_t count = 0; // loads ended so far
    std::string path;
    uint64_t size = 0;
    std::string sha256;
    std::string target; // A1CODE, A2CODE, BTCODE
    std::string version;
    std::string previous;
    std::string error;
};

// A firmware image the program and the scanner take for a load: a 108-byte header with
// "IMAGE", the code size (bodySize), the CRC field "BEEF", version and "07-DEC-2026" at
// their 1-based places 1, 49, 65, 81 and 97, blanks elsewhere, then bodySize
// pseudo-random code bytes (the same ones for the same size).
std::string firmwareImage(const std::string& version, size_t bodySize);

class ScannerSimHarness {
public:
    ScannerSimHarness();
    ~ScannerSimHarness(); // stops the simulator and removes its scratch directory
    ScannerSimHarness(const ScannerSimHarness&) = delete;
    ScannerSimHarness& operator=(const ScannerSimHarness&) = delete;

    // Starts the simulator; false with error() when it did not come up in time.
    bool start(const ScannerSimStart& how = {});
    const std::string& error() const { return error_; }

    // The terminal the PC side opens (the pseudo-terminal slave).
    const std::string& devicePath() const { return devicePath_; }
    // Scratch XDG_CONFIG_HOME given to the simulator; holds serilon/ports.conf.
    const std::string& configHome() const { return configHome_; }
    std::string portMapPath() const { return configHome_ + "/serilon/ports.conf"; }
    const std::string& imageDir() const { return imageDir_; }
    const std::string& logPath() const { return logPath_; }
    const std::string& controlPath() const { return controlPath_; }
    // A fresh scratch directory of this harness, for a test's own files.
    const std::string& scratchDir() const { return dir_; }
    pid_t pid() const { return pid_; }

    // Sends one control command and returns the answer line without its line end;
    // empty when the simulator did not answer within timeout.
    std::string command(const std::string& line,
                        std::chrono::milliseconds timeout = std::chrono::milliseconds(5000));
    // "get KEY": the value (unescaped); nothing for an error.
    std::optional<std::string> get(const std::string& key);
    // "set KEY VALUE" (value escaped for the channel here): true on "ok".
    bool set(const std::string& key, const std::string& value);
    // "fault WORDS" (e.g. "nak 2"): true on "ok".
    bool fault(const std::string& words);
    // The scanner's current line settings, e.g. "9600,N,8,1".
    std::string line();
    // The frames received so far, SOH and EOT included, oldest first.
    std::vector<std::string> frames();
    bool clearFrames();
    // The last image load; nothing before the first one.
    std::optional<ScannerSimImage> image();
    // Image loads ended so far (failed ones included).
    uint64_t loadsEnded();
    // Waits until more than `above` loads have ended (pass loadsEnded() from before the
    // load) and returns the last one; nothing on time-out.
    std::optional<ScannerSimImage> waitForImage(uint64_t above, std::chrono::milliseconds timeout);
    // The lines of the simulator's log file ("rx ...", "tx ...", "note ...").
    std::vector<std::string> logLines() const;
    // What the simulator wrote on stderr (empty for a clean run; sanitizer reports land
    // here).
    std::string stderrText() const;

    // Points XDG_CONFIG_HOME of this process at configHome(), so code under test that
    // reads the port map finds the simulator; stop() restores the old value.
    void useConfigHome();

    // Asks the simulator to quit, then SIGTERM, then SIGKILL, each after a grace time.
    // Returns its wait status (-1 when it never ran). Idempotent.
    int stop();
    bool running();

private:
    bool connectControl();
    void restoreConfigHome();

    std::string dir_;
    std::string configHome_;
    std::string imageDir_;
    std::string logPath_;
    std::string controlPath_;
    std::string stderrPath_;
    std::string devicePath_;
    std::string error_;
    pid_t pid_ = -1;
    int exitStatus_ = -1;
    int control_ = -1;
    std::string pending_;
    bool configHomeSet_ = false;
    std::optional<std::string> savedConfigHome_;
};

} // namespace vort::test
