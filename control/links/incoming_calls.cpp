// Incoming calls and connections: the library's report 0x100 by connection type (in
// the library's thread), handing an accepted TCP connection to a fresh comm id, and
// the ModemResult text built in the owner's thread.
#include <cstdio>
#include <cstring>

#include "control/object/vort_ctrl.h"
#include "serilon/serilon.h"
#include "vort/comm_events.h"

namespace vort {

namespace {

// Results of the event procedure that refuse a call or connection.
constexpr int32_t kRefuseCall = 1;
constexpr int32_t kRefuseConnection = 3;

// The record posted with code 6: byte 0 the comm id carrying a TCP connection, then
// the connection info; for ISDN the call info from byte 1 on. One layout for both, so
// the owner's side reads it by the control's type.
constexpr size_t kRecordSize = 1 + sizeof(SerialTcpConnectInfo);
static_assert(kRecordSize == 71);
static_assert(sizeof(SerialIsdnCallInfo) < kRecordSize);

template <size_t N> std::string fieldText(const char (&field)[N]) {
    return std::string(field, strnlen(field, N));
}

// A comm id holding a connection a server handed on that nobody has taken over and
// whose peer has already gone: its bytes wait only for a late owner.
bool endedUnadopted(int32_t id) {
    return SerialInUse(id) && SerialGetUserData(id, 4) != 0 &&
           SerialOpenStatus(id) == SERIAL_E_HUNG_UP;
}

} // namespace

int32_t CVortCtrl::adoptConnection(const SerialTcpConnectInfo& info) {
    int32_t id = takeConnection(info);
    if (id != kNoFreeCommId)
        return id >= 0 ? id : -1;
    // Every comm id is taken: the ended connections nobody took over give theirs back
    // (their bytes are dropped). Slot 4 keeps its value, so a late takeover learns
    // that the connection was closed instead of opening that comm id anew.
    bool reclaimed = false;
    for (int32_t other = 0; other <= SERIAL_MAX_COMM_ID; ++other) {
        if (endedUnadopted(other)) {
            SerialClosePort(other);
            reclaimed = true;
        }
    }
    if (!reclaimed)
        return -1;
    id = takeConnection(info);
    return id < 0 ? -1 : id;
}

int32_t CVortCtrl::takeConnection(const SerialTcpConnectInfo& info) {
    for (int32_t id = 0; id <= SERIAL_MAX_COMM_ID; ++id) {
        if (SerialInUse(id))
            continue;
        // What the comm id had, to put back when the connection cannot be taken over.
        SerialTcpRecord previous{};
        previous.request = SERIAL_REQ_READ_TCP;
        ComTypeControl(id, &previous);
        SerialTcpRecord r{};
        r.request = SERIAL_REQ_WRITE | SERIAL_FIELD_HOST | SERIAL_FIELD_PORT;
        r.type = kComTypeTcpClient;
        r.port = info.port;
        std::memcpy(r.host, info.peer, sizeof r.host);
        r.host[sizeof r.host - 1] = '\0';
        ComTypeControl(id, &r);
        NetAdoptSocket(id, info.handle);
        // A peer that sent its bytes and closed at once is still handed on: the owner
        // reads them and then hears of the hang-up.
        const int32_t status = SerialOpenStatus(id);
        if (status != SERIAL_OK && status != SERIAL_E_HUNG_UP) {
            if (SerialInUse(id))
                SerialClosePort(id);
            previous.request =
                SERIAL_REQ_WRITE | SERIAL_FIELD_HOST | SERIAL_FIELD_PORT | SERIAL_FIELD_LIMIT;
            ComTypeControl(id, &previous);
            return kConnectionGone;
        }
        return id;
    }
    return kNoFreeCommId;
}

int32_t CVortCtrl::onIncomingCall(int32_t id) {
    const int16_t type = comTypeShared_.load();
    auto post = [&](std::unique_ptr<uint8_t[]> record) {
        intptr_t lParam = 0;
        if (record) {
            lParam = reinterpret_cast<intptr_t>(record.get());
            std::lock_guard lock(incomingMutex_);
            incomingRecords_.push_back(std::move(record));
        }
        postCommEvent(kCommEvRing, lParam);
    };
    if (type == kComTypeIsdn) {
        SerialIsdnRecord config{};
        config.request = SERIAL_REQ_READ_ISDN_CALL;
        ComTypeControl(id, &config);
        const std::string own = fieldText(config.ownExtension);
        if (own.empty()) {
            post(nullptr);
            return 0;
        }
        auto record = std::make_unique<uint8_t[]>(kRecordSize);
        std::memset(record.get(), 0, kRecordSize);
        SerialIsdnCallInfo call{};
        ComConnectInfo(id, &call);
        // A call for another extension is not ours: refused, nothing reaches the host.
        if (fieldText(call.called).find(own) == std::string::npos)
            return kRefuseCall;
        std::memcpy(record.get() + 1, &call, sizeof call);
        post(std::move(record));
        return 0;
    }
    if (type == kComTypeTcpServer) {
        auto record = std::make_unique<uint8_t[]>(kRecordSize);
        std::memset(record.get(), 0, kRecordSize);
        SerialTcpConnectInfo info{};
        ComConnectInfo(id, &info);
        SerialTcpRecord params{};
        params.request = SERIAL_REQ_READ_TCP;
        ComTypeControl(id, &params);
        if (params.type == kComTypeTcpServer && params.maxServerConnections != 1) {
            const int32_t newId = adoptConnection(info);
            if (newId < 0)
                return kRefuseConnection;
            record[0] = static_cast<uint8_t>(newId);
            SerialSetUserData(newId, 4, info.handle);
        } else {
            // One connection: it stays on this comm id, which the text then names.
            record[0] = static_cast<uint8_t>(id);
        }
        std::memcpy(record.get() + 1, &info, sizeof info);
        post(std::move(record));
        return 0;
    }
    post(nullptr); // a ring on a serial line
    return 0;
}

void CVortCtrl::describeIncoming(intptr_t lParam) {
    std::unique_ptr<uint8_t[]> record;
    if (lParam != 0) {
        // Only a record this control posted and nobody has freed yet is taken.
        std::lock_guard lock(incomingMutex_);
        for (auto it = incomingRecords_.begin(); it != incomingRecords_.end(); ++it) {
            if (reinterpret_cast<intptr_t>(it->get()) == lParam) {
                record = std::move(*it);
                incomingRecords_.erase(it);
                break;
            }
        }
    }
    const int32_t id = activeCommId();
    char text[160];
    if (comType_ == kComTypeIsdn) {
        SerialIsdnCallInfo call{};
        if (record)
            std::memcpy(&call, record.get() + 1, sizeof call);
        else if (portOpenFlag_.load())
            ComConnectInfo(id, &call);
        std::snprintf(text, sizeof text, "Call from %s to %s", fieldText(call.calling).c_str(),
                      fieldText(call.called).c_str());
        setModemResult(text);
    } else if (comType_ == kComTypeTcpServer) {
        SerialTcpConnectInfo info{};
        if (record) {
            std::memcpy(&info, record.get() + 1, sizeof info);
            std::snprintf(text, sizeof text, "Connected IP=%s, Port=%d, CommId=%d",
                          fieldText(info.peer).c_str(), info.port, record[0]);
        } else {
            if (portOpenFlag_.load())
                ComConnectInfo(id, &info);
            std::snprintf(text, sizeof text, "Connected IP=%s, Port=%d",
                          fieldText(info.peer).c_str(), info.port);
        }
        setModemResult(text);
    }
}

} // namespace vort
