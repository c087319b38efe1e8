// A CAPI 2.0 library with one simulated controller inside the process, for tests.
//
// Applications that LISTEN are offered every call another application of the process
// places (CONNECT_IND); the first that accepts gets it, B3 data passes between the two
// with each side's window of unanswered DATA_B3_IND, and a disconnect reaches both.
// Every message put is checked (length, command, subcommand and each field); a
// malformed request is confirmed with an error Info, a malformed response refused
// with 0x1102, and both are counted (fake_capi_faults).
//
// Test controls, all thread-safe:
//   fake_capi_faults()          messages from applications found malformed so far
//   fake_capi_max_unconfirmed() the most DATA_B3_REQ one application had unconfirmed
//   fake_capi_corrupt(kind)     1: the next CONNECT_CONF goes out cut short;
//                               2: every application gets a message of unknown
//                                  command at once;
//                               3: the next CONNECT_IND has a number struct that
//                                  runs past the message's end
//   fake_capi_reset_counters()
#include <algorithm>
#include <cstdint>
#include <cstring>
#include <deque>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <poll.h>
#include <string>
#include <sys/eventfd.h>
#include <sys/time.h>
#include <unistd.h>
#include <vector>

#define FAKE_CAPI_API extern "C" __attribute__((visibility("default")))

