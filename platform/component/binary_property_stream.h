// The binary property stream: a control's persisted properties as an ordered,
// length-prefixed sequence of typed values, the form a host keeps in a binary store.
//
// Layout (all integers little-endian):
//   magic        4 bytes "VPXS"
//   format       u16, 1
//   body length  u32, the number of bytes that follow
//   body         items in exchange order, each a u8 tag and its value:
//                  0x01 version  u16 major, u16 minor
//                  0x02 I2       i16
//                  0x03 I4       i32
//                  0x04 BOOL     u8, 0 or 1
//                  0x05 text     u32 count of UTF-16 code units, then the units (u16)
// Names are not stored: the order is the contract. The reader checks each item's tag
// against the exchange asking for it. Damage, reported by failed()/error() with the
// offset: a wrong magic, an unknown format, a body longer than the data, an item of
// the wrong type, reading past the body's end, a BOOL not 0 or 1, a text longer than
// what is left. Items left unread at the end are not damage (a newer minor version of
// the control may append properties). A stream may be followed by other data of the
// host's: consumed() says where it ended.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "platform/component/property_exchange.h"

namespace vort::component {

class BinaryPropertyStreamReader final : public PropertyExchange {
public:
    // Checks the header at once: a bad header is failed() before the first exchange.
    // data must outlive the reader.
    explicit BinaryPropertyStreamReader(std::span<const uint8_t> data);

    bool isLoading() const override { return true; }
    void exchangeVersion(uint16_t& major, uint16_t& minor, uint16_t defMajor,
                         uint16_t defMinor) override;
    void exchange(std::string_view name, int16_t& value, int16_t def) override;
    void exchange(std::string_view name, int32_t& value, int32_t def) override;
    void exchange(std::string_view name, bool& value, bool def) override;
    void exchange(std::string_view name, std::u16string& value, std::u16string_view def) override;

    // Bytes of data the stream occupies (header and body); 0 for a bad header.
    size_t consumed() const { return consumed_; }

private:
    // Checks the next item's tag and that need value bytes follow; false after a failure.
    bool next(std::string_view name, uint8_t tag, size_t need);
    uint8_t u8() { return body_[pos_++]; }
    uint16_t u16();
    uint32_t u32();

    std::span<const uint8_t> body_;
    size_t pos_ = 0;
    size_t consumed_ = 0;
};

class BinaryPropertyStreamWriter final : public PropertyExchange {
public:
    BinaryPropertyStreamWriter();

    bool isLoading() const override { return false; }
    void exchangeVersion(uint16_t& major, uint16_t& minor, uint16_t defMajor,
                         uint16_t defMinor) override;
    void exchange(std::string_view name, int16_t& value, int16_t def) override;
    void exchange(std::string_view name, int32_t& value, int32_t def) override;
    void exchange(std::string_view name, bool& value, bool def) override;
    void exchange(std::string_view name, std::u16string& value, std::u16string_view def) override;

    // The whole stream, header included.
    const std::vector<uint8_t>& bytes() const { return bytes_; }

private:
    bool item(std::string_view name, uint8_t tag);
    void u16(uint16_t v);
    void u32(uint32_t v);
    void setLength();

    std::vector<uint8_t> bytes_;
};

} // namespace vort::component
