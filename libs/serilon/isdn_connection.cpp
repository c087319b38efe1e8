#include "libs/serilon/isdn_connection.h"

#include "libs/serilon/capi_messages.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <poll.h>

namespace serilon {

namespace capi = serilon::capi;
using Clock = std::chrono::steady_clock;

namespace {

// How long open() waits for LISTEN_CONF and hangUp() for the end of the call.
constexpr int kConfirmMs = 3000;
// A wait for the connection looks at the abort flag at least this often.
constexpr int kSliceMs = 50;
// Progress reports during that wait come about this often.
constexpr int kInfoEveryMs = 1000;
// Texts of the result of a wait.
constexpr const char* kConnectedText = "CONNECT 64000";
// The longest number a called party number carries here.
constexpr std::size_t kMaxDigits = 20;

void copyField(char (&field)[20], const std::string& text) {
    std::memset(field, 0, sizeof field);
    std::memcpy(field, text.data(), std::min(text.size(), sizeof field - 1));
}

bool startsWithAt(const std::string& text, const char* prefix) {
    for (std::size_t i = 0; prefix[i]; ++i) {
        if (i >= text.size() || std::toupper(static_cast<unsigned char>(text[i])) != prefix[i]) {
            return false;
        }
    }
    return true;
}

} // namespace

const char* IsdnConnection::stateName(State state) {
    switch (state) {
    case State::Idle:
        return "idle";
    case State::Dialling:
        return "dialling";
    case State::Incoming:
        return "answering";
    case State::CallActive:
        return "call active";
    case State::Online:
        return "online";
    case State::Disconnecting:
        return "disconnecting";
    }
    return "?";
}

IsdnConnection::IsdnConnection(const CapiLibrary& capi, const ConnectionConfig& config, Hooks hooks)
    : capi_(capi), config_(config), hooks_(std::move(hooks)) {
    for (auto& slot : slots_) {
        slot.resize(capi::kMaxBlock);
    }
}

IsdnConnection::~IsdnConnection() {
    shutdown();
}

OsStatus IsdnConnection::open() {
    const std::string controller = "ISDN controller " + std::to_string(config_.controller);
    unsigned appId = 0;
    const unsigned r = capi_.registerApp(1, kWindow, capi::kMaxBlock, &appId);
    if (r != capi::kOk) {
        return OsStatus::make(SERIAL_E_RESOURCES, "CAPI refused to register this program (" +
                                                      capi::reasonText(r) + ")");
    }
    appId_ = appId;
    registered_ = true;
    fd_ = capi_.fileno(appId_);
    if (fd_ < 0) {
        shutdown();
        return OsStatus::make(SERIAL_E_IO, "CAPI gives no descriptor to wait on for " + controller);
    }
    const std::uint16_t number = nextNumber();
    if (!put(capi::listenReq(std::uint16_t(appId_), number, std::uint32_t(config_.controller),
                             config_.cipMask))) {
        const std::string why = lastError();
        shutdown();
        return OsStatus::make(SERIAL_E_IO, controller + " does not take calls: " + why);
    }
    // The reader thread does not run yet: the confirmation is awaited here.
    const auto deadline = Clock::now() + std::chrono::milliseconds(kConfirmMs);
    for (;;) {
        const auto left =
            std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
        if (left <= 0) {
            shutdown();
            return OsStatus::make(SERIAL_E_TIMEOUT, controller + " did not confirm LISTEN in 3 s");
        }
        pollfd p{fd_, POLLIN, 0};
        if (::poll(&p, 1, int(left)) < 0 && errno != EINTR) {
            shutdown();
            return OsStatus::make(SERIAL_E_IO, "waiting for " + controller + " failed");
        }
        unsigned char* message = nullptr;
        if (capi_.getMessage(appId_, &message) != capi::kOk || !message) {
            continue;
        }
        const std::optional<capi::Header> h = capi::readHeader(message, 0xFFFF);
        if (!h || h->command != capi::kListen || h->subcommand != capi::kConf ||
            h->number != number) {
            continue; // nothing else can be meant for us before LISTEN
        }
        const std::optional<capi::Confirmation> conf = capi::decodeConf(message, h->length);
        if (!conf) {
            shutdown();
            return OsStatus::make(SERIAL_E_IO, controller + " sent a malformed LISTEN_CONF");
        }
        if (conf->info != capi::kOk) {
            shutdown();
            return OsStatus::make(SERIAL_E_NO_DEVICE, controller + " does not take calls: " +
                                                          capi::reasonText(conf->info));
        }
        return OsStatus::success();
    }
}

void IsdnConnection::shutdown() {
    if (shutDown_.exchange(true)) {
        return;
    }
    {
        std::lock_guard lock(mutex_);
        online_ = false;
        state_ = State::Idle;
        changed_.notify_all();
    }
    if (registered_) {
        // Releasing the application ends its calls on the controller as well.
        std::lock_guard put(putMutex_);
        capi_.release(appId_);
        registered_ = false;
    }
    fd_ = -1;
}

bool IsdnConnection::put(std::vector<std::uint8_t> message) {
    unsigned r;
    {
        std::lock_guard lock(putMutex_);
        if (!registered_) {
            return false;
        }
        r = capi_.putMessage(appId_, message.data());
    }
    if (r != capi::kOk) {
        setError("the ISDN controller refused " + capi::messageName(message[4], message[5]) + " (" +
                 capi::reasonText(std::uint16_t(r)) + ")");
        return false;
    }
    return true;
}

void IsdnConnection::setError(const std::string& text) {
    std::lock_guard lock(errorMutex_);
    error_ = text;
}

std::string IsdnConnection::lastError() const {
    std::lock_guard lock(errorMutex_);
    return error_;
}

IsdnConnection::State IsdnConnection::state() const {
    std::lock_guard lock(mutex_);
    return state_;
}

bool IsdnConnection::callInfo(SerialIsdnCallInfo& info) const {
    std::lock_guard lock(mutex_);
    info = call_;
    return haveCall_;
}

bool IsdnConnection::forUs(const std::string& called) const {
    // The own extension is the last digits of the number called; none takes every call.
    const std::string& own = config_.ownExtension;
    return own.empty() || (called.size() >= own.size() &&
                           called.compare(called.size() - own.size(), own.size(), own) == 0);
}

// ---- thread 0 --------------------------------------------------------------------------

std::int32_t IsdnConnection::service() {
    std::int32_t bits = deliverHeld();
    for (int i = 0; i < 64 && !shutDown_; ++i) {
        unsigned char* message = nullptr;
        const unsigned r = capi_.getMessage(appId_, &message);
        if (r == capi::kQueueEmpty || (r == capi::kOk && !message)) {
            break;
        }
        if (r != capi::kOk) {
            setError("CAPI failed to give the next message (" + capi::reasonText(std::uint16_t(r)) +
                     ")");
            break;
        }
        After after;
        // The stated length bounds every read; the library's buffer holds at least that.
        const std::optional<capi::Header> h = capi::readHeader(message, 0xFFFF);
        if (!h) {
            malformed("a message shorter than its header", after);
        } else {
            handle(message, h->length, after);
        }
        bits |= after.bits;
        if (after.ring) {
            // Outside the lock: the event procedure may call back into this comm id.
            const std::int32_t refused = hooks_.ring ? hooks_.ring() : 0;
            std::lock_guard lock(mutex_);
            const bool still = state_ == State::Incoming && plci_ == after.ringPlci;
            if (still) {
                put(capi::connectResp(std::uint16_t(appId_), after.ringNumber, plci_,
                                      refused ? capi::kIgnore : capi::kAccept));
                if (refused) {
                    // Not taken: its end is none of this comm id's business.
                    state_ = State::Idle;
                    plci_ = 0;
                } else {
                    ++rings_;
                }
                changed_.notify_all();
            }
        }
        if (after.ended && hooks_.callEnded) {
            hooks_.callEnded();
        }
        if (after.wake && hooks_.wakeWriter) {
            hooks_.wakeWriter();
        }
        bits |= deliverHeld();
    }
    return bits;
}

std::int32_t IsdnConnection::deliverHeld() {
    std::int32_t bits = 0;
    while (!held_.empty()) {
        Block& b = held_.front();
        const std::size_t want = b.bytes.size() - b.offset;
        const std::size_t took = want ? hooks_.input(b.bytes.data() + b.offset, want) : 0;
        if (took > 0) {
            bits |= SERIAL_EV_RXCHAR;
        }
        b.offset += took;
        if (b.offset < b.bytes.size()) {
            break; // the queue is full: the rest waits, and so does the controller
        }
        {
            std::lock_guard lock(mutex_);
            // After the B channel ended its blocks need no answer.
            if (b.ncci == ncci_ && ncci_ != 0) {
                put(capi::dataB3Resp(std::uint16_t(appId_), nextNumber(), b.ncci, b.handle));
            }
        }
        held_.pop_front();
    }
    return bits;
}

void IsdnConnection::malformed(const std::string& what, After& after, bool dialConfirmation) {
    const std::string text = "the ISDN controller sent a malformed message: " + what;
    setError(text);
    std::lock_guard lock(mutex_);
    if (dialConfirmation && state_ == State::Dialling && plci_ == 0) {
        // Our call's confirmation is lost: the call counts as failed. A call the
        // controller goes on with anyway is cleared when it shows up.
        state_ = State::Idle;
        outgoing_ = false;
        endText_ = "ERROR: " + text;
        ++callsEnded_;
        after.ended = true;
        changed_.notify_all();
    }
}

void IsdnConnection::callGone(std::uint16_t reason, After& after) {
    // mutex_ held.
    if (online_.exchange(false)) {
        after.bits |= SERIAL_EV_CD;
    }
    const bool wasDialling = state_ == State::Dialling;
    state_ = State::Idle;
    plci_ = 0;
    ncci_ = 0;
    outgoing_ = false;
    hangingUp_ = false;
    slotBusy_.fill(false);
    outstanding_ = 0;
    if (reason == capi::kReasonNormal || reason == capi::kReasonNormalClearing) {
        endText_ = wasDialling ? "NO CARRIER: " + capi::reasonText(reason) : "NO CARRIER";
    } else {
        endText_ = "NO CARRIER: " + capi::reasonText(reason);
    }
    ++callsEnded_;
    after.ended = true;
    changed_.notify_all();
}

void IsdnConnection::handle(const std::uint8_t* m, std::size_t size, After& after) {
    const capi::Header h = *capi::readHeader(m, size);
    const std::string name = capi::messageName(h.command, h.subcommand);
    const std::uint16_t app = std::uint16_t(appId_);

    if (h.subcommand == capi::kConf) {
        const std::optional<capi::Confirmation> conf = capi::decodeConf(m, size);
        if (!conf) {
            malformed(name, after, h.command == capi::kConnect);
            return;
        }
        std::lock_guard lock(mutex_);
        switch (h.command) {
        case capi::kConnect:
            if (state_ != State::Dialling || h.number != connectNumber_) {
                return;
            }
            if (conf->info != capi::kOk) {
                endText_ =
                    "NO CARRIER: the call was not placed (" + capi::reasonText(conf->info) + ")";
                state_ = State::Idle;
                outgoing_ = false;
                ++callsEnded_;
                after.ended = true;
                changed_.notify_all();
                return;
            }
            plci_ = conf->address;
            if (hangingUp_) {
                state_ = State::Disconnecting;
                put(capi::disconnectReq(app, nextNumber(), plci_));
            }
            return;
        case capi::kConnectB3:
            if (conf->info != capi::kOk && plci_ != 0) {
                setError("the B channel connection was refused (" + capi::reasonText(conf->info) +
                         ")");
                state_ = State::Disconnecting;
                put(capi::disconnectReq(app, nextNumber(), plci_));
            } else if (conf->info == capi::kOk) {
                ncci_ = conf->address;
            }
            return;
        case capi::kDataB3:
            if (conf->handle < kWindow && slotBusy_[conf->handle]) {
                slotBusy_[conf->handle] = false;
                --outstanding_;
                after.wake = true;
            }
            if (conf->info != capi::kOk) {
                setError("the ISDN controller did not send a data block (" +
                         capi::reasonText(conf->info) + ")");
            }
            return;
        case capi::kDisconnectB3:
            if (conf->info != capi::kOk && plci_ != 0) {
                put(capi::disconnectReq(app, nextNumber(), plci_));
            }
            return;
        case capi::kListen:
            if (conf->info != capi::kOk) {
                setError("the ISDN controller stopped listening (" + capi::reasonText(conf->info) +
                         ")");
            }
            return;
        default:
            return; // DISCONNECT_CONF and the rest need nothing
        }
    }

    if (h.subcommand != capi::kInd) {
        malformed(name + " (not a confirmation or indication)", after);
        return;
    }

    switch (h.command) {
    case capi::kConnect: {
        const std::optional<capi::ConnectInd> ind = capi::decodeConnectInd(m, size);
        if (!ind) {
            malformed(name, after);
            // Its PLCI may still be readable: the call is left to others.
            if (const auto a = capi::decodeAddressReason(m, size, false)) {
                put(capi::connectResp(app, h.number, a->address, capi::kIgnore));
            }
            return;
        }
        std::lock_guard lock(mutex_);
        if (state_ != State::Idle || !forUs(ind->called)) {
            // Busy with a call, or a call for another extension: others may take it.
            put(capi::connectResp(app, h.number, ind->plci, capi::kIgnore));
            return;
        }
        state_ = State::Incoming;
        plci_ = ind->plci;
        outgoing_ = false;
        copyField(call_.called, ind->called);
        copyField(call_.calling, ind->calling);
        haveCall_ = true;
        after.ring = true;
        after.ringPlci = ind->plci;
        after.ringNumber = h.number;
        return;
    }
    case capi::kConnectActive: {
        const auto a = capi::decodeAddressReason(m, size, false);
        if (!a) {
            malformed(name, after);
            return;
        }
        std::lock_guard lock(mutex_);
        put(capi::addressOnly(app, capi::kConnectActive, capi::kResp, h.number, a->address));
        if (a->address != plci_ || (state_ != State::Dialling && state_ != State::Incoming)) {
            // A call we know nothing of (its confirmation was lost): clear it.
            put(capi::disconnectReq(app, nextNumber(), a->address));
            return;
        }
        state_ = State::CallActive;
        changed_.notify_all();
        if (outgoing_) {
            put(capi::withEmptyNcpi(app, capi::kConnectB3, nextNumber(), plci_));
        }
        return;
    }
    case capi::kConnectB3: {
        const auto a = capi::decodeAddressReason(m, size, false);
        if (!a) {
            malformed(name, after);
            return;
        }
        std::lock_guard lock(mutex_);
        const bool ours = (a->address & 0xFFFF) == plci_ && state_ == State::CallActive;
        put(capi::connectB3Resp(app, h.number, a->address, ours ? capi::kAccept : capi::kIgnore));
        if (ours) {
            ncci_ = a->address;
        }
        return;
    }
    case capi::kConnectB3Active: {
        const auto a = capi::decodeAddressReason(m, size, false);
        if (!a) {
            malformed(name, after);
            return;
        }
        std::lock_guard lock(mutex_);
        put(capi::addressOnly(app, capi::kConnectB3Active, capi::kResp, h.number, a->address));
        if ((a->address & 0xFFFF) != plci_ || state_ != State::CallActive) {
            return;
        }
        ncci_ = a->address;
        state_ = State::Online;
        if (!online_.exchange(true)) {
            after.bits |= SERIAL_EV_CD;
        }
        after.wake = true;
        changed_.notify_all();
        return;
    }
    case capi::kDataB3: {
        const std::optional<capi::DataB3Ind> ind = capi::decodeDataB3Ind(m, size);
        if (!ind) {
            malformed(name, after);
            return;
        }
        Block b;
        b.bytes.assign(ind->data, ind->data + ind->length);
        b.ncci = ind->ncci;
        b.handle = ind->handle;
        held_.push_back(std::move(b)); // delivered and answered by deliverHeld()
        return;
    }
    case capi::kDisconnectB3: {
        const auto a = capi::decodeAddressReason(m, size, true);
        if (!a) {
            malformed(name, after);
            return;
        }
        std::lock_guard lock(mutex_);
        put(capi::addressOnly(app, capi::kDisconnectB3, capi::kResp, h.number, a->address));
        if (a->address != ncci_ || ncci_ == 0) {
            return;
        }
        ncci_ = 0;
        if (online_.exchange(false)) {
            after.bits |= SERIAL_EV_CD;
        }
        slotBusy_.fill(false);
        outstanding_ = 0;
        if (hangingUp_ || outgoing_) {
            // The B channel is gone: the call ends as well (the caller clears it).
            state_ = State::Disconnecting;
            put(capi::disconnectReq(app, nextNumber(), plci_));
        }
        changed_.notify_all();
        return;
    }
    case capi::kDisconnect: {
        const auto a = capi::decodeAddressReason(m, size, true);
        if (!a) {
            malformed(name, after);
            return;
        }
        std::lock_guard lock(mutex_);
        put(capi::addressOnly(app, capi::kDisconnect, capi::kResp, h.number, a->address));
        if (a->address == plci_ && plci_ != 0 && state_ != State::Idle) {
            callGone(a->reason, after);
        }
        return;
    }
    case capi::kInfo: {
        const auto a = capi::decodeAddressReason(m, size, false);
        if (!a) {
            malformed(name, after);
            return;
        }
        put(capi::addressOnly(app, capi::kInfo, capi::kResp, h.number, a->address));
        return;
    }
    default:
        malformed(name + " (not expected here)", after);
        return;
    }
}

// ---- thread 1 --------------------------------------------------------------------------

std::size_t IsdnConnection::send(const std::uint8_t* data, std::size_t len) {
    std::lock_guard lock(mutex_);
    if (state_ != State::Online || ncci_ == 0 || outstanding_ >= kWindow || len == 0) {
        return 0;
    }
    const std::size_t n = std::min(len, capi::kMaxBlock);
    int slot = 0;
    while (slotBusy_[slot]) {
        ++slot;
    }
    std::memcpy(slots_[slot].data(), data, n);
    if (!put(capi::dataB3Req(std::uint16_t(appId_), nextNumber(), ncci_, slots_[slot].data(),
                             std::uint16_t(n), std::uint16_t(slot)))) {
        // The controller takes no data: end the B channel rather than lose bytes quietly.
        state_ = State::Disconnecting;
        hangingUp_ = true;
        put(capi::withEmptyNcpi(std::uint16_t(appId_), capi::kDisconnectB3, nextNumber(), ncci_));
        return 0;
    }
    slotBusy_[slot] = true;
    ++outstanding_;
    return n;
}

// ---- any thread ------------------------------------------------------------------------

OsStatus IsdnConnection::dial(const std::string& text) {
    std::string number = text;
    if (startsWithAt(number, "ATD")) {
        number = number.substr(3);
    } else if (startsWithAt(number, "AT")) {
        return OsStatus::success(); // an answer command: incoming calls are answered anyway
    }
    number.erase(std::remove(number.begin(), number.end(), ' '), number.end());
    if (number.empty() || number.size() > kMaxDigits ||
        !std::all_of(number.begin(), number.end(),
                     [](char c) { return (c >= '0' && c <= '9') || c == '*' || c == '#'; })) {
        return OsStatus::make(SERIAL_E_INVALID, "an ISDN number is 1 to 20 digits, * and # (\"" +
                                                    text + "\" is not)");
    }
    std::lock_guard lock(mutex_);
    if (shutDown_) {
        return OsStatus::make(SERIAL_E_NOT_OPEN, "the ISDN connection is closed");
    }
    if (state_ != State::Idle) {
        return OsStatus::make(SERIAL_E_BUSY, std::string("the ISDN connection is busy (") +
                                                 stateName(state_) + ")");
    }
    connectNumber_ = nextNumber();
    if (!put(capi::connectReq(std::uint16_t(appId_), connectNumber_,
                              std::uint32_t(config_.controller), std::uint16_t(config_.cipValue),
                              number, config_.ownExtension))) {
        return OsStatus::make(SERIAL_E_IO, lastError());
    }
    copyField(call_.called, number);
    copyField(call_.calling, config_.ownExtension);
    haveCall_ = true;
    state_ = State::Dialling;
    dialEndedBase_ = callsEnded_;
    dialPending_ = true;
    outgoing_ = true;
    hangingUp_ = false;
    plci_ = 0;
    changed_.notify_all();
    return OsStatus::success();
}

bool IsdnConnection::waitConnect(int timeoutMs, const std::atomic<bool>& abort,
                                 const std::function<bool(std::int32_t, std::int32_t)>& report,
                                 const std::function<bool()>& closing, std::string& text) {
    const auto start = Clock::now();
    const auto total = std::chrono::milliseconds(std::max(timeoutMs, 0));
    auto leftMs = [&] {
        const auto left =
            total - std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start);
        return std::int32_t(std::max<std::int64_t>(left.count(), 0));
    };
    std::unique_lock lock(mutex_);
    // A call placed just before may have ended already: it still counts for this wait.
    const std::uint64_t endedBefore = dialPending_ ? dialEndedBase_ : callsEnded_;
    dialPending_ = false;
    std::uint64_t ringsSeen = rings_;
    auto nextInfo = start;
    for (;;) {
        if (online_) {
            text = kConnectedText;
            lock.unlock();
            report(MODEM_ACTION_CONNECTED, leftMs());
            return true;
        }
        if (callsEnded_ != endedBefore) {
            text = endText_;
            lock.unlock();
            report(MODEM_ACTION_FAILED, leftMs());
            return false;
        }
        if (abort.load()) {
            text = "ABORTED";
            return false;
        }
        if (shutDown_ || closing()) {
            text = "PORT CLOSED";
            lock.unlock();
            report(MODEM_ACTION_FAILED, leftMs());
            return false;
        }
        if (leftMs() == 0) {
            text = "TIMEOUT: no connection within " + std::to_string(total.count() / 1000) + " s";
            lock.unlock();
            report(MODEM_ACTION_TIMEOUT, 0);
            return false;
        }
        std::int32_t action = 0;
        if (rings_ != ringsSeen) {
            ringsSeen = rings_;
            action = MODEM_ACTION_RING;
        } else if (Clock::now() >= nextInfo) {
            nextInfo += std::chrono::milliseconds(kInfoEveryMs);
            action = MODEM_ACTION_WAITING;
        }
        if (action != 0) {
            lock.unlock();
            const bool goOn = report(action, leftMs());
            lock.lock();
            if (!goOn) {
                text = "ABORTED";
                return false;
            }
            continue;
        }
        const auto untilInfo =
            std::chrono::duration_cast<std::chrono::milliseconds>(nextInfo - Clock::now()).count();
        const int slice =
            int(std::clamp<std::int64_t>(std::min<std::int64_t>(untilInfo, leftMs()), 1, kSliceMs));
        changed_.wait_for(lock, std::chrono::milliseconds(slice));
    }
}

