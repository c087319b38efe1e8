// ComType, the network Settings texts and the modem texts, without a connection: the
// transitions of the texts, the TCP and ISDN grammars with their read-back forms and
// errors, and the parser on its own.
#include <gtest/gtest.h>

#include "control/links/network_settings_parser.h"
#include "control/object/vort_ctrl.h"
#include "platform/component/error.h"
#include "serilon/serilon.h"

using namespace vort;

namespace {

std::string settingsOf(CVortCtrl& c) {
    const std::u16string s = c.settings();
    return std::string(s.begin(), s.end());
}

int errorOf(const std::function<void()>& f) {
    try {
        f();
    } catch (const component::ComponentError& e) {
        return e.number();
    }
    return 0;
}

} // namespace

TEST(NetworkSettingsParser, KeysValuesAndWhatLeavesAFieldAlone) {
    NetworkFields f =
        parseNetworkSettings("ip=MyHost.Example;Port= 5000x;MaxServerConnections=300");
    EXPECT_EQ(f.ip, "MyHost.Example"); // case kept
    EXPECT_EQ(f.port, 5000u);
    EXPECT_EQ(f.maxConnections, 300u);
    f = parseNetworkSettings("PORT=0;IP=;CONTROLLER=abc");
    EXPECT_FALSE(f.port);       // 0: unchanged
    EXPECT_FALSE(f.ip);         // empty: unchanged
    EXPECT_FALSE(f.controller); // no digits
    // A key inside another key or a value does not count.
    f = parseNetworkSettings("XIP=1.2.3.4;IP=PORT=7;");
    EXPECT_EQ(f.ip, "PORT=7");
    EXPECT_FALSE(f.port);
    // A key follows ";" (blanks allowed between); after a blank inside a value it is
    // part of that value, so the stored form reads back the same.
    EXPECT_FALSE(parseNetworkSettings("IP=host PORT=5").port);
    EXPECT_EQ(parseNetworkSettings("IP=h;  PORT=5").port, 5u);
    // Only the first 127 characters are looked at.
    f = parseNetworkSettings(std::string(121, ' ') + "PORT=99");
    EXPECT_EQ(f.port, 9u);
    f = parseNetworkSettings("CONTROLLER=-3;CIPVALUE=99999999999999999999999;CIPMASK=4294967295");
    EXPECT_EQ(f.controller, -3);
    EXPECT_EQ(f.cipValue, 999999999999999999); // 18 digits at most: no overflow
    EXPECT_EQ(f.cipMask, 4294967295u);
    EXPECT_EQ(parseNetworkSettings("OWNEXTENSION=" + std::string(30, '7')).ownExtension,
              std::string(18, '7'));
    EXPECT_TRUE(hasNetworkKey("x;cipmask=1"));
    EXPECT_FALSE(hasNetworkKey("9600,N,8,1"));
}

TEST(ConnectionTypes, ComTypeTransitionsOfTheTexts) {
    CVortCtrl c;
    c.setCommPort(70);
    EXPECT_EQ(c.comType(), 0);
    c.setComType(5); // not a type: ignored
    EXPECT_EQ(c.comType(), 0);
    c.setComType(21);
    EXPECT_EQ(c.comType(), 21);
    EXPECT_EQ(c.modemAnswerString(), u"");
    SerialTcpRecord r{};
    r.request = SERIAL_REQ_READ_TYPE;
    ASSERT_EQ(ComTypeControl(69, &r), SERIAL_OK);
    EXPECT_EQ(+r.type, 21); // the library holds the type
    c.setSettings(u"PORT=4000");
    c.setComType(22); // TCP to TCP: no text changes
    EXPECT_EQ(settingsOf(c), "IP=;PORT=4000;");
    c.setComType(0);
    EXPECT_EQ(settingsOf(c), "57600,N,8,1");
    EXPECT_EQ(c.modemAnswerString(), u"ATA");
    EXPECT_EQ(c.modemInitString(), u"ATE0L1M0Q0V1&C1&D2&S1");
    c.setSettings(u"9600,E,7,1");
    c.setComType(1); // serial to serial: no text changes
    EXPECT_EQ(settingsOf(c), "9600,E,7,1");
    c.setComType(10);
    EXPECT_EQ(c.modemAnswerString(), u"");
    c.setModemAnswerString(u"ATA"); // only the serial types keep one
    EXPECT_EQ(c.modemAnswerString(), u"");
}

