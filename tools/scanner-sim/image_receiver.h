#pragma once

#include <memory>
#include <string>

namespace scanner_sim {

struct ReceiveOutcome {
    bool ok = false;
    std::string path;  // the saved image
    std::string error; // why it failed
};

// Receives one firmware image by ZMODEM over a terminal device (the slave of a relay
// pseudo-terminal) into a directory. start() returns at once; the receive runs in a
// worker thread or a child process, and doneFd() becomes readable when it has ended.
// All calls come from one thread.
class ImageReceiver {
public:
    virtual ~ImageReceiver() = default;
    // Empty when a receive can be started; otherwise why not.
    virtual std::string unavailableReason() const = 0;
    // slaveFd is open on slavePath, raw; the receiver does not keep it past finish().
    virtual bool start(const std::string& slavePath, int slaveFd, const std::string& dir,
                       std::string& error) = 0;
    virtual int doneFd() const = 0;
    // Asks a running receive to end soon; doneFd() still signals the end.
    virtual void abort() = 0;
    // Once doneFd() is readable (or after abort(), waiting for it): the outcome.
    virtual ReceiveOutcome finish() = 0;
};

// Runs `program` (lrzsz's rz) with the slave as its standard input and output, in a new
// directory inside dir; the one file it writes is moved into dir.
std::unique_ptr<ImageReceiver> makeRzReceiver(const std::string& program);

// Loads our transfer library (and the serial core library beneath it) from libraryPath
// and receives with its ZMODEM receiver. The serial core opens ports by number through
// the port map; the receiver writes its own map, COM255=<slave>, into
// privateConfigHome/serilon/ports.conf, so XDG_CONFIG_HOME must name privateConfigHome
// in this process before start() is called.
std::unique_ptr<ImageReceiver> makeLibraryReceiver(const std::string& libraryPath,
                                                   const std::string& privateConfigHome);

} // namespace scanner_sim