OsStatus IsdnConnection::hangUp(bool wait) {
    std::unique_lock lock(mutex_);
    const std::uint16_t app = std::uint16_t(appId_);
    const std::uint64_t endedBefore = callsEnded_;
    switch (state_) {
    case State::Idle:
        return OsStatus::success();
    case State::Dialling:
        hangingUp_ = true;
        if (plci_ != 0) {
            state_ = State::Disconnecting;
            put(capi::disconnectReq(app, nextNumber(), plci_));
        } // else: CONNECT_CONF brings the PLCI, and the DISCONNECT_REQ goes then
        break;
    case State::Online:
        hangingUp_ = true;
        state_ = State::Disconnecting;
        // The B channel first; its end brings the DISCONNECT_REQ.
        if (!put(capi::withEmptyNcpi(app, capi::kDisconnectB3, nextNumber(), ncci_))) {
            put(capi::disconnectReq(app, nextNumber(), plci_));
        }
        break;
    case State::Incoming:
    case State::CallActive:
    case State::Disconnecting:
        hangingUp_ = true;
        state_ = State::Disconnecting;
        put(capi::disconnectReq(app, nextNumber(), plci_));
        break;
    }
    if (!wait) {
        return OsStatus::success();
    }
    const bool ended = changed_.wait_for(lock, std::chrono::milliseconds(kConfirmMs), [&] {
        return callsEnded_ != endedBefore || shutDown_.load();
    });
    if (!ended) {
        return OsStatus::make(SERIAL_E_TIMEOUT,
                              "the ISDN controller did not confirm the hang-up in 3 s");
    }
    return OsStatus::success();
}

} // namespace serilon
