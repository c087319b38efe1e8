// Per comm id connection parameters: the connection type and its TCP or ISDN values.
// They outlive open and close, like the user slots, and are what ComTypeControl reads
// and writes.
#pragma once

#include "libs/serilon/connection_records.h"

#include <cstdint>
#include <mutex>
#include <string>

namespace serilon {

struct ConnectionConfig {
    std::uint8_t type = kTypeRs232;
    // TCP: for a server the local address to listen on (empty: every address), for a
    // client the peer's address or host name.
    std::string host;
    std::uint16_t port = 0;
    // A server with 1 carries its one connection itself; above 1 each accepted
    // connection goes to a comm id of its own.
    std::uint8_t maxServerConnections = 1;
    // ISDN
    std::string ownExtension;
    // 0 until set: an ISDN connection needs both chosen.
    std::int32_t controller = 0;
    std::int16_t cipValue = 0;
    std::uint32_t cipMask = 0x1FFF03FF;
};

// Applies one ComTypeControl request to config. record points at the caller's record,
// at least as long as the request's layout (70 bytes TCP, 51 ISDN; 3 for the type
// requests). Reads fill the record; writes take the fields the request names. Returns
// SERIAL_OK, or SERIAL_E_INVALID for an unknown request or type (config unchanged).
std::int32_t applyTypeRequest(ConnectionConfig& config, void* record);

// The process-wide table of the 255 comm ids' parameters. Thread-safe.
class ConnectionTable {
public:
    static ConnectionTable& instance();
    ConnectionConfig get(std::int32_t commId);
    void set(std::int32_t commId, const ConnectionConfig& config);
    // Runs applyTypeRequest on commId's parameters under the table's lock.
    std::int32_t request(std::int32_t commId, void* record);

private:
    ConnectionTable() = default;
    std::mutex mutex_;
    ConnectionConfig configs_[255];
};

} // namespace serilon
