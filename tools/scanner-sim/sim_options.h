#pragma once

#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "tools/scanner-sim/line_settings.h"
#include "tools/scanner-sim/scanner_engine.h"

namespace scanner_sim {

// Where the ZMODEM receive of a firmware image is done.
enum class ReceiverKind {
    Library, // our transfer library's ZMODEM receiver (libtransvex, loaded at run time)
    Rz,      // the rz program of lrzsz, as an independent peer
};

struct SimOptions {
    std::string device;   // run on this serial device instead of a pseudo-terminal
    std::string link;     // symlink to the slave
    int comPort = 0;      // 1..255: write COM<n> into the port map; 0 none
    std::string portMap;  // the port map file (default: the user's)
    std::string control;  // control socket path
    std::string logFile;  // log of frames and bytes
    std::string imageDir; // where received images go (default: a new temp dir)
    LineSettings line;    // the scanner's line settings at start
    ReceiverKind receiver = ReceiverKind::Library;
    std::string rzProgram = "rz";
    std::string transferLibrary;     // path of libtransvex.so (default: beside the program)
    std::vector<std::string> faults; // fault commands applied at start
    std::vector<std::pair<std::string, std::string>> values; // --set KEY=VALUE
    MismatchMode mismatch = MismatchMode::Silent;
    unsigned loadTimeoutSeconds = 60; // a load with no traffic this long is given up
    bool help = false;
    bool version = false; // --version: print the version and end
};

// Parses the command line (argv[0] excluded). Returns nothing and sets error for bad
// options; the values are checked as far as they can be without touching the system.
std::optional<SimOptions> parseSimOptions(const std::vector<std::string>& args, std::string& error);

// The --help text.
std::string simUsage();

} // namespace scanner_sim
