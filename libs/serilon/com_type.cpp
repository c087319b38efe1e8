// The connection-type calls: the per comm id parameters (ComTypeControl), the
// connection's peer (ComConnectInfo) and taking over an accepted connection
// (NetAdoptSocket).
#include "libs/serilon/comm_table.h"
#include "libs/serilon/connection_config.h"
#include "libs/serilon/isdn_connection.h"
#include "serilon/serilon.h"

#include <cstring>

using serilon::CommTable;
using serilon::ConnectionTable;
using serilon::OsStatus;

extern "C" {

int32_t ComTypeControl(int32_t commId, void* record) {
    if (!CommTable::validId(commId)) {
        return SERIAL_E_BAD_ID;
    }
    const std::int32_t st = ConnectionTable::instance().request(commId, record);
    if (st != SERIAL_OK) {
        CommTable::instance().recordFailure(
            commId, OsStatus::make(SerialStatus(st), "unknown connection-type request or type"));
    }
    return st;
}

int32_t ComConnectInfo(int32_t commId, void* buffer) {
    if (!CommTable::validId(commId)) {
        return SERIAL_E_BAD_ID;
    }
    if (!buffer) {
        return SERIAL_E_INVALID;
    }
    const serilon::ConnectionConfig config = ConnectionTable::instance().get(commId);
    std::shared_ptr<serilon::Channel> channel = CommTable::instance().find(commId);
    if (config.type == serilon::kTypeIsdn) {
        // The numbers of the call in progress or the last one; empty before any call.
        std::memset(buffer, 0, sizeof(serilon::IsdnCallInfo));
        serilon::IsdnCallInfo info{};
        if (!channel || !channel->isdn() || !channel->isdn()->callInfo(info)) {
            return SERIAL_E_NOT_OPEN;
        }
        std::memcpy(buffer, &info, sizeof info);
        return SERIAL_OK;
    }
    if (!channel) {
        return SERIAL_E_NOT_OPEN;
    }
    serilon::TcpConnectInfo info{};
    serilon::PeerAddress peer;
    std::int32_t handle = 0;
    if (!channel->connectionInfo(handle, peer)) {
        return channel->isNetwork() ? SERIAL_E_NOT_OPEN : SERIAL_E_UNSUPPORTED;
    }
    info.handle = handle;
    info.port = peer.port;
    std::strncpy(info.peer, peer.ip.c_str(), sizeof info.peer - 1);
    std::memcpy(buffer, &info, sizeof info);
    return SERIAL_OK;
}

int32_t NetAdoptSocket(int32_t commId, intptr_t handle) {
    if (!CommTable::validId(commId)) {
        return SERIAL_E_BAD_ID;
    }
    if (handle <= 0 || handle > INT32_MAX) {
        CommTable::instance().recordFailure(
            commId, OsStatus::make(SERIAL_E_INVALID, "no accepted connection has that handle"));
        return SERIAL_E_INVALID;
    }
    const OsStatus st = CommTable::instance().adopt(commId, std::int32_t(handle));
    return st.status;
}

} // extern "C"
