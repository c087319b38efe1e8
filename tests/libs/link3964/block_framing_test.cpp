#include <gtest/gtest.h>

#include <vector>

#include "libs/link3964/block_framing.h"
#include "libs/link3964/control_chars.h"
#include "libs/link3964/crc32.h"

namespace link3964 {
namespace {

using Bytes = std::vector<std::uint8_t>;

BlockEvent feedAll(BlockReceiver& rx, const Bytes& bytes, std::size_t* used = nullptr) {
    BlockEvent ev = BlockEvent::None;
    std::size_t i = 0;
    for (; i < bytes.size() && ev == BlockEvent::None; ++i)
        ev = rx.feed(bytes[i]);
    if (used)
        *used = i;
    return ev;
}

TEST(BlockFraming, DoublesDleAndEndsWithEtxAndBlockCheck) {
    Bytes telegram{0x41, kDle, 0x42, kDle, kDle};
    Bytes block = buildBlock(telegram, false, true);
    Bytes expected{0x41, kDle, kDle, 0x42, kDle, kDle, kDle, kDle, kDle, kEtx};
    std::uint8_t bcc = 0;
    for (std::uint8_t b : expected)
        bcc ^= b;
    expected.push_back(bcc);
    EXPECT_EQ(block, expected);

    Bytes plain = buildBlock(telegram, true, false);
    ASSERT_EQ(plain.size(), expected.size() - 1);
    EXPECT_EQ(plain[plain.size() - 2], kDle);
    EXPECT_EQ(plain.back(), kEtb);
}

TEST(BlockFraming, RoundTripsEveryByteValueAndTheFlag) {
    Bytes telegram;
    for (int i = 0; i < 512; ++i)
        telegram.push_back(static_cast<std::uint8_t>(i * 7));
    for (bool bcc : {false, true}) {
        for (bool more : {false, true}) {
            BlockReceiver rx;
            rx.reset(bcc);
            Bytes block = buildBlock(telegram, more, bcc);
            std::size_t used = 0;
            EXPECT_EQ(feedAll(rx, block, &used), BlockEvent::Complete);
            EXPECT_EQ(used, block.size()) << "the block must end exactly at its last byte";
            EXPECT_EQ(rx.telegram(), telegram);
            EXPECT_EQ(rx.moreFollows(), more);
        }
    }
    BlockReceiver rx;
    rx.reset(true);
    EXPECT_EQ(feedAll(rx, buildBlock({}, false, true)), BlockEvent::Complete);
    EXPECT_TRUE(rx.telegram().empty());
}

TEST(BlockFraming, DetectsWrongBlockCheckAndBadDleSequences) {
    Bytes block = buildBlock(Bytes{1, 2, 3}, false, true);
    BlockReceiver rx;
    for (std::size_t i = 0; i < block.size(); ++i) {
        Bytes broken = block;
        broken[i] ^= 0x01; // one flipped bit anywhere is caught
        rx.reset(true);
        BlockEvent ev = feedAll(rx, broken);
        EXPECT_NE(ev, BlockEvent::Complete) << "flip at " << i;
    }
    rx.reset(false);
    EXPECT_EQ(feedAll(rx, Bytes{0x41, kDle, 0x41}), BlockEvent::FrameError);
    rx.reset(false);
    EXPECT_EQ(feedAll(rx, Bytes{kDle, kStx}), BlockEvent::FrameError);
}

TEST(BlockFraming, RefusesTelegramsBeyondTheLengthLimit) {
    BlockReceiver rx;
    rx.reset(false);
    Bytes data(kMaxTelegram, 0x55);
    EXPECT_EQ(feedAll(rx, data), BlockEvent::None);
    EXPECT_EQ(rx.feed(0x55), BlockEvent::TooLong);
    EXPECT_EQ(rx.feed(kDle), BlockEvent::None) << "no bytes are taken after an event";
}

TEST(Crc32, KnownValuesAndPiecewise) {
    Bytes check{'1', '2', '3', '4', '5', '6', '7', '8', '9'};
    EXPECT_EQ(crc32Update(0, check), 0xCBF43926u);
    std::uint32_t crc = crc32Update(0, std::span(check).first(4));
    crc = crc32Update(crc, std::span(check).subspan(4));
    EXPECT_EQ(crc, 0xCBF43926u);
    EXPECT_EQ(crc32Update(0, {}), 0u);
}

} // namespace
} // namespace link3964
