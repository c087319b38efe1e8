// The command exchange engine: ExchangeCommand, ReadPortText, the control's OnComm
// and the time-out tick.
//
// The waits sleep in the event loop between looks at the line: the control's receive
// event (text has come), Timer1's tick (the wait is over) and the end of the program
// each wake them, and nothing else needs to.
#include "app/link/exchange.h"

#include "app/core/program_core.h"
#include "app/devices/replug_recovery.h"
#include "app/link/message_pump.h"
#include "app/link/run_time_error.h"

namespace tcu {

ReceiveEventsOn::ReceiveEventsOn(CommControl& control) : control_(control) {
    ErrorState err;
    err.run([&] {
        const int16_t threshold = control_.rThreshold();
        if (threshold != 1) {
            control_.setRThreshold(1);
            saved_ = threshold;
        }
    });
}

ReceiveEventsOn::~ReceiveEventsOn() {
    if (!saved_)
        return;
    ErrorState err;
    err.run([&] { control_.setRThreshold(*saved_); });
}

void nextLook(bool inputGaveText) {
    if (inputGaveText)
        PumpMessagesUntil(std::chrono::steady_clock::now());
    else
        WaitForMessage();
}

QString ProgramCore::ReadPortText(bool take) {
    // The receive event stops draining once PendingInput is full: what it would add is
    // text nobody takes, and on a flooding line every one of the control's events would
    // otherwise convert a full read, leaving the waits no time to see their timer.
    if (take || PendingInput.size() < kPendingInputLimit)
        PendingInput += CommCtl1.input();
    if (!take)
        return {};
    QString taken;
    taken.swap(PendingInput);
    return taken;
}

void ProgramCore::CommCtl1_OnComm() {
    try {
        ReadPortText(false);
    } catch (...) {
        // An event handler has nobody to report to; the waiting loop's own read of
        // Input meets the same failure and reports it.
    }
    if (replug_ == nullptr)
        return;
    // A hang-up comes as a carrier event: the recovery looks whether the device went.
    try {
        replug_->lineEvent(CommCtl1.commEvent());
    } catch (...) {
        // The control could not say; a removal still comes from the device source.
    }
}

void ProgramCore::Timer1_Timer() {
    TimeoutFlag = 1;
}

bool ProgramCore::waitForAck() {
    for (;;) {
        const qsizetype drained = PendingInput.size();
        const QString text = ReadPortText(true);
        AnswerBuffer += text;
        // Bytes ahead of an ACK or NAK are strays: all of them go at once (one at a
        // time would let a noisy line hide the ACK until the time-out).
        qsizetype i = 0;
        while (i < AnswerBuffer.size() && AnswerBuffer.at(i) != kAck && AnswerBuffer.at(i) != kNak)
            ++i;
        if (i < AnswerBuffer.size()) {
            const bool ack = AnswerBuffer.at(i) == kAck;
            AnswerBuffer.remove(0, i + 1);
            Timer1.setEnabled(false);
            TimeoutFlag = ack ? 0 : 1;
            return ack;
        }
        AnswerBuffer.clear();
        if (TimeoutFlag == 1 || ending_)
            return false;
        nextLook(text.size() > drained);
    }
}

bool ProgramCore::waitForAnswer() {
    const QString rate = CommCtl1.settings().left(4);
    const bool slow = rate == QLatin1String("2400") || rate == QLatin1String("1200");
    Timer1.setInterval(slow ? kSlowAnswerWaitMs : kAnswerWaitMs);
    Timer1.setEnabled(true);

    qsizetype searchFrom = 0;
    qsizetype sizeAtLastTick = AnswerBuffer.size();
    int extensions = 0;
    for (;;) {
        const qsizetype drained = PendingInput.size();
        const QString text = ReadPortText(true);
        AnswerBuffer += text;
        if (AnswerBuffer.indexOf(QLatin1String(kCrLf), searchFrom) >= 0)
            return true;
        // CR may be the last character so far; its LF can still come.
        searchFrom = AnswerBuffer.isEmpty() ? 0 : AnswerBuffer.size() - 1;
        if (ending_ || AnswerBuffer.size() > kAnswerLimit)
            return false;
        if (TimeoutFlag == 1) {
            const bool stillArriving = AnswerBuffer.size() > sizeAtLastTick;
            if (!stillArriving || extensions >= kAnswerWaitExtensions)
                return false;
            ++extensions;
            sizeAtLastTick = AnswerBuffer.size();
            TimeoutFlag = 0;
        }
        nextLook(text.size() > drained);
    }
}

int16_t ProgramCore::ExchangeCommand(const QString& token) {
    if (ending_ || linkBusy_ > 0)
        return 0;
    LinkOperation running(*this);
    try {
        int attempt = 0;
        PumpMessages();
        PendingInput.clear();
        ReadPortText(true);
        // The ACK and the answer wake the waits through the control's receive event.
        ReceiveEventsOn receiveEvents(CommCtl1);

        for (;;) {
            TimeoutFlag = 0;
            AnswerBuffer.clear();
            Timer1.setInterval(kAckWaitMs);
            CommCtl1.setOutput(frameOf(token));
            Timer1.setEnabled(true);
            setPanelText(2, QStringLiteral("TIME OUT COUNT = ") + QString::number(attempt));
            // The line state: a closed port (the control ignores the frame then) is
            // shown as closed, not with settings that carry nothing.
            setPanelText(1,
                         CommCtl1.portOpen() ? openPortText() : QStringLiteral("Settings: Closed"));
            const bool acknowledged = waitForAck();
            Timer1.setEnabled(false);
            if (acknowledged)
                break;
            if (++attempt == kAttempts || ending_)
                return 0;
        }

        if (isQuery(token)) {
            const bool answered = waitForAnswer();
            Timer1.setEnabled(false);
            if (!answered)
                return 0;
        }

        answerRules_.apply(token, AnswerBuffer);
        return 1;
    } catch (...) {
        Timer1.setEnabled(false);
        const std::optional<RaisedError> error = currentRunTimeError();
        if (!error)
            throw;
        showRunTimeError(error->description);
        return 0;
    }
}

} // namespace tcu
