// The event monitor's tuning properties over a real pty: the send event switch,
// priorities reaching the library's threads, the yield state.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <mutex>
#include <sys/resource.h>
#include <thread>

#include "control/events/priority.h"
#include "control/object/vort_ctrl.h"
#include "recording_window.h"
#include "serilon/serilon.h"
#include "support/pty_pair.h"
#include "support/wait.h"

using namespace vort;
using component::Variant;

namespace {

using vort::test::waitFor;

using Recorder = vort::test::RecordingWindow;

class EventMonitor : public ::testing::Test {
protected:
    void SetUp() override {
        map_.map(9, pty_.slavePath());
        ctl_.setCommPort(9);
        ctl_.setNotificationWindow(&rec_);
    }
    void TearDown() override {
        ctl_.setPortOpen(false);
        ctl_.setNotificationWindow(nullptr);
    }
    test::PtyPair pty_;
    test::ScopedPortMap map_;
    Recorder rec_;
    CVortCtrl ctl_;
};

} // namespace

TEST_F(EventMonitor, SendEventIsASwitch) {
    ctl_.setSThreshold(1000); // the size is not compared with anything
    ctl_.setPortOpen(true);
    ctl_.setOutput(Variant::bstr(u"x"));
    EXPECT_EQ(pty_.read(1, 2000), "x");
    EXPECT_TRUE(waitFor([&] { return rec_.count(1) >= 1; }));

    ctl_.setSThreshold(0);
    const int before = rec_.count(1);
    ctl_.setOutput(Variant::bstr(u"y"));
    EXPECT_EQ(pty_.read(1, 2000), "y");
    // Room for a wrong send event to show: the check is that none comes.
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    EXPECT_EQ(rec_.count(1), before);
}

TEST_F(EventMonitor, PriorityReachesTheLibraryThreads) {
    EXPECT_EQ(niceForPriority(5), -20); // time-critical
    EXPECT_EQ(niceForPriority(0), 10);
    ctl_.setPriority(9); // ignored entirely
    EXPECT_EQ(ctl_.priority(), 2);
    ctl_.setPortOpen(true);
    const int id = ctl_.activeCommId();
    const auto tid = static_cast<id_t>(SerialThreadHandle(id, 0));
    ASSERT_NE(tid, 0u);
    ctl_.setPriority(0);
    EXPECT_EQ(getpriority(PRIO_PROCESS, tid), 10);
    ctl_.setPriority(3);
    // Raising needs privilege; without it the thread goes as high as allowed and the
    // write still takes effect as a value.
    EXPECT_EQ(ctl_.priority(), 3);
    EXPECT_LE(getpriority(PRIO_PROCESS, tid), 10);
    if (geteuid() == 0) {
        EXPECT_EQ(getpriority(PRIO_PROCESS, tid), -5);
    }
    ctl_.setPriority(2);
}

TEST_F(EventMonitor, YieldStateReachesTheLibrary) {
    ctl_.setYieldState(false);
    ctl_.setPortOpen(true);
    EXPECT_EQ(SerialGetYield(), 0);
    ctl_.setYieldState(true);
    EXPECT_EQ(SerialGetYield(), 1);
}

TEST_F(EventMonitor, ClosedControlIgnoresReports) {
    EXPECT_EQ(ctl_.onLibraryEvent(8, SERIAL_EV_RXCHAR | SERIAL_EV_CTS), 0);
    EXPECT_EQ(rec_.count(2) + rec_.count(3), 0);
}

// A window a host replaces may go at once: the write returns only when no thread is
// still inside a post to it (a library thread posting while the host swaps windows).
TEST_F(EventMonitor, ReplacingTheWindowWaitsForAPostInFlight) {
    class GateWindow : public NotificationWindow {
    public:
        int32_t handle() const override { return 2; }
        void post(uint32_t, intptr_t) override {
            entered = true;
            vort::test::waitFor([&] { return open.load(); }, 10000);
            left = true;
        }
        std::atomic<bool> entered{false}, open{false}, left{false};
    } gate;
    ctl_.setNotificationWindow(&gate);
    std::thread poster([&] { ctl_.postCommEvent(2); });
    ASSERT_TRUE(waitFor([&] { return gate.entered.load(); }));
    std::atomic<bool> replaced{false};
    std::thread replacer([&] {
        ctl_.setNotificationWindow(&rec_);
        replaced = true;
    });
    // Room for a wrong early return to show; the post is still held inside.
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    EXPECT_FALSE(replaced.load());
    gate.open = true;
    EXPECT_TRUE(waitFor([&] { return replaced.load(); }));
    EXPECT_TRUE(gate.left.load()) << "the replacement returned before the post ended";
    poster.join();
    replacer.join();
    ctl_.postCommEvent(1); // later posts reach the new window
    EXPECT_EQ(rec_.count(1), 1);
}
