#include "platform/component/binary_property_stream.h"

namespace vort::component {

namespace {

constexpr uint8_t kMagic[4] = {'V', 'P', 'X', 'S'};
constexpr uint16_t kFormat = 1;
constexpr size_t kHeaderSize = 10;

enum Tag : uint8_t { kTagVersion = 1, kTagI2 = 2, kTagI4 = 3, kTagBool = 4, kTagText = 5 };

const char* tagName(uint8_t tag) {
    switch (tag) {
    case kTagVersion:
        return "the version";
    case kTagI2:
        return "I2";
    case kTagI4:
        return "I4";
    case kTagBool:
        return "BOOL";
    case kTagText:
        return "text";
    default:
        return "an unknown item";
    }
}

uint32_t readLe(std::span<const uint8_t> d, size_t at, size_t n) {
    uint32_t v = 0;
    for (size_t i = 0; i < n; ++i)
        v |= uint32_t{d[at + i]} << (8 * i);
    return v;
}

} // namespace

BinaryPropertyStreamReader::BinaryPropertyStreamReader(std::span<const uint8_t> data) {
    if (data.size() < kHeaderSize) {
        fail("property stream: " + std::to_string(data.size()) + " bytes are too few for a header");
        return;
    }
    for (size_t i = 0; i < 4; ++i) {
        if (data[i] != kMagic[i]) {
            fail("not a property stream (wrong magic)");
            return;
        }
    }
    uint16_t format = static_cast<uint16_t>(readLe(data, 4, 2));
    if (format != kFormat) {
        fail("property stream format " + std::to_string(format) + " is not supported");
        return;
    }
    uint32_t length = readLe(data, 6, 4);
    if (length > data.size() - kHeaderSize) {
        fail("property stream cut short: its body should be " + std::to_string(length) +
             " bytes, " + std::to_string(data.size() - kHeaderSize) + " are present");
        return;
    }
    body_ = data.subspan(kHeaderSize, length);
    consumed_ = kHeaderSize + length;
}

uint16_t BinaryPropertyStreamReader::u16() {
    uint16_t v = static_cast<uint16_t>(readLe(body_, pos_, 2));
    pos_ += 2;
    return v;
}

uint32_t BinaryPropertyStreamReader::u32() {
    uint32_t v = readLe(body_, pos_, 4);
    pos_ += 4;
    return v;
}

bool BinaryPropertyStreamReader::next(std::string_view name, uint8_t tag, size_t need) {
    if (failed())
        return false;
    std::string where = "property stream, " + std::string(name) + " at offset " +
                        std::to_string(kHeaderSize + pos_) + ": ";
    if (pos_ >= body_.size()) {
        fail(where + "the stream ends before this property");
        return false;
    }
    uint8_t found = body_[pos_];
    if (found != tag) {
        fail(where + "expected " + tagName(tag) + ", found " + tagName(found));
        return false;
    }
    if (body_.size() - pos_ - 1 < need) {
        fail(where + "the value is cut short");
        return false;
    }
    ++pos_;
    return true;
}

void BinaryPropertyStreamReader::exchangeVersion(uint16_t& major, uint16_t& minor,
                                                 uint16_t defMajor, uint16_t defMinor) {
    major = defMajor;
    minor = defMinor;
    if (!next(kVersionName, kTagVersion, 4))
        return;
    major = u16();
    minor = u16();
}

void BinaryPropertyStreamReader::exchange(std::string_view name, int16_t& value, int16_t def) {
    value = def;
    if (next(name, kTagI2, 2))
        value = static_cast<int16_t>(u16());
}

void BinaryPropertyStreamReader::exchange(std::string_view name, int32_t& value, int32_t def) {
    value = def;
    if (next(name, kTagI4, 4))
        value = static_cast<int32_t>(u32());
}

void BinaryPropertyStreamReader::exchange(std::string_view name, bool& value, bool def) {
    value = def;
    if (!next(name, kTagBool, 1))
        return;
    uint8_t b = u8();
    if (b > 1) {
        fail("property stream, " + std::string(name) + " at offset " +
             std::to_string(kHeaderSize + pos_ - 1) + ": a BOOL must be 0 or 1, found " +
             std::to_string(b));
        return;
    }
    value = b == 1;
}

void BinaryPropertyStreamReader::exchange(std::string_view name, std::u16string& value,
                                          std::u16string_view def) {
    value.assign(def);
    if (!next(name, kTagText, 4))
        return;
    size_t at = pos_;
    uint32_t count = u32();
    // Compare against what is left before allocating anything.
    if (count > (body_.size() - pos_) / 2) {
        fail("property stream, " + std::string(name) + " at offset " +
             std::to_string(kHeaderSize + at) + ": the text's length " + std::to_string(count) +
             " runs past the end of the stream");
        return;
    }
    std::u16string text;
    text.reserve(count);
    for (uint32_t i = 0; i < count; ++i)
        text.push_back(static_cast<char16_t>(u16()));
    value = std::move(text);
}

BinaryPropertyStreamWriter::BinaryPropertyStreamWriter() {
    bytes_.assign(std::begin(kMagic), std::end(kMagic));
    u16(kFormat);
    u32(0);
}

void BinaryPropertyStreamWriter::u16(uint16_t v) {
    bytes_.push_back(static_cast<uint8_t>(v));
    bytes_.push_back(static_cast<uint8_t>(v >> 8));
}

void BinaryPropertyStreamWriter::u32(uint32_t v) {
    for (int i = 0; i < 4; ++i)
        bytes_.push_back(static_cast<uint8_t>(v >> (8 * i)));
}

void BinaryPropertyStreamWriter::setLength() {
    size_t length = bytes_.size() - kHeaderSize;
    if (length > UINT32_MAX) {
        fail("property stream: more than 4 GiB of properties");
        return;
    }
    for (size_t i = 0; i < 4; ++i)
        bytes_[6 + i] = static_cast<uint8_t>(length >> (8 * i));
}

bool BinaryPropertyStreamWriter::item(std::string_view name, uint8_t tag) {
    if (!isPropertyName(name)) {
        fail("\"" + std::string(name) + "\" is not a property name");
        return false;
    }
    bytes_.push_back(tag);
    return true;
}

void BinaryPropertyStreamWriter::exchangeVersion(uint16_t& major, uint16_t& minor, uint16_t,
                                                 uint16_t) {
    item(kVersionName, kTagVersion);
    u16(major);
    u16(minor);
    setLength();
}

void BinaryPropertyStreamWriter::exchange(std::string_view name, int16_t& value, int16_t) {
    if (!item(name, kTagI2))
        return;
    u16(static_cast<uint16_t>(value));
    setLength();
}

void BinaryPropertyStreamWriter::exchange(std::string_view name, int32_t& value, int32_t) {
    if (!item(name, kTagI4))
        return;
    u32(static_cast<uint32_t>(value));
    setLength();
}

void BinaryPropertyStreamWriter::exchange(std::string_view name, bool& value, bool) {
    if (!item(name, kTagBool))
        return;
    bytes_.push_back(value ? 1 : 0);
    setLength();
}

void BinaryPropertyStreamWriter::exchange(std::string_view name, std::u16string& value,
                                          std::u16string_view) {
    if (!item(name, kTagText))
        return;
    u32(static_cast<uint32_t>(value.size()));
    for (char16_t c : value)
        u16(static_cast<uint16_t>(c));
    setLength();
}

} // namespace vort::component
