// The records exchanged with ComTypeControl and ComConnectInfo: little-endian, packed,
// their offsets fixed and checked here.
#pragma once

#include <cstddef>
#include <cstdint>

#include "serilon/serilon.h"

namespace serilon {

// Connection types a comm id can have.
enum ConnectionType : std::uint8_t {
    kTypeRs232 = 0,
    kTypeRs485 = 1,
    kTypeIsdn = 10,
    kTypeTcp = 20, // a TCP connection without a role of its own (read back as TCP)
    kTypeTcpServer = 21,
    kTypeTcpClient = 22,
};

inline bool isTcpType(int type) {
    return type == kTypeTcp || type == kTypeTcpServer || type == kTypeTcpClient;
}
inline bool isKnownType(int type) {
    return type == kTypeRs232 || type == kTypeRs485 || type == kTypeIsdn || isTcpType(type);
}

// Request codes of the connection-type record.
enum RequestCode : std::int16_t {
    kRequestWrite = 0x100,       // plus kField* bits: take the type byte and the fields named
    kRequestReadType = 0x200,    // the type into byte 2
    kRequestReadTcp = 0x12C,     // the whole TCP record
    kRequestReadIsdn = 0xDC0,    // the whole ISDN record
    kRequestReadIsdnCall = 0x140 // the own extension (ISDN layout, offset 3)
};

// Field bits of a write request; which layout they name follows the type byte.
enum FieldBits : std::int16_t {
    kFieldHost = 0x001,       // TCP: IP address or host
    kFieldPort = 0x002,       // TCP: port
    kFieldLimit = 0x010,      // TCP: maximum server connections
    kFieldExtension = 0x001,  // ISDN: own extension
    kFieldController = 0x002, // ISDN: controller
    kFieldCipValue = 0x004,   // ISDN: CIP value
    kFieldCipMask = 0x008,    // ISDN: CIP mask
    kFieldAll = 0x01F,
};

constexpr std::size_t kHostTextMax = 62;      // characters of an IP address or host name
constexpr std::size_t kExtensionTextMax = 18; // digits of an own extension

// The layouts are the interface's (serilon/serilon.h).
using TcpRecord = SerialTcpRecord;
using IsdnRecord = SerialIsdnRecord;
using TcpConnectInfo = SerialTcpConnectInfo;
using IsdnCallInfo = SerialIsdnCallInfo;

static_assert(sizeof(TcpRecord) == 70, "TCP record is 70 bytes");
static_assert(offsetof(TcpRecord, type) == 2);
static_assert(offsetof(TcpRecord, maxServerConnections) == 3);
static_assert(offsetof(TcpRecord, port) == 4);
static_assert(offsetof(TcpRecord, host) == 6);
static_assert(sizeof(IsdnRecord) == 51, "ISDN record is 51 bytes");
static_assert(offsetof(IsdnRecord, ownExtension) == 3);
static_assert(offsetof(IsdnRecord, controller) == 23);
static_assert(offsetof(IsdnRecord, cipValue) == 27);
static_assert(offsetof(IsdnRecord, cipMask) == 29);
static_assert(sizeof(TcpConnectInfo) == 70, "TCP connection info is 70 bytes");
static_assert(offsetof(TcpConnectInfo, port) == 4);
static_assert(offsetof(TcpConnectInfo, peer) == 6);
static_assert(sizeof(IsdnCallInfo) == 40, "ISDN call info is 40 bytes");

} // namespace serilon
