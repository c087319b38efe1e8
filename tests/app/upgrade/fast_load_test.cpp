// The fast-load option and the switch to 115200, against the simulator.
#include <QAction>

#include "tcu_fixture.h"

namespace tcu::test {
namespace {

class FastLoadTest : public TcuTest {
protected:
    void SetUp() override {
        TcuTest::SetUp();
        startSim(1, 19200);
        openPort1(QStringLiteral("19200,N,8,1"));
        ASSERT_TRUE(sim_->clearFrames());
    }
};

TEST_F(FastLoadTest, OptionOffSendsNothingAndKeepsThePort) {
    EXPECT_FALSE(form_->mnuload_5->isChecked()) << "off at start";
    EXPECT_EQ(form_->Fast_Load(), 1);
    EXPECT_TRUE(sim_->frames().empty());
    EXPECT_EQ(form_->CommCtl1.settings(), "19200,N,8,1");
    EXPECT_EQ(core().SavedPortSettings, "");
    // Choosing the item flips its check each time, and sends nothing.
    form_->mnuload_5->trigger();
    EXPECT_TRUE(form_->mnuload_5->isChecked());
    form_->mnuload_5->trigger();
    EXPECT_FALSE(form_->mnuload_5->isChecked());
    EXPECT_TRUE(sim_->frames().empty());
}

TEST_F(FastLoadTest, OptionOnSwitchesScannerAndPortTo115200) {
    form_->mnuload_5->trigger();
    EXPECT_EQ(form_->Fast_Load(), 1);
    EXPECT_EQ(sim_->frames(), std::vector<std::string>{"\x01<RSBAUD=115200>\x04"});
    EXPECT_EQ(core().SavedPortSettings, "19200,N,8,1");
    EXPECT_EQ(form_->CommCtl1.settings(), "115200,N,8,1");
    EXPECT_TRUE(form_->CommCtl1.portOpen());
    EXPECT_EQ(sim_->line(), "115200,N,8,1");
    // Both ends agree: the next command is acknowledged at the new rate.
    EXPECT_EQ(form_->ExchangeCommand(QStringLiteral("<APP1RV:>")), 1);
}

TEST_F(FastLoadTest, SwitchNotAcknowledgedKeepsThePort) {
    form_->mnuload_5->trigger();
    ASSERT_TRUE(sim_->fault("nak 3"));
    EXPECT_EQ(form_->Fast_Load(), 0);
    EXPECT_EQ(form_->CommCtl1.settings(), "19200,N,8,1");
    EXPECT_EQ(sim_->line(), "19200,N,8,1");
}

} // namespace
} // namespace tcu::test
