// The connection-type records: what each request code reads and writes.
#include "libs/serilon/connection_config.h"
#include "serilon/serilon.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

using namespace serilon;

TEST(ConnectionRecords, TcpWriteTakesOnlyTheNamedFields) {
    ConnectionConfig config;
    TcpRecord r{};
    r.request = kRequestWrite | kFieldHost | kFieldPort;
    r.type = kTypeTcpClient;
    r.port = 5000;
    r.maxServerConnections = 9; // not named: stays
    std::strcpy(r.host, "example.org");
    ASSERT_EQ(applyTypeRequest(config, &r), SERIAL_OK);
    EXPECT_EQ(+config.type, kTypeTcpClient);
    EXPECT_EQ(config.host, "example.org");
    EXPECT_EQ(+config.port, 5000);
    EXPECT_EQ(+config.maxServerConnections, 1);

    TcpRecord back{};
    back.request = kRequestReadTcp;
    ASSERT_EQ(applyTypeRequest(config, &back), SERIAL_OK);
    EXPECT_EQ(+back.type, kTypeTcpClient);
    EXPECT_EQ(+back.port, 5000);
    EXPECT_STREQ(back.host, "example.org");
    EXPECT_EQ(back.request, kRequestReadTcp);

    // A limit of 0 would make a server that never accepts.
    r = TcpRecord{};
    r.request = kRequestWrite | kFieldLimit;
    r.type = kTypeTcpServer;
    ASSERT_EQ(applyTypeRequest(config, &r), SERIAL_OK);
    EXPECT_EQ(+config.maxServerConnections, 1);
    EXPECT_EQ(config.host, "example.org");
}

TEST(ConnectionRecords, UnterminatedHostIsCutAndNeverOverread) {
    ConnectionConfig config;
    TcpRecord r{};
    r.request = kRequestWrite | kFieldHost;
    r.type = kTypeTcpClient;
    std::memset(r.host, 'h', sizeof r.host); // no NUL at all
    ASSERT_EQ(applyTypeRequest(config, &r), SERIAL_OK);
    EXPECT_EQ(config.host, std::string(kHostTextMax, 'h'));
}

TEST(ConnectionRecords, IsdnLayoutFollowsTheTypeByte) {
    ConnectionConfig config;
    IsdnRecord r{};
    r.request = 0x10F;
    r.type = kTypeIsdn;
    std::strcpy(r.ownExtension, "4711");
    r.controller = 2;
    r.cipValue = 16;
    r.cipMask = 0x10012;
    ASSERT_EQ(applyTypeRequest(config, &r), SERIAL_OK);
    IsdnRecord back{};
    back.request = kRequestReadIsdn;
    ASSERT_EQ(applyTypeRequest(config, &back), SERIAL_OK);
    EXPECT_EQ(+back.type, kTypeIsdn);
    EXPECT_STREQ(back.ownExtension, "4711");
    EXPECT_EQ(+back.controller, 2);
    EXPECT_EQ(+back.cipValue, 16);
    EXPECT_EQ(+back.cipMask, 0x10012u);
    IsdnRecord call{};
    call.request = kRequestReadIsdnCall;
    ASSERT_EQ(applyTypeRequest(config, &call), SERIAL_OK);
    EXPECT_STREQ(call.ownExtension, "4711");
}

TEST(ConnectionRecords, BadRequestsChangeNothing) {
    ConnectionConfig config;
    config.type = kTypeTcpServer;
    TcpRecord r{};
    r.request = 0x300;
    EXPECT_EQ(applyTypeRequest(config, &r), SERIAL_E_INVALID);
    r.request = kRequestWrite;
    r.type = 7; // no such type
    EXPECT_EQ(applyTypeRequest(config, &r), SERIAL_E_INVALID);
    EXPECT_EQ(+config.type, kTypeTcpServer);
    EXPECT_EQ(applyTypeRequest(config, nullptr), SERIAL_E_INVALID);
    unsigned char small[3] = {0x00, 0x02, 0};
    EXPECT_EQ(applyTypeRequest(config, small), SERIAL_OK); // 0x200 touches 3 bytes only
    EXPECT_EQ(small[2], kTypeTcpServer);
}
