// The command exchange engine's wire bytes and limits. The engine itself and its state
// (PendingInput, AnswerBuffer, TimeoutFlag, Timer1) are the program core's
// (app/core/program_core.h), defined in app/link/exchange.cpp.
#pragma once

#include <QChar>
#include <QString>
#include <cstdint>
#include <optional>

#include "app/link/comm_control.h"

namespace tcu {

inline constexpr QChar kSoh{0x01};
inline constexpr QChar kEot{0x04};
inline constexpr QChar kAck{0x06};
inline constexpr QChar kNak{0x15};
inline constexpr char kCrLf[] = "\r\n";

// The control's receive event adds to PendingInput only while it holds fewer than this
// many characters: text nobody takes (the scanner talking while the program is idle)
// then stays in the control, whose input buffer is bounded, so an idle program on a busy
// line does not grow without end. Every exchange discards older text anyway.
inline constexpr qsizetype kPendingInputLimit = 256 * 1024;

// The frame of a token: SOH + token + EOT.
inline QString frameOf(const QString& token) {
    return kSoh + token + kEot;
}
// A token holding ":>" is a query (an answer line follows the ACK); any other a write.
inline bool isQuery(const QString& token) {
    return token.contains(QStringLiteral(":>"));
}

// Ack wait of one attempt, attempts, and the answer wait (slow rates get more).
inline constexpr int kAckWaitMs = 1000;
inline constexpr int kAttempts = 3;
inline constexpr int kAnswerWaitMs = 1500;
inline constexpr int kSlowAnswerWaitMs = 2500;
// An answer still arriving when its wait runs out gets the wait again, at most this
// many times: a long answer at a slow rate (a whole setup at 1200 baud takes longer
// than one wait to cross the line) is not cut off, while an answer that stalls still
// fails after one wait of silence.
inline constexpr int kAnswerWaitExtensions = 3;

// An answer is one line; a "line" longer than this without CR LF is noise (a flooding
// line), and the answer wait fails at once instead of collecting it.
inline constexpr qsizetype kAnswerLimit = 64 * 1024;

// The waits sleep until an event, and text arriving is one only while the control's
// receive event is on (RThreshold 1, the window's design). An upload turns it off for
// its binary transfer (RThreshold 0), and the exchanges leading up to the transfer run
// then: for the lifetime of this object the event is on, and afterwards RThreshold is
// what it was. The control's errors are ignored here (the wait's own reads meet them).
class ReceiveEventsOn {
public:
    explicit ReceiveEventsOn(CommControl& control);
    ~ReceiveEventsOn();
    ReceiveEventsOn(const ReceiveEventsOn&) = delete;
    ReceiveEventsOn& operator=(const ReceiveEventsOn&) = delete;

private:
    CommControl& control_;
    std::optional<int16_t> saved_;
};

// The next pass of a wait after one look at the line. When the control's Input gave
// text, more may wait behind it there (InputLen cuts a read, and the event came only
// once), so the pass runs what is pending without sleeping; otherwise (nothing came, or
// only what the receive event had already drained into PendingInput) it sleeps until the
// next event.
void nextLook(bool inputGaveText);

} // namespace tcu
