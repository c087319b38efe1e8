// CAPI message coding: the byte layout of what an ISDN comm id sends, and decoding of
// what the controller sends, including every truncation of it.
#include "libs/serilon/capi_messages.h"

#include <gtest/gtest.h>

using namespace serilon::capi;

namespace {

using Bytes = std::vector<std::uint8_t>;

std::uint32_t at32(const Bytes& b, std::size_t i) {
    return b[i] | b[i + 1] << 8 | b[i + 2] << 16 | std::uint32_t(b[i + 3]) << 24;
}

Bytes connectInd(std::uint32_t plci, const std::string& called, const std::string& calling) {
    Writer w(3, kConnect, kInd, 0x8001);
    w.u32(plci).u16(16).bytes(calledNumber(called)).bytes(callingNumber(calling));
    for (int i = 0; i < 6; ++i) {
        w.empty();
    }
    return w.finish();
}

} // namespace

TEST(CapiMessages, RequestsHaveTheStandardLayout) {
    const Bytes listen = listenReq(7, 0x12, 1, 0x1FFF03FF);
    ASSERT_EQ(listen.size(), 26u);
    EXPECT_EQ(listen[0], 26);
    EXPECT_EQ(listen[2], 7);
    EXPECT_EQ(listen[4], kListen);
    EXPECT_EQ(listen[5], kReq);
    EXPECT_EQ(listen[6], 0x12);
    EXPECT_EQ(at32(listen, 8), 1u);
    EXPECT_EQ(at32(listen, 16), 0x1FFF03FFu);

    const Bytes connect = connectReq(7, 1, 1, 1, "21", "35");
    // Header, controller, CIP, called (3), calling (4), 2 subaddresses, B protocol (9),
    // BC, LLC, HLC, additional info.
    EXPECT_EQ(connect.size(), 8u + 4 + 2 + 4 + 5 + 2 + 10 + 4);
    EXPECT_EQ(connect[14], 3);    // called party number struct
    EXPECT_EQ(connect[15], 0x80); // type and plan
    EXPECT_EQ(connect[16], '2');
    EXPECT_EQ(connect[18], 4); // calling party number struct
    EXPECT_EQ(connect[19], 0x00);
    EXPECT_EQ(connect[20], 0x80);
    EXPECT_EQ(connect[25], 9); // B protocol: B1 1, B2 1, B3 0, three empty structs
    EXPECT_EQ(connect[26], 1);
    EXPECT_EQ(connect[28], 1);
    EXPECT_EQ(connect[30], 0);

    std::uint8_t block[3] = {1, 2, 3};
    const Bytes data = dataB3Req(7, 9, 0x10101, block, 3, 5);
    ASSERT_EQ(data.size(), kDataB3Size);
    EXPECT_EQ(at32(data, 8), 0x10101u);
    EXPECT_EQ(at32(data, 12), 0u); // the 32-bit pointer stays unused
    EXPECT_EQ(data[16], 3);
    EXPECT_EQ(data[18], 5);
    std::uint64_t pointer = at32(data, 22) | std::uint64_t(at32(data, 26)) << 32;
    EXPECT_EQ(pointer, std::uint64_t(reinterpret_cast<std::uintptr_t>(block)));

    EXPECT_EQ(connectResp(7, 0x8001, 0x101, kIgnore).size(), 8u + 4 + 2 + 5);
    EXPECT_EQ(dataB3Resp(7, 1, 0x10101, 4).size(), 14u);
    EXPECT_EQ(disconnectReq(7, 1, 0x101).size(), 13u);
}

TEST(CapiMessages, LongStructsUseTheEscapedLength) {
    Bytes big(300, 'x');
    const Bytes m = Writer(1, kInfo, kResp, 1).bytes(big).finish();
    ASSERT_EQ(m.size(), 8u + 3 + 300);
    EXPECT_EQ(m[8], 0xFF);
    EXPECT_EQ(m[9] | m[10] << 8, 300);
    Reader r(m.data(), m.size());
    EXPECT_EQ(r.bytes(), big);
    EXPECT_TRUE(r.ok());
}