namespace {

using Bytes = std::vector<std::uint8_t>;

constexpr std::uint32_t kController = 1;
constexpr unsigned kMaxWindow = 7;

enum : std::uint8_t {
    kConnect = 0x02,
    kConnectActive = 0x03,
    kDisconnect = 0x04,
    kListen = 0x05,
    kInfo = 0x08,
    kConnectB3 = 0x82,
    kConnectB3Active = 0x83,
    kDisconnectB3 = 0x84,
    kDataB3 = 0x86,
    kReq = 0x80,
    kConf = 0x81,
    kInd = 0x82,
    kResp = 0x83,
};

enum : std::uint16_t {
    kOk = 0,
    kIllegalAppId = 0x1101,
    kIllegalMessage = 0x1102,
    kQueueFull = 0x1103,
    kQueueEmpty = 0x1104,
    kWrongState = 0x2001,
    kIllegalId = 0x2002,
    kBadCoding = 0x2007,
    kB1NotSupported = 0x3001,
    kB2NotSupported = 0x3002,
    kB3NotSupported = 0x3003,
    kBadDataLength = 0x3008,
};

// Reads a message's fields within its stated length.
struct Fields {
    const std::uint8_t* p;
    std::size_t pos = 8;
    std::size_t end;
    bool ok = true;
    Fields(const std::uint8_t* m, std::size_t len) : p(m), end(len) {}
    bool need(std::size_t n) {
        if (!ok || end - pos < n) {
            ok = false;
        }
        return ok;
    }
    std::uint32_t num(std::size_t n) {
        if (!need(n)) {
            return 0;
        }
        std::uint64_t v = 0;
        for (std::size_t i = 0; i < n; ++i) {
            v |= std::uint64_t(p[pos + i]) << (8 * i);
        }
        pos += n;
        return std::uint32_t(v);
    }
    std::uint64_t u64() {
        const std::uint64_t lo = num(4);
        return lo | std::uint64_t(num(4)) << 32;
    }
    Bytes structure() {
        std::size_t n = num(1);
        if (n == 0xFF) {
            n = num(2);
        }
        if (!need(n)) {
            return {};
        }
        Bytes v(p + pos, p + pos + n);
        pos += n;
        return v;
    }
    // All fields read and nothing left over.
    bool done() const { return ok && pos == end; }
};

struct Message {
    Bytes bytes;
    Bytes data; // the block a DATA_B3_IND points at
};

struct App {
    unsigned id = 0;
    unsigned maxBlocks = 0;
    unsigned maxLen = 0;
    int efd = -1;
    std::deque<Message> queue;
    Message current; // what the last capi20_get_message returned
    bool listening = false;
    std::uint32_t cipMask = 0;
    std::uint16_t number = 0x8000; // message numbers of indications
};

enum class Side { Caller, Callee };
enum class B3 { None, Pending, Active };

struct Waiting { // a block waiting for room in the receiver's window
    Bytes data;
    std::uint16_t senderHandle = 0;
    std::uint16_t senderNumber = 0;
};

struct Plci {
    std::uint32_t id = 0;
    unsigned app = 0;
    int call = 0;
    Side side = Side::Caller;
    bool offered = false;  // CONNECT_IND sent, no CONNECT_RESP yet
    bool active = false;   // the call is up on this side
    bool released = false; // DISCONNECT_IND sent; only DISCONNECT_RESP is expected
    B3 b3 = B3::None;
    std::map<std::uint16_t, int> unanswered; // DATA_B3_IND handles without RESP
    std::deque<Waiting> waiting;             // blocks for this side, beyond its window
    std::uint16_t indHandle = 0;
    unsigned unconfirmed = 0; // DATA_B3_REQ of this side not confirmed yet
};

struct Call {
    std::uint32_t caller = 0;
    std::uint32_t callee = 0; // 0 until someone accepted
    std::vector<std::uint32_t> offered;
    std::uint16_t worstReject = 0;
    std::string called;
    std::string calling;
    std::uint16_t cip = 0;
};

std::mutex gMutex;
std::map<unsigned, App> gApps;
std::map<std::uint32_t, Plci> gPlcis;
std::map<int, Call> gCalls;
unsigned gNextApp = 1;
unsigned gNextPlci = 1;
int gNextCall = 1;
int gFaults = 0;
unsigned gMaxUnconfirmed = 0;
int gCorrupt = 0;

class Out {
public:
    Out(unsigned app, std::uint8_t cmd, std::uint8_t sub, std::uint16_t number) {
        put(0, 2);
        put(app, 2);
        b_.push_back(cmd);
        b_.push_back(sub);
        put(number, 2);
    }
    Out& put(std::uint64_t v, int n) {
        for (int i = 0; i < n; ++i) {
            b_.push_back(std::uint8_t(v >> (8 * i)));
        }
        return *this;
    }
    Out& structure(const Bytes& v) {
        b_.push_back(std::uint8_t(v.size()));
        b_.insert(b_.end(), v.begin(), v.end());
        return *this;
    }
    Bytes done() {
        b_[0] = std::uint8_t(b_.size());
        b_[1] = std::uint8_t(b_.size() >> 8);
        return b_;
    }

private:
    Bytes b_;
};

void deliver(unsigned appId, Bytes bytes, Bytes data = {}) {
    auto it = gApps.find(appId);
    if (it == gApps.end()) {
        return;
    }
    it->second.queue.push_back({std::move(bytes), std::move(data)});
    const std::uint64_t one = 1;
    (void)!::write(it->second.efd, &one, sizeof one);
}

std::uint16_t indNumber(unsigned appId) {
    App& a = gApps[appId];
    a.number = std::uint16_t(a.number == 0xFFFF ? 0x8000 : a.number + 1);
    return a.number;
}

void conf(unsigned app, std::uint8_t cmd, std::uint16_t number, std::uint32_t address,
          std::uint16_t info) {
    Out o(app, cmd, kConf, number);
    o.put(address, 4).put(info, 2);
    Bytes b = o.done();
    if (cmd == kConnect && gCorrupt == 1) {
        gCorrupt = 0;
        b[0] = 10; // the length now ends inside the PLCI
        b.resize(10);
    }
    deliver(app, std::move(b));
}

void ind(const Plci& p, std::uint8_t cmd, std::uint64_t reason = 0, int reasonBytes = 0,
         bool ncpi = false) {
    Out o(p.app, cmd, kInd, indNumber(p.app));
    const std::uint32_t address = (cmd & 0x80) ? (p.id | 1u << 16) : p.id;
    o.put(address, 4);
    if (reasonBytes) {
        o.put(reason, reasonBytes);
    }
    if (ncpi) {
        o.structure({});
    }
    deliver(p.app, o.done());
}

Plci* findPlci(std::uint32_t id, unsigned app) {
    auto it = gPlcis.find(id & 0xFFFF);
    if (it == gPlcis.end() || it->second.app != app) {
        return nullptr;
    }
    return &it->second;
}

Plci* peerOf(const Plci& p) {
    auto c = gCalls.find(p.call);
    if (c == gCalls.end()) {
        return nullptr;
    }
    const std::uint32_t other = p.side == Side::Caller ? c->second.callee : c->second.caller;
    auto it = gPlcis.find(other);
    return (other != 0 && it != gPlcis.end() && !it->second.released) ? &it->second : nullptr;
}

std::uint32_t newPlci(unsigned app, int call, Side side) {
    std::uint32_t id;
    do {
        id = kController | (gNextPlci++ & 0xFF) << 8;
    } while (gPlcis.count(id) || (id >> 8) == 0);
    Plci p;
    p.id = id;
    p.app = app;
    p.call = call;
    p.side = side;
    gPlcis[id] = p;
    return id;
}

// The end of one side: DISCONNECT_B3_IND first while the B channel was up or coming.
void endSide(Plci& p, std::uint16_t reason) {
    if (p.released) {
        return;
    }
    if (p.b3 != B3::None) {
        ind(p, kDisconnectB3, 0, 2, true);
        p.b3 = B3::None;
    }
    p.waiting.clear();
    p.unanswered.clear();
    p.unconfirmed = 0;
    p.released = true;
    p.offered = false;
    p.active = false;
    ind(p, kDisconnect, reason, 2);
}

// Ends a whole call: reasonFor gives each side's reason.
void endCall(int callId, std::uint32_t by, std::uint16_t byReason, std::uint16_t othersReason) {
    auto c = gCalls.find(callId);
    if (c == gCalls.end()) {
        return;
    }
    std::vector<std::uint32_t> sides{c->second.caller, c->second.callee};
    sides.insert(sides.end(), c->second.offered.begin(), c->second.offered.end());
    for (std::uint32_t id : sides) {
        auto it = gPlcis.find(id);
        if (id != 0 && it != gPlcis.end()) {
            endSide(it->second, id == by ? byReason : othersReason);
        }
    }
    gCalls.erase(c);
}

void releasePlci(std::uint32_t id) {
    gPlcis.erase(id & 0xFFFF);
}

void fault() {
    ++gFaults;
}

bool numberStruct(const Bytes& v, std::size_t prefix) {
    if (v.empty()) {
        return true;
    }
    if (v.size() < prefix) {
        return false;
    }
    for (std::size_t i = prefix; i < v.size(); ++i) {
        const char c = char(v[i]);
        if (!((c >= '0' && c <= '9') || c == '*' || c == '#')) {
            return false;
        }
    }
    return true;
}

// The B protocol struct: empty (the default) or three words and three structs (and
// perhaps a global configuration). Returns an Info.
std::uint16_t checkBProtocol(const Bytes& v) {
    if (v.empty()) {
        return kOk;
    }
    Bytes framed(8, 0);
    framed.insert(framed.end(), v.begin(), v.end());
    Fields f(framed.data(), framed.size());
    const std::uint32_t b1 = f.num(2), b2 = f.num(2), b3 = f.num(2);
    f.structure();
    f.structure();
    f.structure();
    if (f.ok && f.pos < f.end) {
        f.structure(); // global configuration
    }
    if (!f.done()) {
        return kBadCoding;
    }
    if (b1 > 1) {
        return kB1NotSupported;
    }
    if (b2 > 1) {
        return kB2NotSupported;
    }
    return b3 == 0 ? kOk : kB3NotSupported;
}

void moveWaiting(Plci& receiver) {
    // Blocks wait in order; each one moved is confirmed to its sender now.
    App& app = gApps[receiver.app];
    Plci* sender = peerOf(receiver);
    while (!receiver.waiting.empty() && receiver.unanswered.size() < app.maxBlocks) {
        Waiting w = std::move(receiver.waiting.front());
        receiver.waiting.pop_front();
        const std::uint16_t handle = receiver.indHandle++;
        receiver.unanswered[handle] = 1;
        Out o(receiver.app, kDataB3, kInd, indNumber(receiver.app));
        o.put(receiver.id | 1u << 16, 4)
            .put(0, 4)
            .put(w.data.size(), 2)
            .put(handle, 2)
            .put(0, 2)
            .put(0, 8);
        deliver(receiver.app, o.done(), std::move(w.data));
        if (sender) {
            if (sender->unconfirmed > 0) {
                --sender->unconfirmed;
            }
            Out c(sender->app, kDataB3, kConf, w.senderNumber);
            c.put(sender->id | 1u << 16, 4).put(w.senderHandle, 2).put(kOk, 2);
            deliver(sender->app, c.done());
        }
    }
}

void offer(int callId) {
    Call& call = gCalls[callId];
    const Plci& caller = gPlcis[call.caller];
    for (auto& [id, app] : gApps) {
        if (id == caller.app || !app.listening ||
            !((app.cipMask & 1) || (call.cip < 32 && (app.cipMask >> call.cip) & 1))) {
            continue;
        }
        const std::uint32_t plci = newPlci(id, callId, Side::Callee);
        gPlcis[plci].offered = true;
        call.offered.push_back(plci);
        Out o(id, kConnect, kInd, indNumber(id));
        Bytes called{0x80};
        called.insert(called.end(), call.called.begin(), call.called.end());
        Bytes calling;
        if (!call.calling.empty()) {
            calling = {0x00, 0x80};
            calling.insert(calling.end(), call.calling.begin(), call.calling.end());
        }
        o.put(plci, 4).put(call.cip, 2);
        if (gCorrupt == 3) {
            gCorrupt = 0;
            o.put(0xF0, 1); // a struct far longer than the message
            deliver(id, o.done());
            continue;
        }
        o.structure(called).structure(calling);
        for (int i = 0; i < 6; ++i) {
            o.structure({}); // subaddresses, BC, LLC, HLC, additional info
        }
        deliver(id, o.done());
    }
}

// A callee answered (or the caller hung up): is the offer over?
void settleOffer(int callId) {
    auto c = gCalls.find(callId);
    if (c == gCalls.end() || c->second.callee != 0) {
        return;
    }
    for (std::uint32_t id : c->second.offered) {
        auto it = gPlcis.find(id);
        if (it != gPlcis.end() && it->second.offered) {
            return; // someone has not answered yet
        }
    }
    std::uint16_t reason = 0x3481; // nobody took the number
    if (c->second.worstReject == 3) {
        reason = 0x3491;
    } else if (c->second.worstReject >= 2) {
        reason = 0x3495;
    }
    auto caller = gPlcis.find(c->second.caller);
    if (caller != gPlcis.end()) {
        endSide(caller->second, reason);
    }
    gCalls.erase(c);
}

// ---- one message from an application -------------------------------------------------

unsigned handleRequest(App& app, const std::uint8_t* m, std::size_t len) {
    const std::uint8_t cmd = m[4];
    const std::uint8_t sub = m[5];
    const std::uint16_t number = std::uint16_t(m[6] | m[7] << 8);
    Fields f(m, len);
    auto bad = [&](std::uint32_t address) {
        fault();
        conf(app.id, cmd, number, address, kBadCoding);
        return unsigned(kOk);
    };
    auto badResp = [&] {
        fault();
        return unsigned(kIllegalMessage);
    };

    if (sub == kReq) {
        switch (cmd) {
        case kListen: {
            const std::uint32_t controller = f.num(4);
            f.num(4); // info mask
            const std::uint32_t mask = f.num(4);
            f.num(4); // CIP mask 2
            const Bytes calling = f.structure();
            f.structure();
            if (!f.done() || !numberStruct(calling, 2)) {
                return bad(controller);
            }
            if ((controller & 0x7F) != kController) {
                conf(app.id, kListen, number, controller, kIllegalId);
                return kOk;
            }
            app.listening = mask != 0;
            app.cipMask = mask;
            conf(app.id, kListen, number, controller, kOk);
            return kOk;
        }
        case kConnect: {
            const std::uint32_t controller = f.num(4);
            const std::uint16_t cip = std::uint16_t(f.num(2));
            const Bytes called = f.structure();
            const Bytes calling = f.structure();
            f.structure();
            f.structure();
            const Bytes bprot = f.structure();
            for (int i = 0; i < 4; ++i) {
                f.structure(); // BC, LLC, HLC, additional info
            }
            if (!f.done() || called.size() < 2 || !numberStruct(called, 1) ||
                !numberStruct(calling, 2)) {
                return bad(controller);
            }
            if ((controller & 0x7F) != kController) {
                conf(app.id, kConnect, number, controller, kIllegalId);
                return kOk;
            }
            if (const std::uint16_t info = checkBProtocol(bprot); info != kOk) {
                if (info == kBadCoding) {
                    fault();
                }
                conf(app.id, kConnect, number, 0, info);
                return kOk;
            }
            const int callId = gNextCall++;
            Call& call = gCalls[callId];
            call.called.assign(called.begin() + 1, called.end());
            if (calling.size() > 2) {
                call.calling.assign(calling.begin() + 2, calling.end());
            }
            call.cip = cip;
            call.caller = newPlci(app.id, callId, Side::Caller);
            conf(app.id, kConnect, number, call.caller, kOk);
            offer(callId);
            settleOffer(callId); // nobody listens: the caller learns at once
            return kOk;
        }
        case kConnectB3: {
            const std::uint32_t plci = f.num(4);
            f.structure();
            if (!f.done()) {
                return bad(plci);
            }
            Plci* p = findPlci(plci, app.id);
            if (!p || p->released || (plci >> 16) != 0) {
                conf(app.id, kConnectB3, number, plci, kIllegalId);
                return kOk;
            }
            Plci* peer = peerOf(*p);
            if (!p->active || !peer || !peer->active || p->b3 != B3::None) {
                conf(app.id, kConnectB3, number, plci, kWrongState);
                return kOk;
            }
            conf(app.id, kConnectB3, number, p->id | 1u << 16, kOk);
            p->b3 = B3::Pending;
            peer->b3 = B3::Pending;
            ind(*peer, kConnectB3, 0, 0, true);
            return kOk;
        }
        case kDataB3: {
            const std::uint32_t ncci = f.num(4);
            const std::uint32_t data32 = f.num(4);
            const std::uint16_t length = std::uint16_t(f.num(2));
            const std::uint16_t handle = std::uint16_t(f.num(2));
            const std::uint16_t flags = std::uint16_t(f.num(2));
            std::uint64_t data = data32;
            if (f.ok && f.end - f.pos == 8) {
                data = f.u64();
            } else if (sizeof(void*) > 4) {
                data = 0; // a 32-bit pointer reaches nothing here
            }
            if (!f.done() || data == 0 || flags != 0) {
                fault();
                Out o(app.id, kDataB3, kConf, number);
                o.put(ncci, 4).put(handle, 2).put(kBadCoding, 2);
                deliver(app.id, o.done());
                return kOk;
            }
            Plci* p = findPlci(ncci, app.id);
            Plci* peer = p ? peerOf(*p) : nullptr;
            std::uint16_t info = kOk;
            if (!p || (ncci >> 16) != 1) {
                info = kIllegalId;
            } else if (p->b3 != B3::Active || !peer || peer->b3 != B3::Active) {
                info = kWrongState;
            } else if (length == 0 || length > app.maxLen) {
                info = kBadDataLength;
            }
            if (info != kOk) {
                fault();
                Out o(app.id, kDataB3, kConf, number);
                o.put(ncci, 4).put(handle, 2).put(info, 2);
                deliver(app.id, o.done());
                return kOk;
            }
            if (p->unconfirmed >= app.maxBlocks) {
                fault(); // beyond the window the application registered
                return kQueueFull;
            }
            ++p->unconfirmed;
            gMaxUnconfirmed = std::max(gMaxUnconfirmed, p->unconfirmed);
            const auto* bytes = reinterpret_cast<const std::uint8_t*>(std::uintptr_t(data));
            peer->waiting.push_back({Bytes(bytes, bytes + length), handle, number});
            moveWaiting(*peer);
            return kOk;
        }
        case kDisconnectB3: {
            const std::uint32_t ncci = f.num(4);
            f.structure();
            if (!f.done()) {
                return bad(ncci);
            }
            Plci* p = findPlci(ncci, app.id);
            if (!p || p->released || (ncci >> 16) != 1) {
                conf(app.id, kDisconnectB3, number, ncci, kIllegalId);
                return kOk;
            }
            if (p->b3 == B3::None) {
                conf(app.id, kDisconnectB3, number, ncci, kWrongState);
                return kOk;
            }
            conf(app.id, kDisconnectB3, number, ncci, kOk);
            for (Plci* side : {p, peerOf(*p)}) {
                if (side && side->b3 != B3::None) {
                    side->b3 = B3::None;
                    side->unconfirmed = 0;
                    side->waiting.clear();
                    side->unanswered.clear();
                    ind(*side, kDisconnectB3, 0, 2, true);
                }
            }
            return kOk;
        }
        case kDisconnect: {
            const std::uint32_t plci = f.num(4);
            f.structure();
            if (!f.done()) {
                return bad(plci);
            }
            Plci* p = findPlci(plci, app.id);
            if (!p || (plci >> 16) != 0) {
                conf(app.id, kDisconnect, number, plci, kIllegalId);
                return kOk;
            }
            if (p->released) {
                conf(app.id, kDisconnect, number, plci, kWrongState);
                return kOk;
            }
            conf(app.id, kDisconnect, number, plci, kOk);
            if (p->offered) {
                // An offered call cleared before answering: a rejection.
                p->offered = false;
                Call& call = gCalls[p->call];
                call.worstReject = std::max<std::uint16_t>(call.worstReject, 2);
                endSide(*p, 0);
                settleOffer(p->call);
                return kOk;
            }
            endCall(p->call, p->id, 0, 0x3490);
            return kOk;
        }
        default:
            fault();
            return kIllegalMessage;
        }
    }

    if (sub != kResp) {
        fault();
        return kIllegalMessage;
    }
    switch (cmd) {
    case kConnect: {
        const std::uint32_t plci = f.num(4);
        const std::uint16_t reject = std::uint16_t(f.num(2));
        const Bytes bprot = f.structure();
        for (int i = 0; i < 4; ++i) {
            f.structure(); // connected number and subaddress, LLC, additional info
        }
        if (!f.done()) {
            return badResp();
        }
        Plci* p = findPlci(plci, app.id);
        if (p && p->released) {
            return kOk; // the caller gave up meanwhile
        }
        if (!p || !p->offered) {
            return badResp();
        }
        p->offered = false;
        auto c = gCalls.find(p->call);
        if (c == gCalls.end()) {
            return badResp();
        }
        Call& call = c->second;
        if (reject == 0) {
            if (checkBProtocol(bprot) != kOk || call.callee != 0) {
                endSide(*p, checkBProtocol(bprot) != kOk ? 0x3301 : 0x3304);
                if (checkBProtocol(bprot) == kBadCoding) {
                    fault();
                }
                settleOffer(p->call);
                return kOk;
            }
            call.callee = p->id;
            for (std::uint32_t other : call.offered) {
                auto it = gPlcis.find(other);
                if (other != p->id && it != gPlcis.end() && !it->second.released) {
                    endSide(it->second, 0x3304); // another application took the call
                }
            }
            p->active = true;
            Plci& caller = gPlcis[call.caller];
            caller.active = true;
            for (const Plci* side :
                 {static_cast<const Plci*>(p), static_cast<const Plci*>(&caller)}) {
                // CONNECT_ACTIVE_IND: PLCI, connected number, subaddress, LLC.
                Out o(side->app, kConnectActive, kInd, indNumber(side->app));
                o.put(side->id, 4).structure({}).structure({}).structure({});
                deliver(side->app, o.done());
            }
            return kOk;
        }
        if (reject > 8) {
            return badResp();
        }
        call.worstReject = std::max(call.worstReject, reject == 1 ? std::uint16_t(0) : reject);
        endSide(*p, 0);
        settleOffer(p->call);
        return kOk;
    }
    case kConnectB3: {
        const std::uint32_t ncci = f.num(4);
        const std::uint16_t reject = std::uint16_t(f.num(2));
        f.structure();
        if (!f.done()) {
            return badResp();
        }
        Plci* p = findPlci(ncci, app.id);
        Plci* peer = p ? peerOf(*p) : nullptr;
        if (p && (p->released || p->b3 == B3::None)) {
            return kOk; // the call or its B channel ended meanwhile
        }
        if (!p || (ncci >> 16) != 1 || p->b3 != B3::Pending || !peer) {
            return badResp();
        }
        if (reject != 0) {
            p->b3 = B3::None;
            peer->b3 = B3::None;
            ind(*peer, kDisconnectB3, 0x3301, 2, true);
            return kOk;
        }
        p->b3 = B3::Active;
        peer->b3 = B3::Active;
        ind(*p, kConnectB3Active, 0, 0, true);
        ind(*peer, kConnectB3Active, 0, 0, true);
        return kOk;
    }
    case kDataB3: {
        const std::uint32_t ncci = f.num(4);
        const std::uint16_t handle = std::uint16_t(f.num(2));
        if (!f.done()) {
            return badResp();
        }
        Plci* p = findPlci(ncci, app.id);
        if (p && (p->released || p->b3 != B3::Active)) {
            return kOk; // the B channel ended meanwhile
        }
        if (!p || !p->unanswered.erase(handle)) {
            return badResp();
        }
        moveWaiting(*p);
        return kOk;
    }
    case kConnectActive:
    case kConnectB3Active:
    case kDisconnectB3:
    case kInfo:
    case kDisconnect: {
        const std::uint32_t address = f.num(4);
        if (!f.done()) {
            return badResp();
        }
        // A response to a call that ended meanwhile is fine; to one never known is not.
        Plci* p = findPlci(address, app.id);
        if (!p && cmd != kDisconnect) {
            return kOk;
        }
        if (cmd == kDisconnect) {
            if (!p || !p->released) {
                return badResp();
            }
            releasePlci(address);
        }
        return kOk;
    }
    default:
        fault();
        return kIllegalMessage;
    }
}

} // namespace

