// CAPI 2.0 messages as bytes: the 8-byte header, the parameters of the messages an ISDN
// comm id sends and receives, little-endian, and their checked decoding. Pure functions:
// no library calls, no state.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace serilon::capi {

// Commands (byte 4 of the header).
enum Command : std::uint8_t {
    kAlert = 0x01,
    kConnect = 0x02,
    kConnectActive = 0x03,
    kDisconnect = 0x04,
    kListen = 0x05,
    kInfo = 0x08,
    kFacility = 0x80,
    kConnectB3 = 0x82,
    kConnectB3Active = 0x83,
    kDisconnectB3 = 0x84,
    kDataB3 = 0x86,
    kResetB3 = 0x87,
};

// Subcommands (byte 5 of the header).
enum Subcommand : std::uint8_t {
    kReq = 0x80,
    kConf = 0x81,
    kInd = 0x82,
    kResp = 0x83,
};

constexpr std::size_t kHeaderSize = 8;
// DATA_B3_REQ/IND with the 64-bit data pointer after the 32-bit one.
constexpr std::size_t kDataB3Size = 30;
// The largest B3 data block an ISDN comm id sends or registers for.
constexpr std::size_t kMaxBlock = 2048;

// Result codes of the CAPI calls and Info values of confirmations.
enum Info : std::uint16_t {
    kOk = 0x0000,
    kIllegalAppId = 0x1101,
    kIllegalCommand = 0x1102, // unknown command or subcommand, or a message too short
    kQueueFull = 0x1103,
    kQueueEmpty = 0x1104,
    kMessageNotSupportedInState = 0x2001,
    kIllegalIdentifier = 0x2002, // controller, PLCI or NCCI unknown
    kIllegalParameterCoding = 0x2007,
    kB1NotSupported = 0x3001,
    kB2NotSupported = 0x3002,
    kB3NotSupported = 0x3003,
    kDataLengthNotSupported = 0x3008,
};

// Reasons of DISCONNECT_IND: 0 normal, 0x3304 another application took the call,
// 0x3480 + the network's cause value.
enum Reason : std::uint16_t {
    kReasonNormal = 0x0000,
    kReasonOtherApplication = 0x3304,
    kReasonUnallocatedNumber = 0x3481,
    kReasonNormalClearing = 0x3490,
    kReasonUserBusy = 0x3491,
    kReasonNoUserResponding = 0x3492,
    kReasonCallRejected = 0x3495,
};

// CONNECT_RESP reject values.
enum Reject : std::uint16_t {
    kAccept = 0,
    kIgnore = 1,
    kRejectNormal = 2,
    kRejectBusy = 3,
};

// "Command_Subcommand" for texts, such as "CONNECT_IND"; hex for unknown ones.
std::string messageName(std::uint8_t command, std::uint8_t subcommand);
// A reason or Info value in words, with its number.
std::string reasonText(std::uint16_t reason);

struct Header {
    std::uint16_t length = 0;
    std::uint16_t appId = 0;
    std::uint8_t command = 0;
    std::uint8_t subcommand = 0;
    std::uint16_t number = 0;
};

// Builds a message: the header first, the parameters appended, the length set last.
class Writer {
public:
    Writer(std::uint16_t appId, std::uint8_t command, std::uint8_t subcommand,
           std::uint16_t number);
    Writer& u8(std::uint8_t v);
    Writer& u16(std::uint16_t v);
    Writer& u32(std::uint32_t v);
    Writer& u64(std::uint64_t v);
    // A CAPI struct: length byte (or 0xFF and a 16-bit length from 255 bytes), then bytes.
    Writer& bytes(const std::vector<std::uint8_t>& content);
    Writer& empty() { return u8(0); }
    // The finished message, its length field filled in.
    std::vector<std::uint8_t> finish();

private:
    std::vector<std::uint8_t> out_;
};

// Reads parameters in order within a message's stated length. A read past the end
// marks the reader bad; values read then are 0 and empty.
class Reader {
public:
    // data holds at least size bytes. The header is read at once.
    Reader(const std::uint8_t* data, std::size_t size);
    const Header& header() const { return header_; }
    std::uint8_t u8();
    std::uint16_t u16();
    std::uint32_t u32();
    std::uint64_t u64();
    std::vector<std::uint8_t> bytes();
    bool ok() const { return ok_; }
    // Bytes of the stated length not read yet.
    std::size_t left() const { return end_ - pos_; }

private:
    bool take(std::size_t n);
    const std::uint8_t* data_;
    std::size_t pos_ = 0;
    std::size_t end_ = 0;
    bool ok_ = true;
    Header header_;
};

