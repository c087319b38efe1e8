// The modem calls: Hayes AT commands over an open serial comm id, the wait for a
// connection with its progress reports, hang-up and abort.
#include "libs/serilon/comm_table.h"
#include "libs/serilon/hayes_result.h"
#include "libs/serilon/isdn_connection.h"
#include "serilon/serilon.h"

#include <algorithm>
#include <array>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <mutex>
#include <thread>

using serilon::Channel;
using serilon::CommTable;
using serilon::HayesLineReader;
using serilon::HayesResult;
using serilon::OsStatus;
using Clock = std::chrono::steady_clock;

namespace {

// The longest command line a Hayes modem takes.
constexpr std::size_t kMaxCommand = 255;
// How long a command waits for its OK or ERROR.
constexpr int kCommandReplyMs = 3000;
// The silence before and after "+++" that tells the modem it is an escape, not data.
constexpr int kGuardMs = 1100;
// A wait for input looks at the abort flag at least this often.
constexpr int kSliceMs = 50;
// Progress reports during a wait come about this often.
constexpr int kInfoEveryMs = 1000;

// What the library keeps per comm id about its modem.
struct ModemSession {
    std::mutex mutex;
    std::string answerCommand; // sent at the next RING (answer mode); empty: dial mode
    bool online = false;       // a CONNECT came and no hang-up since
    std::atomic<bool> abort{false};
    HayesLineReader reader;
};

std::array<ModemSession, SERIAL_COMM_IDS>& sessions() {
    static auto* all = new std::array<ModemSession, SERIAL_COMM_IDS>(); // never destroyed
    return *all;
}

std::int32_t fail(std::int32_t commId, SerialStatus status, const std::string& text) {
    CommTable::instance().recordFailure(commId, OsStatus::make(status, text));
    return status;
}

bool validCommandText(const char* text) {
    const std::size_t n = ::strnlen(text, kMaxCommand + 1);
    if (n > kMaxCommand) {
        return false;
    }
    for (std::size_t i = 0; i < n; ++i) {
        const auto c = static_cast<unsigned char>(text[i]);
        // A CR or LF inside would make two commands of one.
        if (c < 0x20 || c == 0x7F) {
            return false;
        }
    }
    return true;
}

bool startsWithAt(const char* text, const char* prefix) {
    for (; *prefix; ++prefix, ++text) {
        if (std::toupper(static_cast<unsigned char>(*text)) != *prefix) {
            return false;
        }
    }
    return true;
}

// Queues all of text, waiting while the output queue is full (at most 2 s).
bool sendAll(Channel& channel, const std::string& text) {
    std::size_t sent = 0;
    const auto deadline = Clock::now() + std::chrono::seconds(2);
    while (sent < text.size()) {
        std::size_t taken = 0;
        if (!channel
                 .write(reinterpret_cast<const std::uint8_t*>(text.data()) + sent,
                        text.size() - sent, taken)
                 .ok()) {
            return false;
        }
        sent += taken;
        if (sent < text.size()) {
            if (Clock::now() > deadline || channel.closing()) {
                return false;
            }
            channel.waitQueue(SERIAL_DIR_OUTPUT,
                              std::int64_t(channel.queueCount(SERIAL_DIR_OUTPUT)), kSliceMs);
        }
    }
    return true;
}

// Reads what the input queue holds into the session's line reader; stops at the first
// line for which onLine returns true (the rest stays in the reader's care for later).
template <class F> bool readLines(Channel& channel, ModemSession& session, F onLine) {
    std::uint8_t buf[256];
    bool done = false;
    while (!done) {
        // One byte at a time past a match would lose nothing, but lines are short and
        // results come one per exchange; take what is there in small pieces.
        const std::size_t got = channel.read(buf, sizeof buf);
        if (got == 0) {
            break;
        }
        session.reader.feed(buf, got, [&](std::string_view line) {
            if (!done) {
                done = onLine(line);
            }
        });
    }
    return done;
}

// Waits up to ms for a line for which onLine returns true; false on time-out, abort
// or a closed comm id.
template <class F> bool waitLine(Channel& channel, ModemSession& session, int ms, F onLine) {
    const auto deadline = Clock::now() + std::chrono::milliseconds(ms);
    for (;;) {
        if (readLines(channel, session, onLine)) {
            return true;
        }
        if (session.abort.load() || Clock::now() >= deadline || channel.hungUp() ||
            channel.closing()) {
            return false;
        }
        channel.waitQueue(SERIAL_DIR_INPUT, 0, kSliceMs);
    }
}

bool finalReply(std::string_view line) {
    const HayesResult r = serilon::classifyHayesLine(line);
    return r == HayesResult::Ok || serilon::isFailureResult(r);
}

void putResult(char* resultText, const std::string& text) {
    if (!resultText) {
        return;
    }
    const std::size_t n = std::min<std::size_t>(text.size(), 80);
    std::memcpy(resultText, text.data(), n);
    resultText[n] = '\0';
}

} // namespace