FAKE_CAPI_API unsigned capi20_isinstalled(void) {
    return kOk;
}

FAKE_CAPI_API unsigned capi20_get_profile(unsigned controller, unsigned char* buffer) {
    if (!buffer) {
        return kBadCoding;
    }
    std::memset(buffer, 0, 64);
    if (controller == 0) {
        buffer[0] = 1; // one controller
        return kOk;
    }
    if (controller != kController) {
        return kIllegalId;
    }
    buffer[0] = 1;
    buffer[2] = 2; // B channels
    return kOk;
}

FAKE_CAPI_API unsigned capi20_register(unsigned maxLogicalConnections, unsigned maxBDataBlocks,
                                       unsigned maxBDataLen, unsigned* appId) {
    if (!appId || maxLogicalConnections == 0 || maxBDataBlocks == 0 ||
        maxBDataBlocks > kMaxWindow || maxBDataLen < 128 || maxBDataLen > 4096) {
        return 0x1002; // the register parameters are not usable
    }
    const int efd = ::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
    if (efd < 0) {
        return 0x1008;
    }
    std::lock_guard lock(gMutex);
    App app;
    app.id = gNextApp++;
    app.maxBlocks = maxBDataBlocks;
    app.maxLen = maxBDataLen;
    app.efd = efd;
    gApps[app.id] = std::move(app);
    *appId = gApps.rbegin()->first;
    return kOk;
}

