#include "libs/serilon/config_record.h"

namespace serilon {

namespace {

constexpr char kParityLetters[] = {'N', 'O', 'E', 'M', 'S'};

int parityCode(char letter) {
    for (int i = 0; i < 5; ++i) {
        if (kParityLetters[i] == letter) {
            return i;
        }
    }
    return 0;
}

} // namespace

OsStatus setLineValues(LineSettings& s, std::int64_t baud, int dataBits, int stopBits, char parity,
                       int flow) {
    if (baud <= 0 || baud > 0x7FFFFFFF) {
        return OsStatus::make(SERIAL_E_INVALID, "line speed " + std::to_string(baud) +
                                                    " is not a positive baud rate");
    }
    if (dataBits < 5 || dataBits > 8) {
        return OsStatus::make(SERIAL_E_INVALID,
                              "data bits must be 5 to 8, not " + std::to_string(dataBits));
    }
    if (stopBits != 1 && stopBits != 2) {
        return OsStatus::make(SERIAL_E_INVALID,
                              "stop bits must be 1 or 2, not " + std::to_string(stopBits));
    }
    const char upper = (parity >= 'a' && parity <= 'z') ? char(parity - 'a' + 'A') : parity;
    if (upper != 'E' && upper != 'M' && upper != 'N' && upper != 'O' && upper != 'S') {
        return OsStatus::make(SERIAL_E_INVALID,
                              std::string("parity must be E, M, N, O or S, not code ") +
                                  std::to_string(int(static_cast<unsigned char>(parity))));
    }
    s.baud = std::uint32_t(baud);
    s.dataBits = dataBits;
    s.stopBits = stopBits;
    s.parity = upper;
    s.flow = flow & (SERIAL_FLOW_RTSCTS | SERIAL_FLOW_DTRDSR | SERIAL_FLOW_XONXOFF);
    return OsStatus::success();
}

void toConfigRecord(const LineSettings& s, SerialConfigRecord& record) {
    record = SerialConfigRecord{};
    record.length = sizeof(SerialConfigRecord);
    record.baud = s.baud;
    std::uint32_t flags = SERIAL_CFG_BINARY;
    if (s.parity != 'N') {
        flags |= SERIAL_CFG_PARITY_CHECK;
    }
    if (s.flow & SERIAL_FLOW_RTSCTS) {
        flags |= SERIAL_CFG_OUT_CTS_FLOW | SERIAL_CFG_RTS_FLOW;
    }
    if (s.flow & SERIAL_FLOW_DTRDSR) {
        flags |= SERIAL_CFG_OUT_DSR_FLOW | SERIAL_CFG_DTR_FLOW;
    }
    if (s.flow & SERIAL_FLOW_XONXOFF) {
        flags |= SERIAL_CFG_OUT_XON | SERIAL_CFG_IN_XON;
    }
    if (s.errorCharOn) {
        flags |= SERIAL_CFG_ERROR_CHAR;
    }
    if (s.discardNul) {
        flags |= SERIAL_CFG_DISCARD_NUL;
    }
    record.flags = flags;
    record.xonLimit = s.xonLimit;
    record.xoffLimit = s.xoffLimit;
    record.dataBits = std::uint8_t(s.dataBits);
    record.parity = std::uint8_t(parityCode(s.parity));
    if (s.stopBits == 2) {
        record.stopBits = s.dataBits == 5 ? 1 : 2;
    } else {
        record.stopBits = 0;
    }
    record.xonChar = char(s.xonChar);
    record.xoffChar = char(s.xoffChar);
    record.errorChar = char(s.errorChar);
    record.eofChar = char(s.eofChar);
    record.eventChar = char(s.eventChar);
}

OsStatus fromConfigRecord(const SerialConfigRecord& record, LineSettings& s) {
    if (record.baud == 0 || record.baud > 0x7FFFFFFF) {
        return OsStatus::make(SERIAL_E_INVALID, "configuration record: speed " +
                                                    std::to_string(record.baud) +
                                                    " is not a usable baud rate");
    }
    if (record.dataBits < 5 || record.dataBits > 8) {
        return OsStatus::make(SERIAL_E_INVALID, "configuration record: data bits " +
                                                    std::to_string(record.dataBits) +
                                                    " outside 5..8");
    }
    if (record.parity > 4) {
        return OsStatus::make(SERIAL_E_INVALID, "configuration record: parity code " +
                                                    std::to_string(record.parity) +
                                                    " outside 0..4");
    }
    if (record.stopBits > 2) {
        return OsStatus::make(SERIAL_E_INVALID, "configuration record: stop-bit code " +
                                                    std::to_string(record.stopBits) +
                                                    " outside 0..2");
    }
    const std::uint32_t f = record.flags;
    LineSettings n = s;
    n.baud = record.baud;
    n.dataBits = record.dataBits;
    n.parity = kParityLetters[record.parity];
    // One and a half (code 1) is what two stop bits give with 5 data bits.
    n.stopBits = record.stopBits == 0 ? 1 : 2;
    n.flow = 0;
    if (f & (SERIAL_CFG_OUT_CTS_FLOW | SERIAL_CFG_RTS_FLOW)) {
        n.flow |= SERIAL_FLOW_RTSCTS;
    }
    if (f & (SERIAL_CFG_OUT_DSR_FLOW | SERIAL_CFG_DTR_FLOW)) {
        n.flow |= SERIAL_FLOW_DTRDSR;
    }
    if (f & (SERIAL_CFG_OUT_XON | SERIAL_CFG_IN_XON)) {
        n.flow |= SERIAL_FLOW_XONXOFF;
    }
    n.errorCharOn = (f & SERIAL_CFG_ERROR_CHAR) != 0;
    n.discardNul = (f & SERIAL_CFG_DISCARD_NUL) != 0;
    n.xonLimit = record.xonLimit;
    n.xoffLimit = record.xoffLimit;
    n.xonChar = std::uint8_t(record.xonChar);
    n.xoffChar = std::uint8_t(record.xoffChar);
    n.errorChar = std::uint8_t(record.errorChar);
    n.eofChar = std::uint8_t(record.eofChar);
    n.eventChar = std::uint8_t(record.eventChar);
    s = n;
    return OsStatus::success();
}

} // namespace serilon