// Checks the header of a message of size bytes: at least 8 bytes and a length field
// between 8 and size. Returns the header, or nothing.
std::optional<Header> readHeader(const std::uint8_t* data, std::size_t size);

// Party numbers as CAPI structs: the called number has one octet of type and plan
// before its digits, the calling number two (type and plan, presentation).
std::vector<std::uint8_t> calledNumber(const std::string& digits);
std::vector<std::uint8_t> callingNumber(const std::string& digits);
// The digits of a called or calling number struct; nothing when the struct is too
// short or holds anything but IA5 digits and the dial characters * and #.
std::optional<std::string> digitsOfCalled(const std::vector<std::uint8_t>& number);
std::optional<std::string> digitsOfCalling(const std::vector<std::uint8_t>& number);

// The B protocol struct of a transparent B channel: 64 kbit/s with byte framing on
// layer 1, transparent layers 2 and 3, no configurations.
std::vector<std::uint8_t> transparentBProtocol();

// ---- messages an application sends

std::vector<std::uint8_t> listenReq(std::uint16_t appId, std::uint16_t number,
                                    std::uint32_t controller, std::uint32_t cipMask);
std::vector<std::uint8_t> connectReq(std::uint16_t appId, std::uint16_t number,
                                     std::uint32_t controller, std::uint16_t cipValue,
                                     const std::string& called, const std::string& calling);
std::vector<std::uint8_t> connectResp(std::uint16_t appId, std::uint16_t number, std::uint32_t plci,
                                      std::uint16_t reject);
// A request or response whose only parameter is the PLCI or NCCI (CONNECT_ACTIVE_RESP,
// CONNECT_B3_ACTIVE_RESP, DISCONNECT_B3_RESP, DISCONNECT_RESP, INFO_RESP).
std::vector<std::uint8_t> addressOnly(std::uint16_t appId, std::uint8_t command,
                                      std::uint8_t subcommand, std::uint16_t number,
                                      std::uint32_t address);
// CONNECT_B3_REQ and DISCONNECT_B3_REQ: the PLCI or NCCI and an empty NCPI.
std::vector<std::uint8_t> withEmptyNcpi(std::uint16_t appId, std::uint8_t command,
                                        std::uint16_t number, std::uint32_t address);
std::vector<std::uint8_t> connectB3Resp(std::uint16_t appId, std::uint16_t number,
                                        std::uint32_t ncci, std::uint16_t reject);
std::vector<std::uint8_t> disconnectReq(std::uint16_t appId, std::uint16_t number,
                                        std::uint32_t plci);
// DATA_B3_REQ in its 64-bit form: data stays the caller's until DATA_B3_CONF.
std::vector<std::uint8_t> dataB3Req(std::uint16_t appId, std::uint16_t number, std::uint32_t ncci,
                                    const std::uint8_t* data, std::uint16_t length,
                                    std::uint16_t handle);
std::vector<std::uint8_t> dataB3Resp(std::uint16_t appId, std::uint16_t number, std::uint32_t ncci,
                                     std::uint16_t handle);

// ---- messages an application receives (decoded; nothing when malformed)

// Any CONF: the controller, PLCI or NCCI and the Info (DATA_B3_CONF has its handle
// between them).
struct Confirmation {
    std::uint32_t address = 0;
    std::uint16_t handle = 0;
    std::uint16_t info = 0;
};
std::optional<Confirmation> decodeConf(const std::uint8_t* data, std::size_t size);

struct ConnectInd {
    std::uint32_t plci = 0;
    std::uint16_t cipValue = 0;
    std::string called;
    std::string calling;
};
std::optional<ConnectInd> decodeConnectInd(const std::uint8_t* data, std::size_t size);

// DISCONNECT_IND and DISCONNECT_B3_IND: address and reason. INFO_IND, CONNECT_ACTIVE_IND,
// CONNECT_B3_IND, CONNECT_B3_ACTIVE_IND: address only (reason 0).
struct AddressReason {
    std::uint32_t address = 0;
    std::uint16_t reason = 0;
};
std::optional<AddressReason> decodeAddressReason(const std::uint8_t* data, std::size_t size,
                                                 bool withReason);

struct DataB3Ind {
    std::uint32_t ncci = 0;
    const std::uint8_t* data = nullptr; // owned by the CAPI library until the next get
    std::uint16_t length = 0;
    std::uint16_t handle = 0;
};
std::optional<DataB3Ind> decodeDataB3Ind(const std::uint8_t* data, std::size_t size);

} // namespace serilon::capi