TEST(CapiMessages, ConnectIndicationAndEveryTruncationOfIt) {
    const Bytes m = connectInd(0x201, "4921", "35");
    const auto ind = decodeConnectInd(m.data(), m.size());
    ASSERT_TRUE(ind);
    EXPECT_EQ(ind->plci, 0x201u);
    EXPECT_EQ(ind->cipValue, 16);
    EXPECT_EQ(ind->called, "4921");
    EXPECT_EQ(ind->calling, "35");
    for (std::size_t cut = 0; cut < m.size(); ++cut) {
        Bytes shorter(m.begin(), m.begin() + cut);
        if (cut >= 2) {
            shorter[0] = std::uint8_t(cut); // the length says so too
            shorter[1] = 0;
        }
        EXPECT_FALSE(decodeConnectInd(shorter.data(), shorter.size())) << cut;
    }
    // A length field beyond the bytes there is refused before anything is read.
    Bytes lying = m;
    lying[0] = std::uint8_t(m.size() + 10);
    EXPECT_FALSE(decodeConnectInd(lying.data(), lying.size()));
    // Numbers are digits, * and #.
    Bytes letters = connectInd(0x201, "4921", "35");
    letters[16] = 'A';
    EXPECT_FALSE(decodeConnectInd(letters.data(), letters.size()));
}

TEST(CapiMessages, DataIndicationNeedsTheSixtyFourBitPointer) {
    std::uint8_t block[4] = {9, 8, 7, 6};
    Writer w(1, kDataB3, kInd, 3);
    w.u32(0x10101).u32(0).u16(4).u16(2).u16(0).u64(reinterpret_cast<std::uintptr_t>(block));
    const Bytes m = w.finish();
    const auto ind = decodeDataB3Ind(m.data(), m.size());
    ASSERT_TRUE(ind);
    EXPECT_EQ(ind->data, block);
    EXPECT_EQ(ind->length, 4);
    EXPECT_EQ(ind->handle, 2);
    // Without the 64-bit pointer (or with a block over the registered size) nothing is
    // read from memory.
    Writer w32(1, kDataB3, kInd, 3);
    w32.u32(0x10101).u32(0x1234).u16(4).u16(2).u16(0);
    const Bytes m32 = w32.finish();
    EXPECT_FALSE(decodeDataB3Ind(m32.data(), m32.size()));
    Writer big(1, kDataB3, kInd, 3);
    big.u32(0x10101).u32(0).u16(4000).u16(2).u16(0).u64(reinterpret_cast<std::uintptr_t>(block));
    const Bytes mBig = big.finish();
    EXPECT_FALSE(decodeDataB3Ind(mBig.data(), mBig.size()));
}

TEST(CapiMessages, ConfirmationsAndReasons) {
    const Bytes c = Writer(1, kDataB3, kConf, 4).u32(0x10101).u16(6).u16(0x3008).finish();
    const auto conf = decodeConf(c.data(), c.size());
    ASSERT_TRUE(conf);
    EXPECT_EQ(conf->handle, 6);
    EXPECT_EQ(conf->info, 0x3008);
    const Bytes notConf = Writer(1, kConnect, kInd, 4).u32(1).u16(0).finish();
    EXPECT_FALSE(decodeConf(notConf.data(), notConf.size()));
    EXPECT_EQ(reasonText(0x3481), "the number is not assigned, 0x3481");
    EXPECT_EQ(reasonText(0x34A2), "network cause 34, 0x34A2");
    EXPECT_EQ(messageName(kConnectB3Active, kInd), "CONNECT_B3_ACTIVE_IND");
    EXPECT_EQ(messageName(0x7E, kInd), "message 0x7E/0x82");
}