TEST(ConnectionTypes, TcpSettingsEdgeCases) {
    CVortCtrl c;
    c.setCommPort(80);
    c.setComType(22);
    // Without a port and none in the library: 380, nothing changes.
    EXPECT_EQ(errorOf([&] { c.setSettings(u"IP=10.1.2.3"); }), 380);
    EXPECT_EQ(settingsOf(c), "IP=;PORT=0;");
    c.setSettings(u"IP=10.1.2.3;PORT=4000;");
    EXPECT_EQ(settingsOf(c), "IP=10.1.2.3;PORT=4000;");
    // port=5000 keeps the IP.
    c.setSettings(u"port=5000");
    EXPECT_EQ(settingsOf(c), "IP=10.1.2.3;PORT=5000;");
    // A port beyond 16 bits is refused rather than wrapped.
    EXPECT_EQ(errorOf([&] { c.setSettings(u"PORT=70000"); }), 380);
    EXPECT_EQ(settingsOf(c), "IP=10.1.2.3;PORT=5000;");
    c.setSettings(u"IP=Some.Host");
    EXPECT_EQ(settingsOf(c), "IP=Some.Host;PORT=5000;");
    // An IP longer than the record holds is cut to 62 characters.
    c.setSettings(u"IP=" + std::u16string(80, u'a'));
    EXPECT_EQ(settingsOf(c), "IP=" + std::string(62, 'a') + ";PORT=5000;");

    c.setComType(21);
    EXPECT_EQ(errorOf([&] { c.setSettings(u"MaxServerConnections=3"); }),
              0); // the port is still in the library
    EXPECT_EQ(settingsOf(c), "IP=" + std::string(62, 'a') + ";PORT=5000;MaxServerConnections=3;");
    c.setSettings(u"IP=;MAXSERVERCONNECTIONS=300");
    EXPECT_NE(settingsOf(c).find("MaxServerConnections=255;"), std::string::npos);

    // CommPort moves the parameters to the new comm id.
    c.setCommPort(81);
    SerialTcpRecord r{};
    r.request = SERIAL_REQ_READ_TCP;
    ASSERT_EQ(ComTypeControl(80, &r), SERIAL_OK);
    EXPECT_EQ(+r.port, 5000);
}

TEST(ConnectionTypes, IsdnSettingsAndOpenWithoutController) {
    CVortCtrl c;
    c.setCommPort(90);
    c.setComType(10);
    EXPECT_EQ(errorOf([&] { c.setSettings(u"OwnExtension=12;CIPValue=1"); }), 380); // no controller
    EXPECT_EQ(errorOf([&] { c.setSettings(u"OwnExtension=12;Controller=1"); }),
              380); // no CIP value
    c.setSettings(u"ownextension=4711;controller=1;cipvalue=16;cipmask=65536");
    EXPECT_EQ(settingsOf(c), "OwnExtension=4711;Controller=1;CIPValue=16;CIPMask=65536;");
    c.setSettings(u"CIPValue=4");
    EXPECT_EQ(settingsOf(c), "OwnExtension=4711;Controller=1;CIPValue=4;CIPMask=65536;");
    // No controller on this machine: 68 with a description that says so.
    std::string description;
    try {
        c.setPortOpen(true);
    } catch (const component::ComponentError& e) {
        EXPECT_EQ(e.number(), 68);
        description = e.what();
    }
    EXPECT_NE(description.find("no ISDN controller is available"), std::string::npos)
        << description;
    EXPECT_FALSE(c.portOpen());
    EXPECT_EQ(c.comType(), 10);
    EXPECT_EQ(settingsOf(c), "OwnExtension=4711;Controller=1;CIPValue=4;CIPMask=65536;");
}

TEST(ConnectionTypes, ModemTimeoutInSecondsAtLeastTwo) {
    CVortCtrl c;
    EXPECT_EQ(c.modemTimeout(), 60);
    c.setModemTimeout(0);
    EXPECT_EQ(c.modemTimeout(), 2);
    c.setModemTimeout(1);
    EXPECT_EQ(c.modemTimeout(), 2);
    c.setModemTimeout(-5);
    EXPECT_EQ(c.modemTimeout(), 2);
    c.setModemTimeout(600);
    EXPECT_EQ(c.modemTimeout(), 600);
    c.setModemInitString(u"");
    EXPECT_EQ(c.modemInitString(), u"ATE0L1M0Q0V1&C1&D2&S1");
    // ModemConnect on a closed port: false, and starting a dial does nothing.
    c.setModemConnect(true);
    EXPECT_FALSE(c.modemConnect());
    EXPECT_FALSE(c.jobProcessing());
}