extern "C" {

int32_t ModemCommand(int32_t commId, const char* text) {
    if (!CommTable::validId(commId)) {
        return SERIAL_E_BAD_ID;
    }
    if (!text || !validCommandText(text)) {
        return fail(
            commId, SERIAL_E_INVALID,
            "a modem command is one line of at most 255 characters without control characters");
    }
    std::shared_ptr<Channel> channel = CommTable::instance().find(commId);
    if (!channel) {
        return SERIAL_E_NOT_OPEN;
    }
    if (channel->isNetwork()) {
        return fail(commId, SERIAL_E_UNSUPPORTED, "a network connection takes no modem commands");
    }
    ModemSession& session = sessions()[commId];
    std::lock_guard lock(session.mutex);
    session.abort = false;
    channel->flush(SERIAL_DIR_INPUT);
    session.reader.reset();
    if (!sendAll(*channel, std::string(text) + "\r")) {
        return fail(commId, SERIAL_E_HUNG_UP, "the modem command could not be sent");
    }
    HayesResult reply = HayesResult::None;
    const bool answered = waitLine(*channel, session, kCommandReplyMs, [&](std::string_view line) {
        reply = serilon::classifyHayesLine(line);
        return finalReply(line);
    });
    if (!answered) {
        return fail(commId, SERIAL_E_TIMEOUT,
                    std::string("the modem did not answer \"") + text + "\" within 3 s");
    }
    if (reply != HayesResult::Ok) {
        return fail(commId, SERIAL_E_INVALID,
                    std::string("the modem answered ") + serilon::hayesResultName(reply) +
                        " to \"" + text + "\"");
    }
    return SERIAL_OK;
}

int32_t ModemDial(int32_t commId, const char* number) {
    if (!CommTable::validId(commId)) {
        return SERIAL_E_BAD_ID;
    }
    if (!number || !validCommandText(number) || number[0] == '\0') {
        return fail(
            commId, SERIAL_E_INVALID,
            "a number to dial is one line of 1 to 255 characters without control characters");
    }
    std::shared_ptr<Channel> channel = CommTable::instance().find(commId);
    if (!channel) {
        return SERIAL_E_NOT_OPEN;
    }
    if (const auto isdn = channel->isdn()) {
        ModemSession& session = sessions()[commId];
        std::lock_guard lock(session.mutex);
        session.abort = false; // an abort of an earlier wait does not end the next one
        const OsStatus st = isdn->dial(number);
        return st.ok() ? SERIAL_OK : fail(commId, st.status, st.text);
    }
    if (channel->isNetwork()) {
        return fail(commId, SERIAL_E_UNSUPPORTED, "a network connection dials nothing");
    }
    ModemSession& session = sessions()[commId];
    std::lock_guard lock(session.mutex);
    session.abort = false;
    session.online = false;
    if (startsWithAt(number, "AT") && !startsWithAt(number, "ATD")) {
        // An answer command (ATA and the like): it goes out when the modem rings.
        session.answerCommand = number;
        return SERIAL_OK;
    }
    session.answerCommand.clear();
    channel->flush(SERIAL_DIR_INPUT);
    session.reader.reset();
    const std::string command = startsWithAt(number, "ATD") ? number : std::string("ATD") + number;
    if (!sendAll(*channel, command + "\r")) {
        return fail(commId, SERIAL_E_HUNG_UP, "the dial command could not be sent");
    }
    return SERIAL_OK;
}

int32_t ModemWaitConnect(int32_t commId, int32_t timeoutMs, int32_t /*mode*/, char* resultText,
                         ModemInfoProcFn proc) {
    putResult(resultText, "");
    if (!CommTable::validId(commId)) {
        return 0;
    }
    std::shared_ptr<Channel> channel = CommTable::instance().find(commId);
    if (!channel) {
        putResult(resultText, "PORT NOT OPEN");
        return 0;
    }
    if (const auto isdn = channel->isdn()) {
        ModemSession& session = sessions()[commId];
        std::lock_guard lock(session.mutex);
        std::string text;
        const bool up = isdn->waitConnect(
            timeoutMs, session.abort,
            [&](std::int32_t action, std::int32_t leftMs) {
                return !proc || proc(commId, action, leftMs, 0) != 0;
            },
            [&] { return channel->closing() || channel->hungUp(); }, text);
        session.abort = false;
        putResult(resultText, text);
        return up ? 1 : 0;
    }
    if (channel->isNetwork()) {
        // Nothing to dial: the connection is there or it is not.
        const bool up = channel->carrier();
        putResult(resultText, up ? "CONNECTED" : "NO CONNECTION");
        if (proc) {
            proc(commId, up ? MODEM_ACTION_CONNECTED : MODEM_ACTION_FAILED, std::max(timeoutMs, 0),
                 0);
        }
        return up ? 1 : 0;
    }
    ModemSession& session = sessions()[commId];
    std::lock_guard lock(session.mutex);
    const auto start = Clock::now();
    const auto total = std::chrono::milliseconds(std::max(timeoutMs, 0));
    auto leftMs = [&] {
        const auto left =
            total - std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start);
        return std::int32_t(std::max<std::int64_t>(left.count(), 0));
    };
    // Reports an action; false when the caller wants the wait to end.
    auto report = [&](std::int32_t action) {
        return !proc || proc(commId, action, leftMs(), 0) != 0;
    };
    auto nextInfo = start;
    int32_t connected = 0;
    std::string text;
    for (;;) {
        if (session.abort.load()) {
            text = "ABORTED";
            break;
        }
        if (leftMs() == 0) {
            text = "TIMEOUT: no connection within " + std::to_string(total.count() / 1000) + " s";
            report(MODEM_ACTION_TIMEOUT);
            break;
        }
        if (channel->hungUp() || channel->closing()) {
            text = "PORT CLOSED";
            report(MODEM_ACTION_FAILED);
            break;
        }
        if (Clock::now() >= nextInfo) {
            nextInfo += std::chrono::milliseconds(kInfoEveryMs);
            if (!report(MODEM_ACTION_WAITING)) {
                text = "ABORTED";
                break;
            }
        }
        bool finished = false;
        readLines(*channel, session, [&](std::string_view line) {
            const HayesResult r = serilon::classifyHayesLine(line);
            if (r == HayesResult::Ring && !session.answerCommand.empty()) {
                sendAll(*channel, session.answerCommand + "\r");
                session.answerCommand.clear();
                if (!report(MODEM_ACTION_RING)) {
                    text = "ABORTED";
                    finished = true;
                }
            } else if (r == HayesResult::Connect) {
                text = std::string(line);
                connected = 1;
                finished = true;
            } else if (serilon::isFailureResult(r)) {
                text = std::string(line);
                finished = true;
            }
            return finished;
        });
        if (finished) {
            if (connected) {
                session.online = true;
                report(MODEM_ACTION_CONNECTED);
            } else if (text != "ABORTED") {
                report(MODEM_ACTION_FAILED);
            }
            break;
        }
        const auto untilInfo =
            std::chrono::duration_cast<std::chrono::milliseconds>(nextInfo - Clock::now());
        const int slice = int(std::clamp<std::int64_t>(untilInfo.count(), 1, kSliceMs));
        channel->waitQueue(SERIAL_DIR_INPUT, std::int64_t(channel->queueCount(SERIAL_DIR_INPUT)),
                           slice);
    }
    session.abort = false;
    session.answerCommand.clear();
    putResult(resultText, text);
    return connected;
}

