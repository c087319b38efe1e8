// Incoming calls by connection type (the EventProc side and the OnCommNotify side), the
// record that travels between them, and what a saved control brings back on load.
#include <gtest/gtest.h>

#include <cstring>

#include "control/object/vort_ctrl.h"
#include "links_fixture.h"
#include "platform/component/text_property_bag.h"
#include "serilon/serilon.h"

using namespace vort;
using links_test::narrow;
using links_test::QueueWindow;

namespace {

class Incoming : public ::testing::Test {
protected:
    void SetUp() override { ctl_.setNotificationWindow(&window_); }
    void TearDown() override { ctl_.setNotificationWindow(nullptr); }
    QueueWindow window_;
    CVortCtrl ctl_;
};

} // namespace

TEST_F(Incoming, SerialRingPostsCodeSixWithoutRecord) {
    ctl_.setCommPort(110);
    EXPECT_EQ(ctl_.onIncomingCall(109), 0);
    ASSERT_EQ(window_.count(kNotifyComm, 6), 1);
    EXPECT_EQ(window_.all()[0].lParam, 0);
    window_.deliver(ctl_);
    EXPECT_EQ(ctl_.commEvent(), 6);
    EXPECT_EQ(narrow(ctl_.modemResult()), "");
}

TEST_F(Incoming, IsdnCallForAnotherExtensionIsRefused) {
    ctl_.setCommPort(111);
    ctl_.setComType(kComTypeIsdn);
    ctl_.setSettings(u"Controller=1;CIPValue=1");
    // Without an own extension every call is taken; the numbers come from the library.
    EXPECT_EQ(ctl_.onIncomingCall(110), 0);
    window_.deliver(ctl_);
    EXPECT_EQ(narrow(ctl_.modemResult()), "Call from  to ");
    // With one, a call whose called number lacks it is refused and nothing is posted.
    ctl_.setSettings(u"OwnExtension=12");
    EXPECT_EQ(ctl_.onIncomingCall(110), 1);
    EXPECT_EQ(window_.count(kNotifyComm, 6), 1);
}

TEST_F(Incoming, TcpRecordIsTakenOverOnceAndNamesTheCommId) {
    ctl_.setCommPort(112);
    ctl_.setComType(kComTypeTcpServer);
    ctl_.setSettings(u"PORT=7000;MaxServerConnections=1");
    EXPECT_EQ(ctl_.onIncomingCall(111), 0);
    ASSERT_EQ(window_.count(kNotifyComm, 6), 1);
    const intptr_t record = window_.all()[0].lParam;
    ASSERT_NE(record, 0);
    window_.deliver(ctl_);
    // A single-connection server carries the connection on its own comm id.
    EXPECT_EQ(narrow(ctl_.modemResult()), "Connected IP=, Port=0, CommId=111");
    // The same record again (it was freed): not touched, the text comes from the
    // library instead.
    ctl_.OnCommNotify((6u << 16) | kNotifyComm, record);
    EXPECT_EQ(narrow(ctl_.modemResult()), "Connected IP=, Port=0");
    // A record still queued when the control goes is freed with it.
    EXPECT_EQ(ctl_.onIncomingCall(111), 0);
}

TEST_F(Incoming, MultiServerWithoutAFreeCommIdRefuses) {
    ctl_.setCommPort(113);
    ctl_.setComType(kComTypeTcpServer);
    ctl_.setSettings(u"PORT=7001;MaxServerConnections=3");
    // No connection is offered (the server is not open): taking it over fails, so the
    // connection is refused and nothing reaches the host.
    EXPECT_EQ(ctl_.onIncomingCall(112), 3);
    EXPECT_EQ(window_.count(kNotifyComm, 6), 0);
    for (int32_t id = 0; id < SERIAL_COMM_IDS; ++id)
        EXPECT_FALSE(SerialInUse(id)) << id;
    // The comm id tried keeps the parameters it had.
    SerialTcpRecord r{};
    r.request = SERIAL_REQ_READ_TCP;
    ASSERT_EQ(ComTypeControl(0, &r), SERIAL_OK);
    EXPECT_EQ(+r.type, 0);
    EXPECT_EQ(+r.port, 0);
}

TEST(LinksPersistence, NetworkSettingsReachTheLibraryWhenLoaded) {
    std::string saved;
    {
        CVortCtrl c;
        c.setCommPort(120);
        c.setComType(kComTypeTcpServer);
        c.setSettings(u"IP=127.0.0.1;PORT=6001;MaxServerConnections=4");
        component::TextPropertyBagWriter out;
        ASSERT_EQ(c.save(out, true), 0);
        saved = out.text();
    }
    EXPECT_EQ(saved.find("ModemInitString"), std::string::npos) << saved;
    EXPECT_EQ(saved.find("ModemAnswerString"), std::string::npos) << saved;
    // The library forgets the comm id's parameters (as in a new process).
    SerialTcpRecord reset{};
    reset.request = SERIAL_REQ_WRITE | SERIAL_FIELD_HOST | SERIAL_FIELD_PORT | SERIAL_FIELD_LIMIT;
    reset.type = 0;
    reset.maxServerConnections = 1;
    ASSERT_EQ(ComTypeControl(119, &reset), SERIAL_OK);

    CVortCtrl loaded;
    component::TextPropertyBagReader in(saved);
    ASSERT_EQ(loaded.load(in), 0);
    SerialTcpRecord r{};
    r.request = SERIAL_REQ_READ_TCP;
    ASSERT_EQ(ComTypeControl(119, &r), SERIAL_OK);
    EXPECT_EQ(+r.type, kComTypeTcpServer);
    EXPECT_EQ(+r.port, 6001);
    EXPECT_EQ(+r.maxServerConnections, 4);
    EXPECT_STREQ(r.host, "127.0.0.1");
    EXPECT_EQ(narrow(loaded.settings()), "IP=127.0.0.1;PORT=6001;MaxServerConnections=4;");
    EXPECT_EQ(loaded.modemInitString(), u"");
    EXPECT_EQ(loaded.modemAnswerString(), u"");
}