FAKE_CAPI_API unsigned capi20_release(unsigned appId) {
    std::lock_guard lock(gMutex);
    auto it = gApps.find(appId);
    if (it == gApps.end()) {
        return kIllegalAppId;
    }
    // Its calls end for the others as a hang-up.
    std::vector<std::uint32_t> mine;
    for (auto& [id, p] : gPlcis) {
        if (p.app == appId) {
            mine.push_back(id);
        }
    }
    for (std::uint32_t id : mine) {
        auto p = gPlcis.find(id);
        if (p == gPlcis.end()) {
            continue;
        }
        if (p->second.offered) {
            p->second.offered = false;
            p->second.released = true;
            settleOffer(p->second.call);
        } else if (!p->second.released && gCalls.count(p->second.call)) {
            endCall(p->second.call, id, 0, 0x3490);
        }
    }
    for (std::uint32_t id : mine) {
        gPlcis.erase(id);
    }
    ::close(it->second.efd);
    gApps.erase(it);
    return kOk;
}

FAKE_CAPI_API unsigned capi20_put_message(unsigned appId, unsigned char* message) {
    std::lock_guard lock(gMutex);
    auto it = gApps.find(appId);
    if (it == gApps.end()) {
        return kIllegalAppId;
    }
    if (!message) {
        fault();
        return kIllegalMessage;
    }
    const std::size_t len = std::size_t(message[0] | message[1] << 8);
    const unsigned header = unsigned(message[2] | message[3] << 8);
    if (len < 12 || header != appId) {
        fault();
        return len < 12 ? kIllegalMessage : kIllegalAppId;
    }
    return handleRequest(it->second, message, len);
}