int32_t ModemHangUp(int32_t commId) {
    if (!CommTable::validId(commId)) {
        return SERIAL_E_BAD_ID;
    }
    std::shared_ptr<Channel> channel = CommTable::instance().find(commId);
    if (!channel) {
        return SERIAL_E_NOT_OPEN;
    }
    if (const auto isdn = channel->isdn()) {
        // From the event procedure (thread 0) the end cannot be awaited there.
        const bool reader = channel->onReaderThread();
        const OsStatus st = isdn->hangUp(!reader);
        if (!reader) {
            // As after a modem's hang-up, the next wait starts unaborted. (The end of the
            // call has ended a wait in progress, which holds the session.)
            ModemSession& session = sessions()[commId];
            std::lock_guard lock(session.mutex);
            session.abort = false;
        }
        return st.ok() ? SERIAL_OK : fail(commId, st.status, st.text);
    }
    if (channel->isNetwork()) {
        channel->hangUpConnection();
        return SERIAL_OK;
    }
    ModemSession& session = sessions()[commId];
    std::lock_guard lock(session.mutex);
    session.answerCommand.clear();
    session.abort = false;
    // A modem set to &D2 hangs up when DTR drops; on a line without DTR (a
    // pseudo-terminal) the commands below do it.
    channel->setOutputLine(SERIAL_LINE_DTR, false);
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    channel->setOutputLine(SERIAL_LINE_DTR, true);
    if (session.online && channel->hasModemLines() && !(channel->modemStatus() & SERIAL_MS_CD)) {
        // The DTR drop was enough: carrier is gone, no escape needed.
        session.online = false;
    }
    auto okLine = [](std::string_view line) { return finalReply(line); };
    if (session.online) {
        // Back to command mode: silence, "+++", and the modem's OK after its guard time.
        channel->flush(SERIAL_DIR_OUTPUT);
        std::this_thread::sleep_for(std::chrono::milliseconds(kGuardMs));
        channel->flush(SERIAL_DIR_INPUT);
        session.reader.reset();
        sendAll(*channel, "+++");
        waitLine(*channel, session, kGuardMs + 1500, okLine);
    } else {
        // Any character ends a dial in progress.
        sendAll(*channel, "\r");
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    session.online = false;
    channel->flush(SERIAL_DIR_INPUT);
    session.reader.reset();
    sendAll(*channel, "ATH\r");
    const bool ok = waitLine(*channel, session, kCommandReplyMs, okLine);
    return ok ? SERIAL_OK : fail(commId, SERIAL_E_TIMEOUT, "the modem did not confirm the hang-up");
}

int32_t ModemAbort(int32_t commId) {
    if (!CommTable::validId(commId)) {
        return SERIAL_E_BAD_ID;
    }
    // Not under the session's lock: a wait holds it, and this is what ends the wait.
    sessions()[commId].abort = true;
    return SERIAL_OK;
}

} // extern "C"
