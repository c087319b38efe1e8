#include "libs/transvex/xmodem_block.h"

#include "libs/transvex/crc16.h"

namespace transvex {

std::vector<uint8_t> buildXmodemBlock(uint8_t number, std::span<const uint8_t> data, bool crc,
                                      uint8_t pad, bool forceLong) {
    const size_t len = (data.size() > 128 || forceLong) ? 1024 : 128;
    std::vector<uint8_t> out;
    out.reserve(len + 5);
    out.push_back(len == 1024 ? kStx : kSoh);
    out.push_back(number);
    out.push_back(static_cast<uint8_t>(255 - number));
    out.insert(out.end(), data.begin(), data.end());
    out.resize(3 + len, pad);
    const std::span<const uint8_t> body(out.data() + 3, len);
    if (crc) {
        const uint16_t c = crc16(body);
        out.push_back(static_cast<uint8_t>(c >> 8));
        out.push_back(static_cast<uint8_t>(c));
    } else {
        uint8_t sum = 0;
        for (uint8_t b : body) {
            sum = static_cast<uint8_t>(sum + b);
        }
        out.push_back(sum);
    }
    return out;
}

BlockCheck checkXmodemBlock(std::span<const uint8_t> rest, bool crc) {
    const size_t checkLen = crc ? 2 : 1;
    if (rest.size() < 2 + checkLen) {
        return BlockCheck::BadCheck;
    }
    if (static_cast<uint8_t>(rest[0] + rest[1]) != 0xFF) {
        return BlockCheck::BadNumber;
    }
    const auto body = rest.subspan(2, rest.size() - 2 - checkLen);
    if (crc) {
        const uint16_t c = crc16(body);
        const uint16_t got =
            static_cast<uint16_t>(rest[rest.size() - 2] << 8 | rest[rest.size() - 1]);
        return c == got ? BlockCheck::Good : BlockCheck::BadCheck;
    }
    uint8_t sum = 0;
    for (uint8_t b : body) {
        sum = static_cast<uint8_t>(sum + b);
    }
    return sum == rest.back() ? BlockCheck::Good : BlockCheck::BadCheck;
}

} // namespace transvex
