#pragma once

#include <cstdint>
#include <deque>
#include <optional>
#include <string>
#include <string_view>

#include "tools/scanner-sim/scanner_engine.h"

namespace scanner_sim {

// The outcome of the last image load.
struct ImageRecord {
    bool ok = false;
    std::string target;   // "A1CODE", "A2CODE", "BTCODE"
    std::string path;     // where the image was saved
    uint64_t size = 0;    // bytes
    std::string sha256;   // 64 hex digits
    std::string version;  // header version field; empty when the image had none
    std::string previous; // the target's revision before the load
    std::string error;    // why the load failed
};

// What a control command may look at and change. Single-threaded, like the engine.
struct ControlContext {
    ScannerEngine& engine;
    std::deque<std::string>& frames; // frames received, oldest first; "log clear" empties
    const std::optional<ImageRecord>& lastImage;
    uint32_t pcBaud = 0;     // the PC side's rate as last seen; 0 unknown
    bool quit = false;       // set by "quit"
    uint64_t loadsEnded = 0; // image loads ended so far, failed ones included
};

// The answer to "image": "ok none count=0", "ok path=.. size=.. sha256=.. target=..
// version=.. previous=.. count=N" or "ok failed target=.. reason=.. count=N".
std::string imageAnswer(const std::optional<ImageRecord>& image, uint64_t loadsEnded);

// Runs one control command line and returns its one-line answer (without line end):
// "ok ..." or "err <reason>". Commands:
//   ping                      ok
//   get KEY                   ok VALUE (escaped); KEY a setup key or APP1RV, APP2RV,
//                             BOOTRV, HARDRV, FINGER, WEBSIT, SERIAL, REGKEY
//   set KEY VALUE             VALUE is the rest of the line, escapes allowed; setup
//                             values are checked as on the line, line settings take
//                             effect at once
//   line [B,P,D,S]            ok 9600,N,8,1; with an argument sets all four first
//   pc                        ok RATE: the PC side's rate (0 when unknown)
//   status                    ok state=.. line=.. pc=.. frames=.. faults=..
//   image                     see imageAnswer
//   wait-image N MS           (handled by the program, not here) the image answer once
//                             more than N loads have ended, or "err timeout" after MS
//   log | log clear           ok FRAME FRAME ... (each escaped) | ok
//   fault [...]               see FaultPlan::apply; without words: the active faults
//   quit                      ok, and the program ends
std::string runControlCommand(std::string_view line, ControlContext& ctx);

} // namespace scanner_sim