FAKE_CAPI_API unsigned capi20_get_message(unsigned appId, unsigned char** buffer) {
    std::lock_guard lock(gMutex);
    auto it = gApps.find(appId);
    if (it == gApps.end() || !buffer) {
        return kIllegalAppId;
    }
    App& app = it->second;
    if (app.queue.empty()) {
        std::uint64_t count;
        (void)!::read(app.efd, &count, sizeof count);
        return kQueueEmpty;
    }
    app.current = std::move(app.queue.front());
    app.queue.pop_front();
    if (app.queue.empty()) {
        std::uint64_t count;
        (void)!::read(app.efd, &count, sizeof count);
    }
    Bytes& m = app.current.bytes;
    if (m.size() >= 30 && m[4] == kDataB3 && m[5] == kInd) {
        // The block lives with the message until the next get.
        const auto address =
            std::uint64_t(reinterpret_cast<std::uintptr_t>(app.current.data.data()));
        for (int i = 0; i < 8; ++i) {
            m[22 + i] = std::uint8_t(address >> (8 * i));
        }
    }
    *buffer = m.data();
    return kOk;
}

FAKE_CAPI_API unsigned capi20_waitformessage(unsigned appId, struct timeval* timeout) {
    int fd;
    {
        std::lock_guard lock(gMutex);
        auto it = gApps.find(appId);
        if (it == gApps.end()) {
            return kIllegalAppId;
        }
        if (!it->second.queue.empty()) {
            return kOk;
        }
        fd = it->second.efd;
    }
    pollfd p{fd, POLLIN, 0};
    const int ms = timeout ? int(timeout->tv_sec * 1000 + timeout->tv_usec / 1000) : -1;
    return ::poll(&p, 1, ms) > 0 ? kOk : kQueueEmpty;
}

FAKE_CAPI_API int capi20_fileno(unsigned appId) {
    std::lock_guard lock(gMutex);
    auto it = gApps.find(appId);
    return it == gApps.end() ? -1 : it->second.efd;
}

FAKE_CAPI_API int fake_capi_faults(void) {
    std::lock_guard lock(gMutex);
    return gFaults;
}

FAKE_CAPI_API unsigned fake_capi_max_unconfirmed(void) {
    std::lock_guard lock(gMutex);
    return gMaxUnconfirmed;
}

FAKE_CAPI_API void fake_capi_reset_counters(void) {
    std::lock_guard lock(gMutex);
    gFaults = 0;
    gMaxUnconfirmed = 0;
}

FAKE_CAPI_API void fake_capi_corrupt(int kind) {
    std::lock_guard lock(gMutex);
    if (kind == 2) {
        for (auto& [id, app] : gApps) {
            Out o(id, 0x7E, kInd, indNumber(id)); // no such command
            o.put(0, 4);
            deliver(id, o.done());
        }
        return;
    }
    gCorrupt = kind;
}
