#include "libs/serilon/capi_messages.h"

#include <cstdio>
#include <cstring>

namespace serilon::capi {

namespace {

const char* commandName(std::uint8_t command) {
    switch (command) {
    case kAlert:
        return "ALERT";
    case kConnect:
        return "CONNECT";
    case kConnectActive:
        return "CONNECT_ACTIVE";
    case kDisconnect:
        return "DISCONNECT";
    case kListen:
        return "LISTEN";
    case kInfo:
        return "INFO";
    case kFacility:
        return "FACILITY";
    case kConnectB3:
        return "CONNECT_B3";
    case kConnectB3Active:
        return "CONNECT_B3_ACTIVE";
    case kDisconnectB3:
        return "DISCONNECT_B3";
    case kDataB3:
        return "DATA_B3";
    case kResetB3:
        return "RESET_B3";
    default:
        return nullptr;
    }
}

const char* subcommandName(std::uint8_t subcommand) {
    switch (subcommand) {
    case kReq:
        return "REQ";
    case kConf:
        return "CONF";
    case kInd:
        return "IND";
    case kResp:
        return "RESP";
    default:
        return nullptr;
    }
}

bool dialCharacter(std::uint8_t c) {
    return (c >= '0' && c <= '9') || c == '*' || c == '#';
}

std::optional<std::string> digitsAfter(const std::vector<std::uint8_t>& number, std::size_t skip) {
    if (number.empty()) {
        return std::string(); // an absent number is an empty one
    }
    if (number.size() < skip) {
        return std::nullopt;
    }
    std::string digits;
    for (std::size_t i = skip; i < number.size(); ++i) {
        if (!dialCharacter(number[i])) {
            return std::nullopt;
        }
        digits += char(number[i]);
    }
    return digits;
}

std::uint32_t get32(const std::uint8_t* p) {
    return std::uint32_t(p[0]) | std::uint32_t(p[1]) << 8 | std::uint32_t(p[2]) << 16 |
           std::uint32_t(p[3]) << 24;
}

} // namespace

std::string messageName(std::uint8_t command, std::uint8_t subcommand) {
    const char* c = commandName(command);
    const char* s = subcommandName(subcommand);
    char text[48];
    if (c && s) {
        std::snprintf(text, sizeof text, "%s_%s", c, s);
    } else {
        std::snprintf(text, sizeof text, "message 0x%02X/0x%02X", command, subcommand);
    }
    return text;
}

std::string reasonText(std::uint16_t reason) {
    const char* words = nullptr;
    switch (reason) {
    case kReasonNormal:
        words = "normal end";
        break;
    case kReasonOtherApplication:
        words = "another application took the call";
        break;
    case kReasonUnallocatedNumber:
        words = "the number is not assigned";
        break;
    case kReasonNormalClearing:
        words = "the other side hung up";
        break;
    case kReasonUserBusy:
        words = "the other side is busy";
        break;
    case kReasonNoUserResponding:
        words = "nobody answers";
        break;
    case kReasonCallRejected:
        words = "the call was rejected";
        break;
    case kIllegalIdentifier:
        words = "unknown controller or connection";
        break;
    case kIllegalParameterCoding:
        words = "a parameter was coded wrongly";
        break;
    case kMessageNotSupportedInState:
        words = "not possible in this state";
        break;
    case kB1NotSupported:
    case kB2NotSupported:
    case kB3NotSupported:
        words = "the B channel protocol is not supported";
        break;
    case kIllegalCommand:
        words = "unknown or short message";
        break;
    case kQueueFull:
        words = "the controller's queue is full";
        break;
    default:
        break;
    }
    char text[96];
    if (words) {
        std::snprintf(text, sizeof text, "%s, 0x%04X", words, reason);
    } else if ((reason & 0xFF00) == 0x3400) {
        std::snprintf(text, sizeof text, "network cause %d, 0x%04X", reason & 0x7F, reason);
    } else {
        std::snprintf(text, sizeof text, "0x%04X", reason);
    }
    return text;
}

// ---- Writer --------------------------------------------------------------------------

Writer::Writer(std::uint16_t appId, std::uint8_t command, std::uint8_t subcommand,
               std::uint16_t number) {
    u16(0); // length, set by finish()
    u16(appId);
    u8(command);
    u8(subcommand);
    u16(number);
}

Writer& Writer::u8(std::uint8_t v) {
    out_.push_back(v);
    return *this;
}

Writer& Writer::u16(std::uint16_t v) {
    out_.push_back(std::uint8_t(v));
    out_.push_back(std::uint8_t(v >> 8));
    return *this;
}

Writer& Writer::u32(std::uint32_t v) {
    u16(std::uint16_t(v));
    return u16(std::uint16_t(v >> 16));
}

Writer& Writer::u64(std::uint64_t v) {
    u32(std::uint32_t(v));
    return u32(std::uint32_t(v >> 32));
}

Writer& Writer::bytes(const std::vector<std::uint8_t>& content) {
    if (content.size() < 255) {
        u8(std::uint8_t(content.size()));
    } else {
        u8(0xFF);
        u16(std::uint16_t(content.size()));
    }
    out_.insert(out_.end(), content.begin(), content.end());
    return *this;
}

std::vector<std::uint8_t> Writer::finish() {
    out_[0] = std::uint8_t(out_.size());
    out_[1] = std::uint8_t(out_.size() >> 8);
    return std::move(out_);
}

// ---- Reader --------------------------------------------------------------------------

std::optional<Header> readHeader(const std::uint8_t* data, std::size_t size) {
    if (!data || size < kHeaderSize) {
        return std::nullopt;
    }
    Header h;
    h.length = std::uint16_t(data[0] | data[1] << 8);
    h.appId = std::uint16_t(data[2] | data[3] << 8);
    h.command = data[4];
    h.subcommand = data[5];
    h.number = std::uint16_t(data[6] | data[7] << 8);
    if (h.length < kHeaderSize || h.length > size) {
        return std::nullopt;
    }
    return h;
}

Reader::Reader(const std::uint8_t* data, std::size_t size) : data_(data) {
    const std::optional<Header> h = readHeader(data, size);
    if (!h) {
        ok_ = false;
        return;
    }
    header_ = *h;
    pos_ = kHeaderSize;
    end_ = h->length;
}

bool Reader::take(std::size_t n) {
    if (!ok_ || end_ - pos_ < n) {
        ok_ = false;
        return false;
    }
    return true;
}

std::uint8_t Reader::u8() {
    if (!take(1)) {
        return 0;
    }
    return data_[pos_++];
}

std::uint16_t Reader::u16() {
    if (!take(2)) {
        return 0;
    }
    const std::uint16_t v = std::uint16_t(data_[pos_] | data_[pos_ + 1] << 8);
    pos_ += 2;
    return v;
}

std::uint32_t Reader::u32() {
    if (!take(4)) {
        return 0;
    }
    const std::uint32_t v = get32(data_ + pos_);
    pos_ += 4;
    return v;
}

std::uint64_t Reader::u64() {
    if (!take(8)) {
        return 0;
    }
    const std::uint64_t v = get32(data_ + pos_) | std::uint64_t(get32(data_ + pos_ + 4)) << 32;
    pos_ += 8;
    return v;
}

std::vector<std::uint8_t> Reader::bytes() {
    std::size_t n = u8();
    if (n == 0xFF) {
        n = u16();
    }
    if (!take(n)) {
        return {};
    }
    std::vector<std::uint8_t> v(data_ + pos_, data_ + pos_ + n);
    pos_ += n;
    return v;
}

// ---- numbers and protocols -----------------------------------------------------------

std::vector<std::uint8_t> calledNumber(const std::string& digits) {
    // Type of number and numbering plan unknown, extension bit set.
    std::vector<std::uint8_t> v{0x80};
    v.insert(v.end(), digits.begin(), digits.end());
    return v;
}

std::vector<std::uint8_t> callingNumber(const std::string& digits) {
    if (digits.empty()) {
        return {}; // the network fills in the line's own number
    }
    // Type and plan unknown; presentation allowed, user-provided, not screened.
    std::vector<std::uint8_t> v{0x00, 0x80};
    v.insert(v.end(), digits.begin(), digits.end());
    return v;
}

std::optional<std::string> digitsOfCalled(const std::vector<std::uint8_t>& number) {
    return digitsAfter(number, 1);
}

std::optional<std::string> digitsOfCalling(const std::vector<std::uint8_t>& number) {
    if (!number.empty() && !(number[0] & 0x80)) {
        return digitsAfter(number, 2); // octet 3a present
    }
    return digitsAfter(number, 1);
}

std::vector<std::uint8_t> transparentBProtocol() {
    // B1 1 (64 kbit/s, byte framing), B2 1 (transparent), B3 0 (transparent), and three
    // empty configuration structs.
    return {0x01, 0x00, 0x01, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00};
}

// ---- messages sent -------------------------------------------------------------------

std::vector<std::uint8_t> listenReq(std::uint16_t appId, std::uint16_t number,
                                    std::uint32_t controller, std::uint32_t cipMask) {
    return Writer(appId, kListen, kReq, number)
        .u32(controller)
        .u32(0) // info mask: no INFO_IND wanted
        .u32(cipMask)
        .u32(0)  // CIP mask 2
        .empty() // calling party number
        .empty() // calling party subaddress
        .finish();
}

std::vector<std::uint8_t> connectReq(std::uint16_t appId, std::uint16_t number,
                                     std::uint32_t controller, std::uint16_t cipValue,
                                     const std::string& called, const std::string& calling) {
    return Writer(appId, kConnect, kReq, number)
        .u32(controller)
        .u16(cipValue)
        .bytes(calledNumber(called))
        .bytes(callingNumber(calling))
        .empty() // called party subaddress
        .empty() // calling party subaddress
        .bytes(transparentBProtocol())
        .empty() // BC
        .empty() // LLC
        .empty() // HLC
        .empty() // additional info
        .finish();
}

std::vector<std::uint8_t> connectResp(std::uint16_t appId, std::uint16_t number, std::uint32_t plci,
                                      std::uint16_t reject) {
    Writer w(appId, kConnect, kResp, number);
    w.u32(plci).u16(reject);
    if (reject == kAccept) {
        w.bytes(transparentBProtocol());
    } else {
        w.empty();
    }
    return w
        .empty() // connected number
        .empty() // connected subaddress
        .empty() // LLC
        .empty() // additional info
        .finish();
}

std::vector<std::uint8_t> addressOnly(std::uint16_t appId, std::uint8_t command,
                                      std::uint8_t subcommand, std::uint16_t number,
                                      std::uint32_t address) {
    return Writer(appId, command, subcommand, number).u32(address).finish();
}

std::vector<std::uint8_t> withEmptyNcpi(std::uint16_t appId, std::uint8_t command,
                                        std::uint16_t number, std::uint32_t address) {
    return Writer(appId, command, kReq, number).u32(address).empty().finish();
}

std::vector<std::uint8_t> connectB3Resp(std::uint16_t appId, std::uint16_t number,
                                        std::uint32_t ncci, std::uint16_t reject) {
    return Writer(appId, kConnectB3, kResp, number).u32(ncci).u16(reject).empty().finish();
}

std::vector<std::uint8_t> disconnectReq(std::uint16_t appId, std::uint16_t number,
                                        std::uint32_t plci) {
    return Writer(appId, kDisconnect, kReq, number).u32(plci).empty().finish();
}

std::vector<std::uint8_t> dataB3Req(std::uint16_t appId, std::uint16_t number, std::uint32_t ncci,
                                    const std::uint8_t* data, std::uint16_t length,
                                    std::uint16_t handle) {
    const auto address = std::uint64_t(reinterpret_cast<std::uintptr_t>(data));
    return Writer(appId, kDataB3, kReq, number)
        .u32(ncci)
        .u32(0) // the 32-bit pointer: unused beside the 64-bit one
        .u16(length)
        .u16(handle)
        .u16(0) // flags
        .u64(address)
        .finish();
}

std::vector<std::uint8_t> dataB3Resp(std::uint16_t appId, std::uint16_t number, std::uint32_t ncci,
                                     std::uint16_t handle) {
    return Writer(appId, kDataB3, kResp, number).u32(ncci).u16(handle).finish();
}

// ---- messages received ---------------------------------------------------------------

std::optional<Confirmation> decodeConf(const std::uint8_t* data, std::size_t size) {
    Reader r(data, size);
    Confirmation c;
    c.address = r.u32();
    if (r.header().command == kDataB3) {
        c.handle = r.u16();
    }
    c.info = r.u16();
    if (!r.ok() || r.header().subcommand != kConf) {
        return std::nullopt;
    }
    return c;
}

std::optional<ConnectInd> decodeConnectInd(const std::uint8_t* data, std::size_t size) {
    Reader r(data, size);
    ConnectInd ind;
    ind.plci = r.u32();
    ind.cipValue = r.u16();
    const std::vector<std::uint8_t> called = r.bytes();
    const std::vector<std::uint8_t> calling = r.bytes();
    // Subaddresses, BC, LLC, HLC, additional info (and a second calling number) follow;
    // they are checked for shape only.
    for (int i = 0; i < 6 && r.ok(); ++i) {
        r.bytes();
    }
    if (!r.ok() || r.header().command != kConnect || r.header().subcommand != kInd) {
        return std::nullopt;
    }
    const std::optional<std::string> calledDigits = digitsOfCalled(called);
    const std::optional<std::string> callingDigits = digitsOfCalling(calling);
    if (!calledDigits || !callingDigits) {
        return std::nullopt;
    }
    ind.called = *calledDigits;
    ind.calling = *callingDigits;
    return ind;
}

std::optional<AddressReason> decodeAddressReason(const std::uint8_t* data, std::size_t size,
                                                 bool withReason) {
    Reader r(data, size);
    AddressReason a;
    a.address = r.u32();
    if (withReason) {
        a.reason = r.u16();
    }
    if (!r.ok()) {
        return std::nullopt;
    }
    return a;
}

std::optional<DataB3Ind> decodeDataB3Ind(const std::uint8_t* data, std::size_t size) {
    Reader r(data, size);
    DataB3Ind ind;
    ind.ncci = r.u32();
    const std::uint32_t pointer32 = r.u32();
    ind.length = r.u16();
    ind.handle = r.u16();
    r.u16(); // flags
    std::uint64_t pointer = pointer32;
    if (r.ok() && r.left() >= 8) {
        pointer = r.u64(); // the 64-bit form
    } else if (sizeof(void*) > 4) {
        pointer = 0; // a 32-bit pointer cannot address this process's memory
    }
    if (!r.ok() || r.header().command != kDataB3 || r.header().subcommand != kInd ||
        (ind.length > 0 && pointer == 0) || ind.length > kMaxBlock) {
        return std::nullopt;
    }
    ind.data = reinterpret_cast<const std::uint8_t*>(std::uintptr_t(pointer));
    return ind;
}

} // namespace serilon::capi
