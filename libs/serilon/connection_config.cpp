#include "libs/serilon/connection_config.h"

#include "serilon/serilon.h"

#include <cstring>

namespace serilon {

namespace {

// A NUL-terminated text from a fixed field: never reads past the field, and cut to max.
std::string fieldText(const char* field, std::size_t fieldSize, std::size_t max) {
    std::size_t n = ::strnlen(field, fieldSize);
    return std::string(field, n < max ? n : max);
}

void putText(char* field, std::size_t fieldSize, const std::string& text) {
    std::memset(field, 0, fieldSize);
    std::memcpy(field, text.data(), text.size() < fieldSize ? text.size() : fieldSize - 1);
}

} // namespace

std::int32_t applyTypeRequest(ConnectionConfig& config, void* record) {
    if (!record) {
        return SERIAL_E_INVALID;
    }
    std::int16_t request;
    std::memcpy(&request, record, sizeof request);
    auto* bytes = static_cast<std::uint8_t*>(record);
    switch (request) {
    case kRequestReadType:
        bytes[2] = config.type;
        return SERIAL_OK;
    case kRequestReadTcp: {
        TcpRecord r{};
        r.request = request;
        r.type = config.type;
        r.maxServerConnections = config.maxServerConnections;
        r.port = config.port;
        putText(r.host, sizeof r.host, config.host);
        std::memcpy(record, &r, sizeof r);
        return SERIAL_OK;
    }
    case kRequestReadIsdn:
    case kRequestReadIsdnCall: {
        IsdnRecord r{};
        r.request = request;
        r.type = config.type;
        putText(r.ownExtension, sizeof r.ownExtension, config.ownExtension);
        if (request == kRequestReadIsdn) {
            r.controller = config.controller;
            r.cipValue = config.cipValue;
            r.cipMask = config.cipMask;
        }
        std::memcpy(record, &r, sizeof r);
        return SERIAL_OK;
    }
    default:
        break;
    }
    if (request < kRequestWrite || request > int(kRequestWrite) + int(kFieldAll)) {
        return SERIAL_E_INVALID;
    }
    const int fields = request & kFieldAll;
    const std::uint8_t type = bytes[2];
    if (!isKnownType(type)) {
        return SERIAL_E_INVALID;
    }
    ConnectionConfig next = config;
    next.type = type;
    if (fields != 0 && type == kTypeIsdn) {
        IsdnRecord r;
        std::memcpy(&r, record, sizeof r);
        if (fields & kFieldExtension) {
            next.ownExtension = fieldText(r.ownExtension, sizeof r.ownExtension, kExtensionTextMax);
        }
        if (fields & kFieldController) {
            next.controller = r.controller;
        }
        if (fields & kFieldCipValue) {
            next.cipValue = r.cipValue;
        }
        if (fields & kFieldCipMask) {
            next.cipMask = r.cipMask;
        }
    } else if (fields != 0) {
        TcpRecord r;
        std::memcpy(&r, record, sizeof r);
        if (fields & kFieldHost) {
            next.host = fieldText(r.host, sizeof r.host, kHostTextMax);
        }
        if (fields & kFieldPort) {
            next.port = r.port;
        }
        if (fields & kFieldLimit) {
            // 0 connections would make a server that never accepts: at least one.
            next.maxServerConnections = r.maxServerConnections ? r.maxServerConnections : 1;
        }
    }
    config = next;
    return SERIAL_OK;
}

ConnectionTable& ConnectionTable::instance() {
    static ConnectionTable* table = new ConnectionTable(); // never destroyed, as the comm table
    return *table;
}

ConnectionConfig ConnectionTable::get(std::int32_t commId) {
    std::lock_guard lock(mutex_);
    return configs_[commId];
}

void ConnectionTable::set(std::int32_t commId, const ConnectionConfig& config) {
    std::lock_guard lock(mutex_);
    configs_[commId] = config;
}

std::int32_t ConnectionTable::request(std::int32_t commId, void* record) {
    std::lock_guard lock(mutex_);
    return applyTypeRequest(configs_[commId], record);
}

} // namespace serilon
