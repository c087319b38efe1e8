// CRCs, ZDLE escaping, ZMODEM headers and subpackets, XMODEM blocks.
#include "libs/transvex/crc16.h"
#include "libs/transvex/crc32.h"
#include "libs/transvex/xmodem_block.h"
#include "libs/transvex/zdle.h"
#include "libs/transvex/zmodem_frame.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace transvex {
namespace {

std::vector<uint8_t> bytes(const std::string& s) {
    return {s.begin(), s.end()};
}

TEST(Crc, KnownCheckValues) {
    const auto check = bytes("123456789");
    EXPECT_EQ(crc16(check), 0x31C3);
    EXPECT_EQ(crc32(check), 0xCBF43926u);
    // The bulk path and the byte path agree at every length and offset.
    std::vector<uint8_t> data(1000);
    for (size_t i = 0; i < data.size(); ++i) {
        data[i] = static_cast<uint8_t>(i * 7 + 3);
    }
    for (size_t len : {0u, 1u, 3u, 4u, 5u, 999u}) {
        uint32_t slow = crc32Init();
        for (size_t i = 0; i < len; ++i) {
            slow = crc32Update(slow, data[i + 1]);
        }
        EXPECT_EQ(crc32Update(crc32Init(), std::span(data).subspan(1, len)), slow) << len;
    }
}

std::vector<int> decodeAll(const std::vector<uint8_t>& in) {
    ZdleDecoder d;
    std::vector<int> out;
    for (uint8_t b : in) {
        const int r = d.push(b);
        if (r != ZdleDecoder::kNothing) {
            out.push_back(r);
        }
    }
    return out;
}

TEST(Zdle, EveryByteSurvivesEscapingWithAndWithoutControlEscaping) {
    for (bool ctl : {false, true}) {
        ZdleEncoder enc(ctl);
        std::vector<uint8_t> all(256), out;
        for (int i = 0; i < 256; ++i) {
            all[i] = static_cast<uint8_t>(i);
        }
        enc.put(all, out);
        std::vector<int> want(all.begin(), all.end());
        EXPECT_EQ(decodeAll(out), want);
        for (uint8_t b : out) {
            if (b == kZdle) {
                continue;
            }
            EXPECT_NE(b & 0x7F, 0x11) << "XON travels bare";
            EXPECT_NE(b & 0x7F, 0x13) << "XOFF travels bare";
            EXPECT_NE(b & 0x7F, 0x10) << "DLE travels bare";
            if (ctl) {
                EXPECT_NE(b & 0x60, 0) << "control character " << int(b) << " travels bare";
            }
        }
    }
}

TEST(Zdle, CarriageReturnAfterAtIsEscaped) {
    ZdleEncoder enc;
    std::vector<uint8_t> out;
    enc.put(bytes("a\r@\r"), out);
    EXPECT_EQ(out, (std::vector<uint8_t>{'a', '\r', '@', kZdle, '\r' ^ 0x40}));
}

TEST(Zdle, DecoderHandlesSpecialSequences) {
    EXPECT_EQ(decodeAll({kZdle, kZrub0, kZdle, kZrub1}), (std::vector<int>{0x7F, 0xFF}));
    EXPECT_EQ(decodeAll({0x11, 'a', 0x93, kZdle, 0x11, 'Q'}), (std::vector<int>{'a', 'Q' ^ 0x40}));
    EXPECT_EQ(decodeAll({kZdle, 0x21}), (std::vector<int>{ZdleDecoder::kBad}));
    EXPECT_EQ(decodeAll({kZdle, kZdle, kZdle, kZdle, kZdle}),
              (std::vector<int>{ZdleDecoder::kCancel}));
    ZdleDecoder d;
    d.push(kZdle);
    EXPECT_EQ(d.push(kZcrcq), ZdleDecoder::kFrameEnd);
    EXPECT_EQ(d.frameEnd(), kZcrcq);
}

std::vector<ZFrameParser::Event> parse(const std::vector<uint8_t>& in, bool headersOnly = false,
                                       std::vector<std::vector<uint8_t>>* datas = nullptr) {
    ZFrameParser p(headersOnly);
    std::vector<ZFrameParser::Event> out;
    p.push(in, [&](const ZFrameParser::Event& ev) {
        out.push_back(ev);
        if (datas != nullptr && ev.kind == ZFrameParser::Kind::Data) {
            datas->emplace_back(ev.data.begin(), ev.data.end());
        }
    });
    return out;
}

TEST(ZmodemFrame, HeadersRoundTripInAllThreeEncodings) {
    const ZHeader h = ZHeader::withPosition(ZRPOS, 0x12345678);
    for (int e = 0; e < 3; ++e) {
        std::vector<uint8_t> wire = bytes("junk**");
        ZdleEncoder enc(e == 2);
        if (e == 0) {
            appendHexHeader(h, wire);
        } else {
            appendBinaryHeader(h, e == 2, enc, wire);
        }
        const auto events = parse(wire);
        ASSERT_EQ(events.size(), 1u) << e;
        EXPECT_EQ(events[0].kind, ZFrameParser::Kind::Header);
        EXPECT_EQ(events[0].header.type, ZRPOS);
        EXPECT_EQ(events[0].header.position(), 0x12345678u);
        EXPECT_EQ(events[0].header.encoding, e == 0   ? ZEncoding::Hex
                                             : e == 1 ? ZEncoding::Bin16
                                                      : ZEncoding::Bin32);
    }
    // Hex digits in capitals read the same.
    std::vector<uint8_t> upper;
    appendHexHeader(h, upper);
    for (auto& c : upper) {
        c = c >= 'a' && c <= 'f' ? static_cast<uint8_t>(c - 'a' + 'A') : c;
    }
    const auto fromUpper = parse(upper);
    ASSERT_EQ(fromUpper.size(), 1u);
    EXPECT_EQ(fromUpper[0].kind, ZFrameParser::Kind::Header);
    EXPECT_EQ(fromUpper[0].header.position(), 0x12345678u);
    EXPECT_EQ(ZHeader::withFlags(ZRINIT, 0x23).f0(), 0x23);
    EXPECT_EQ(ZHeader::withFlags(ZRINIT, 0x23).p[3], 0x23) << "ZF0 travels as ZP3";
}

TEST(ZmodemFrame, DamagedHeaderIsReportedNotTaken) {
    std::vector<uint8_t> wire;
    appendHexHeader(ZHeader::withPosition(ZACK, 77), wire);
    wire[6] ^= 0x01; // a hex digit changes: the CRC no longer matches
    auto events = parse(wire);
    ASSERT_EQ(events.size(), 1u);
    EXPECT_EQ(events[0].kind, ZFrameParser::Kind::BadHeader);

    ZdleEncoder enc;
    std::vector<uint8_t> bin;
    appendBinaryHeader(ZHeader::withPosition(ZDATA, 5), true, enc, bin);
    bin[5] ^= 0x04;
    events = parse(bin);
    ASSERT_FALSE(events.empty());
    EXPECT_EQ(events[0].kind, ZFrameParser::Kind::BadHeader);
}

TEST(ZmodemFrame, SubpacketsFollowDataHeadersAndEndTheFrameCorrectly) {
    ZdleEncoder enc;
    std::vector<uint8_t> wire;
    appendBinaryHeader(ZHeader::withPosition(ZDATA, 0), true, enc, wire);
    appendSubpacket(bytes("one"), kZcrcg, true, enc, wire);
    appendSubpacket(bytes(""), kZcrcq, true, enc, wire);
    appendSubpacket(bytes("three"), kZcrce, true, enc, wire);
    appendSubpacket(bytes("after the end"), kZcrcw, true, enc, wire); // not after a header
    appendHexHeader(ZHeader::withPosition(ZEOF, 8), wire);
    std::vector<std::vector<uint8_t>> datas;
    const auto events = parse(wire, false, &datas);
    std::vector<ZFrameParser::Kind> kinds;
    for (auto& e : events) {
        kinds.push_back(e.kind);
    }
    using K = ZFrameParser::Kind;
    EXPECT_EQ(kinds, (std::vector<K>{K::Header, K::Data, K::Data, K::Data, K::Header}));
    ASSERT_EQ(datas.size(), 3u);
    EXPECT_EQ(datas[0], bytes("one"));
    EXPECT_TRUE(datas[1].empty());
    EXPECT_EQ(datas[2], bytes("three"));
    EXPECT_EQ(events[3].frameEnd, kZcrce);
}

TEST(ZmodemFrame, HexHeaderBeforeSubpacketDoesNotLeakItsLineEnd) {
    ZdleEncoder enc;
    std::vector<uint8_t> wire;
    appendHexHeader(ZHeader::withFlags(ZSINIT, kTescCtl), wire);
    appendSubpacket(bytes("ATTN"), kZcrcw, false, enc, wire);
    std::vector<std::vector<uint8_t>> datas;
    parse(wire, false, &datas);
    ASSERT_EQ(datas.size(), 1u);
    EXPECT_EQ(datas[0], bytes("ATTN"));
}

TEST(ZmodemFrame, OversizedOrDamagedSubpacketIsRejected) {
    ZdleEncoder enc;
    std::vector<uint8_t> wire;
    appendBinaryHeader(ZHeader::withPosition(ZDATA, 0), false, enc, wire);
    appendSubpacket(std::vector<uint8_t>(kMaxSubpacket, 'a'), kZcrcg, false, enc, wire);
    appendSubpacket(std::vector<uint8_t>(kMaxSubpacket + 1, 'b'), kZcrcg, false, enc, wire);
    auto events = parse(wire);
    ASSERT_GE(events.size(), 3u);
    EXPECT_EQ(events[1].kind, ZFrameParser::Kind::Data) << "exactly 8 KiB is allowed";
    EXPECT_EQ(events[2].kind, ZFrameParser::Kind::BadData);

    std::vector<uint8_t> bad;
    appendBinaryHeader(ZHeader::withPosition(ZDATA, 0), true, enc, bad);
    appendSubpacket(bytes("payload"), kZcrcg, true, enc, bad);
    bad[bad.size() - 7] ^= 0x20;
    events = parse(bad);
    ASSERT_EQ(events.size(), 2u);
    EXPECT_EQ(events[1].kind, ZFrameParser::Kind::BadData);
}

TEST(ZmodemFrame, CancelSequenceAndHeadersOnlyMode) {
    std::vector<uint8_t> wire = {'x', kZdle, kZdle, kZdle, kZdle, kZdle, 8, 8};
    auto events = parse(wire);
    ASSERT_EQ(events.size(), 1u);
    EXPECT_EQ(events[0].kind, ZFrameParser::Kind::Cancel);

    ZdleEncoder enc;
    std::vector<uint8_t> data;
    appendBinaryHeader(ZHeader::withPosition(ZDATA, 0), false, enc, data);
    appendSubpacket(bytes("abc"), kZcrce, false, enc, data);
    events = parse(data, true);
    ASSERT_EQ(events.size(), 1u) << "a sender never reads subpackets";
}

TEST(XmodemBlock, BuildAndCheck) {
    const auto block = buildXmodemBlock(3, bytes("hi"), true, kSub);
    ASSERT_EQ(block.size(), 3u + 128 + 2);
    EXPECT_EQ(block[0], kSoh);
    EXPECT_EQ(block[1], 3);
    EXPECT_EQ(block[2], 252);
    EXPECT_EQ(block[5], kSub);
    const std::span<const uint8_t> rest(block.data() + 1, block.size() - 1);
    EXPECT_EQ(checkXmodemBlock(rest, true), BlockCheck::Good);
    auto broken = block;
    broken[50] ^= 1;
    EXPECT_EQ(checkXmodemBlock(std::span(broken).subspan(1), true), BlockCheck::BadCheck);
    broken = block;
    broken[2] = 0;
    EXPECT_EQ(checkXmodemBlock(std::span(broken).subspan(1), true), BlockCheck::BadNumber);
    const auto sum = buildXmodemBlock(1, std::vector<uint8_t>(200, 1), false, kSub);
    EXPECT_EQ(sum[0], kStx);
    EXPECT_EQ(sum.size(), 3u + 1024 + 1);
    EXPECT_EQ(checkXmodemBlock(std::span(sum).subspan(1), false), BlockCheck::Good);
}

} // namespace
} // namespace transvex
