// Two controls with ComType 10 over the in-process CAPI controller (libfakecapi.so):
// one listens on extension 21, the other dials it with ModemConnect; the ring's text,
// the carrier on both, data both ways through Output and Input, and the hang-up.
#include <gtest/gtest.h>

#include <cstdlib>
#include <random>

#include "control/object/vort_ctrl.h"
#include "links_fixture.h"
#include "serilon/serilon.h"

using namespace vort;
using component::Variant;
using links_test::exchange;
using links_test::narrow;
using links_test::QueueWindow;
using links_test::randomBytes;
using vort::test::waitFor;

namespace {

class IsdnControl {
public:
    IsdnControl(int port, const char16_t* settings) {
        ctl.setNotificationWindow(&window);
        ctl.setCommPort(static_cast<int16_t>(port));
        ctl.setInputMode(1);
        ctl.setInputLen(0);
        ctl.setComType(kComTypeIsdn);
        ctl.setSettings(settings);
    }
    ~IsdnControl() {
        ctl.setPortOpen(false);
        ctl.setNotificationWindow(nullptr);
    }
    QueueWindow window;
    CVortCtrl ctl;
};

class IsdnLinks : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        const char* out = std::getenv("VORT_BUILD_OUT");
        ::setenv("SERILON_CAPI_LIBRARY", (std::string(out ? out : ".") + "/libfakecapi.so").c_str(),
                 1);
    }
};

} // namespace

TEST_F(IsdnLinks, ModemConnectDialsTheExtensionAndCarriesData) {
    // CIP mask bit 1: speech calls (CIP value 1).
    IsdnControl listener(61, u"OwnExtension=21;Controller=1;CIPValue=1;CIPMask=2");
    listener.ctl.setPortOpen(true);
    ASSERT_TRUE(listener.ctl.portOpen());
    EXPECT_FALSE(listener.ctl.modemConnect());

    IsdnControl caller(62, u"OwnExtension=35;Controller=1;CIPValue=1;CIPMask=2");
    caller.ctl.setModemPhoneNumber(u"21");
    caller.ctl.setPortOpen(true);
    caller.ctl.setModemConnect(true);
    ASSERT_TRUE(waitFor([&] { return !caller.ctl.jobProcessing(); }, 10000));
    EXPECT_EQ(narrow(caller.ctl.modemResult()), "CONNECT 64000");
    EXPECT_TRUE(caller.ctl.modemConnect());

    // The listener's ring becomes code 6 with the call's numbers in ModemResult.
    ASSERT_TRUE(waitFor([&] { return listener.window.count(kNotifyComm, 6) == 1; }, 3000));
    listener.window.deliver(listener.ctl);
    EXPECT_EQ(narrow(listener.ctl.modemResult()), "Call from 35 to 21");
    EXPECT_TRUE(waitFor([&] { return listener.ctl.modemConnect(); }, 3000));

    std::string got;
    const std::string up = randomBytes(120000, 5);
    ASSERT_TRUE(exchange(caller.ctl, listener.ctl, up, got));
    EXPECT_TRUE(got == up);
    got.clear();
    const std::string down = randomBytes(80000, 6);
    ASSERT_TRUE(exchange(listener.ctl, caller.ctl, down, got));
    EXPECT_TRUE(got == down);

    // ModemConnect = false hangs up: the listener loses carrier and is told so.
    caller.ctl.setModemConnect(false);
    EXPECT_FALSE(caller.ctl.modemConnect());
    EXPECT_TRUE(waitFor([&] { return !listener.ctl.cdHolding(); }, 3000));
    EXPECT_TRUE(waitFor([&] { return listener.window.count(kNotifyComm, 5) >= 1; }, 3000));

    // A call to an extension nobody has fails with the library's text.
    caller.ctl.setModemPhoneNumber(u"22");
    caller.ctl.setModemConnect(true);
    ASSERT_TRUE(waitFor([&] { return !caller.ctl.jobProcessing(); }, 10000));
    EXPECT_EQ(narrow(caller.ctl.modemResult()), "NO CARRIER: the number is not assigned, 0x3481");
    EXPECT_FALSE(caller.ctl.modemConnect());
}
