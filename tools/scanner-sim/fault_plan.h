#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace scanner_sim {

// Misbehaviour the scanner is told to show, for tests of the program's error handling.
// Counted faults apply to the next n frames (or answers) and then wear off. The fields
// are public: the engine consumes them as it handles frames.
struct FaultPlan {
    int nakFrames = 0;       // answer NAK to the next n frames without acting on them
    int ignoreFrames = 0;    // send nothing at all for the next n frames
    int withholdAnswers = 0; // ACK and act on the next n queries but send no answer line
    int garbleAnswers = 0;   // corrupt the next n answer lines (their line end stays)
    int strayFrames = 0;     // send strayBytes before the ACK or NAK of the next n frames
    std::string strayBytes;
    uint32_t ackDelayMs = 0;    // every ACK or NAK goes out this long after its frame
    uint32_t answerDelayMs = 0; // every answer line goes out this long after its ACK
    bool slow = false;          // pace output at the line's real character rate

    // Applies one fault command (the words after "fault" on the control channel, or the
    // argument of --fault):
    //   nak N | ignore N | noanswer N | garble N      (N >= 0, default 1)
    //   stray TEXT [N]      TEXT escaped as in escapeBytes, N default 1
    //   ackdelay MS | delay MS                        (0 switches it off)
    //   slow on|off | clear
    // Returns an empty string, or what was wrong with the command (nothing changed).
    std::string apply(std::string_view command);

    // One line describing every active fault, "none" when there is none.
    std::string describe() const;
};

} // namespace scanner_sim
