// The values of the control's enumerated properties, as hosts write them and the type
// library publishes them (VORTOCX_COMTYPE, VORTOCX_PROTOCOLS, VORTOCX_HANDSHAKING and
// COMM_HANDSHAKING, COMM_INPUTMODE).
#pragma once

#include <cstdint>

namespace vort {

// ComType: what the comm id carries.
enum ComType : int16_t {
    kComTypeRs232 = 0,
    kComTypeRs485 = 1,
    kComTypeIsdn = 10,
    kComTypeTcpServer = 21,
    kComTypeTcpClient = 22,
};

// Protocol: how FileTransmit and FileReceive move files; 7 turns Input and Output into
// 3964/3964R telegrams.
enum Protocol : int16_t {
    kProtocolAscii = 0,
    kProtocolXmodem = 1,
    kProtocolXmodemCrc = 2,
    kProtocolYmodem = 3,
    kProtocolYmodemBatch = 4,
    kProtocolZmodem = 5,
    kProtocolZmodemSave = 6,
    kProtocol3964 = 7,
};

// Handshaking: the flow control of a serial line.
enum Handshaking : int16_t {
    kHandshakeNone = 0,
    kHandshakeXOnXOff = 1,
    kHandshakeRts = 2,
    kHandshakeRtsXOnXOff = 3,
    kHandshakeDtr = 4,
    kHandshakeDtrXOnXOff = 5,
};

// InputMode: what Input returns.
enum InputMode : int16_t {
    kInputModeText = 0,   // a text, InputLen characters once that many are waiting
    kInputModeBinary = 1, // a byte array of what is waiting, up to InputLen
};

} // namespace vort
