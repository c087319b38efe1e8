#include "libs/serilon/config_record.h"

#include <gtest/gtest.h>

using serilon::fromConfigRecord;
using serilon::LineSettings;
using serilon::setLineValues;
using serilon::toConfigRecord;

TEST(SerilonLineValues, ChecksEveryFieldAndKeepsOldValuesOnFailure) {
    LineSettings s;
    ASSERT_TRUE(setLineValues(s, 19200, 7, 2, 'e', SERIAL_FLOW_RTSCTS | 0x4000).ok());
    EXPECT_EQ(s.baud, 19200u);
    EXPECT_EQ(s.dataBits, 7);
    EXPECT_EQ(s.stopBits, 2);
    EXPECT_EQ(s.parity, 'E');
    EXPECT_EQ(s.flow, SERIAL_FLOW_RTSCTS);

    const LineSettings before = s;
    for (auto [baud, bits, stop, parity] : {std::tuple<std::int64_t, int, int, char>{0, 8, 1, 'N'},
                                            {-9600, 8, 1, 'N'},
                                            {9600, 4, 1, 'N'},
                                            {9600, 9, 1, 'N'},
                                            {9600, 8, 0, 'N'},
                                            {9600, 8, 3, 'N'},
                                            {9600, 8, 1, 'X'},
                                            {9600, 8, 1, '\0'}}) {
        const auto st = setLineValues(s, baud, bits, stop, parity, 0);
        EXPECT_EQ(st.status, SERIAL_E_INVALID) << baud << " " << bits << " " << stop;
        EXPECT_FALSE(st.text.empty());
        EXPECT_EQ(s.baud, before.baud);
        EXPECT_EQ(s.parity, before.parity);
    }
}

TEST(SerilonConfigRecord, RoundTripsTheSettings) {
    LineSettings s;
    ASSERT_TRUE(setLineValues(s, 250000, 5, 2, 'M', SERIAL_FLOW_XONXOFF | SERIAL_FLOW_DTRDSR).ok());
    s.xonChar = 0x21;
    s.xoffChar = 0x23;
    s.errorCharOn = true;
    s.errorChar = '~';
    s.discardNul = true;
    SerialConfigRecord r;
    toConfigRecord(s, r);
    EXPECT_EQ(r.length, 52u);
    EXPECT_EQ(r.baud, 250000u);
    EXPECT_EQ(r.dataBits, 5);
    EXPECT_EQ(r.parity, 3);   // mark
    EXPECT_EQ(r.stopBits, 1); // two stop bits with 5 data bits is one and a half
    EXPECT_TRUE(r.flags & SERIAL_CFG_OUT_XON);
    EXPECT_TRUE(r.flags & SERIAL_CFG_OUT_DSR_FLOW);
    EXPECT_FALSE(r.flags & SERIAL_CFG_OUT_CTS_FLOW);
    EXPECT_TRUE(r.flags & SERIAL_CFG_ERROR_CHAR);
    EXPECT_TRUE(r.flags & SERIAL_CFG_DISCARD_NUL);
    // Callers address the characters by byte offset.
    const auto* bytes = reinterpret_cast<const unsigned char*>(&r);
    EXPECT_EQ(bytes[21], 0x21);
    EXPECT_EQ(bytes[22], 0x23);
    EXPECT_EQ(bytes[23], '~');

    LineSettings back;
    ASSERT_TRUE(fromConfigRecord(r, back).ok());
    EXPECT_EQ(back.baud, s.baud);
    EXPECT_EQ(back.dataBits, 5);
    EXPECT_EQ(back.stopBits, 2);
    EXPECT_EQ(back.parity, 'M');
    EXPECT_EQ(back.flow, SERIAL_FLOW_XONXOFF | SERIAL_FLOW_DTRDSR);
    EXPECT_EQ(back.xonChar, 0x21);
    EXPECT_EQ(back.xoffChar, 0x23);
    EXPECT_TRUE(back.errorCharOn);
    EXPECT_EQ(back.errorChar, '~');
    EXPECT_TRUE(back.discardNul);
}

TEST(SerilonConfigRecord, ChangingOnlyXonInTheRecordKeepsTheRest) {
    LineSettings s;
    ASSERT_TRUE(setLineValues(s, 57600, 8, 1, 'N', SERIAL_FLOW_RTSCTS).ok());
    SerialConfigRecord r;
    toConfigRecord(s, r);
    r.xonChar = 0x05;
    LineSettings back = s;
    ASSERT_TRUE(fromConfigRecord(r, back).ok());
    EXPECT_EQ(back.xonChar, 0x05);
    EXPECT_EQ(back.baud, 57600u);
    EXPECT_EQ(back.flow, SERIAL_FLOW_RTSCTS);
    EXPECT_EQ(back.stopBits, 1);
}

TEST(SerilonConfigRecord, RejectsOutOfRangeFieldsAndChangesNothing) {
    LineSettings s;
    SerialConfigRecord good;
    toConfigRecord(s, good);
    auto bad = [&](auto change) {
        SerialConfigRecord r = good;
        change(r);
        LineSettings t = s;
        t.xonChar = 0x42;
        const auto st = fromConfigRecord(r, t);
        EXPECT_EQ(st.status, SERIAL_E_INVALID);
        EXPECT_EQ(t.xonChar, 0x42);
    };
    bad([](SerialConfigRecord& r) { r.baud = 0; });
    bad([](SerialConfigRecord& r) { r.dataBits = 9; });
    bad([](SerialConfigRecord& r) { r.dataBits = 4; });
    bad([](SerialConfigRecord& r) { r.parity = 5; });
    bad([](SerialConfigRecord& r) { r.stopBits = 3; });
}
