// ISDN comm ids over the in-process CAPI controller (libfakecapi.so): a call from one
// comm id to another's extension with its ring and call info, 1 MiB both ways, hang-ups
// from either side, calls nobody takes, refused calls and malformed controller messages.
#include "libs/serilon/connection_records.h"
#include "serilon/serilon.h"
#include "serilon_test_util.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <cstring>
#include <dlfcn.h>
#include <mutex>
#include <random>
#include <string>
#include <thread>

using namespace serilon;
using serilon_test::errorText;
using serilon_test::portThreadsIdle;
using serilon_test::waitFor;

namespace {

// The fake controller's test controls (the same library the serial core loads).
struct FakeControls {
    int (*faults)() = nullptr;
    unsigned (*maxUnconfirmed)() = nullptr;
    void (*resetCounters)() = nullptr;
    void (*corrupt)(int) = nullptr;
};

std::string fakePath() {
    const char* out = std::getenv("VORT_BUILD_OUT");
    return std::string(out ? out : ".") + "/libfakecapi.so";
}

FakeControls& fake() {
    static FakeControls controls = [] {
        FakeControls c;
        void* h = ::dlopen(fakePath().c_str(), RTLD_NOW | RTLD_LOCAL);
        if (h) {
            c.faults = reinterpret_cast<int (*)()>(::dlsym(h, "fake_capi_faults"));
            c.maxUnconfirmed =
                reinterpret_cast<unsigned (*)()>(::dlsym(h, "fake_capi_max_unconfirmed"));
            c.resetCounters = reinterpret_cast<void (*)()>(::dlsym(h, "fake_capi_reset_counters"));
            c.corrupt = reinterpret_cast<void (*)(int)>(::dlsym(h, "fake_capi_corrupt"));
        }
        return c;
    }();
    return controls;
}

void configureIsdn(int id, const char* extension, int32_t controller = 1) {
    IsdnRecord r{};
    r.request = SERIAL_REQ_WRITE | SERIAL_FIELD_EXTENSION | SERIAL_FIELD_CONTROLLER |
                SERIAL_FIELD_CIP_VALUE | SERIAL_FIELD_CIP_MASK;
    r.type = kTypeIsdn;
    std::strncpy(r.ownExtension, extension, sizeof r.ownExtension - 1);
    r.controller = controller;
    r.cipValue = 1;
    r.cipMask = 0x1FFF03FF;
    ASSERT_EQ(ComTypeControl(id, &r), SERIAL_OK);
}

// What each comm id's event procedure saw.
struct Seen {
    std::atomic<int> rings{0};
    std::atomic<int> cd{0};
    std::mutex m;
    SerialIsdnCallInfo call{};
};
Seen seen[SERIAL_COMM_IDS];
std::atomic<int32_t> refuseRing{0};

int32_t recordingProc(int32_t id, int32_t mask) {
    if (mask & SERIAL_EV_CD) {
        ++seen[id].cd;
    }
    if (mask & SERIAL_EV_RING) {
        // As the control does: the call's numbers are read during the report.
        SerialIsdnCallInfo info{};
        ComConnectInfo(id, &info);
        {
            std::lock_guard l(seen[id].m);
            seen[id].call = info;
        }
        ++seen[id].rings;
        return refuseRing.load();
    }
    return 0;
}

std::string waitConnect(int id, int timeoutMs, int32_t& connected) {
    char text[96] = {};
    connected = ModemWaitConnect(id, timeoutMs, 1, text, nullptr);
    return text;
}

std::string randomBytes(size_t n, uint32_t seed) {
    std::mt19937 rng(seed);
    std::string s(n, '\0');
    for (char& c : s) {
        c = char(rng());
    }
    return s;
}

class IsdnComm : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        // Before the serial core first looks for a CAPI library.
        ::setenv("SERILON_CAPI_LIBRARY", fakePath().c_str(), 1);
    }
    void SetUp() override {
        ASSERT_NE(fake().faults, nullptr) << "cannot load " << fakePath();
        fake().resetCounters();
        refuseRing = 0;
        for (Seen& s : seen) {
            s.rings = 0;
            s.cd = 0;
            std::lock_guard l(s.m);
            s.call = {};
        }
    }
    void TearDown() override {
        for (int id : opened_) {
            SerialClosePort(id);
        }
        // Every message our side put was well formed.
        EXPECT_EQ(fake().faults(), 0);
    }
    void open(int id, const char* extension) {
        configureIsdn(id, extension);
        ASSERT_EQ(SerialOpenPort(id), SERIAL_OK) << errorText(id);
        opened_.push_back(id);
        ASSERT_EQ(SerialSetEventProc(id, recordingProc), SERIAL_OK);
    }
    // Dials number on caller and waits for the connection; the result text. The carrier
    // drops before the controller has cleared the last call, and until then a dial is
    // refused as busy: so the dial waits for that.
    std::string call(int caller, const char* number, int32_t& connected, int timeoutMs = 5000) {
        int32_t dialled = SERIAL_E_BUSY;
        waitFor([&] { return (dialled = ModemDial(caller, number)) != SERIAL_E_BUSY; });
        EXPECT_EQ(dialled, SERIAL_OK) << errorText(caller);
        return waitConnect(caller, timeoutMs, connected);
    }
    std::vector<int> opened_;
};

// Writes all of out on from and reads as much on to, both directions at once.
void exchange(int a, int b, const std::string& aToB, const std::string& bToA, std::string& gotAtB,
              std::string& gotAtA) {
    size_t sentA = 0, sentB = 0;
    char buf[4096];
    waitFor(
        [&] {
            uint16_t n = 0;
            if (sentA < aToB.size()) {
                SerialWrite(a, aToB.data() + sentA,
                            uint16_t(std::min<size_t>(aToB.size() - sentA, 8192)), &n);
                sentA += n;
            }
            if (sentB < bToA.size()) {
                SerialWrite(b, bToA.data() + sentB,
                            uint16_t(std::min<size_t>(bToA.size() - sentB, 8192)), &n);
                sentB += n;
            }
            for (;;) {
                SerialRead(b, buf, sizeof buf, &n);
                gotAtB.append(buf, n);
                if (n == 0)
                    break;
            }
            for (;;) {
                SerialRead(a, buf, sizeof buf, &n);
                gotAtA.append(buf, n);
                if (n == 0)
                    break;
            }
            return gotAtB.size() >= aToB.size() && gotAtA.size() >= bToA.size();
        },
        60000);
}

} // namespace

TEST_F(IsdnComm, CallRingsCarriesAMegabyteBothWaysAndEitherSideHangsUp) {
    open(50, "21");
    open(51, "35");
    EXPECT_EQ(SerialCarrier(50), 0);
    SerialSetBuffers(50, 65536, 65536);
    SerialSetBuffers(51, 65536, 65536);

    int32_t connected = 0;
    EXPECT_EQ(call(51, "21", connected), "CONNECT 64000");
    ASSERT_EQ(connected, 1);
    ASSERT_TRUE(waitFor([] { return SerialCarrier(50) != 0; }));
    EXPECT_EQ(SerialCarrier(51), 1);
    EXPECT_EQ(seen[50].rings.load(), 1);
    EXPECT_EQ(seen[51].rings.load(), 0);
    {
        std::lock_guard l(seen[50].m);
        EXPECT_STREQ(seen[50].call.called, "21");
        EXPECT_STREQ(seen[50].call.calling, "35");
    }
    SerialIsdnCallInfo info{};
    ASSERT_EQ(ComConnectInfo(50, &info), SERIAL_OK);
    EXPECT_STREQ(info.called, "21");
    EXPECT_STREQ(info.calling, "35");
    EXPECT_TRUE(waitFor([] { return seen[50].cd.load() >= 1 && seen[51].cd.load() >= 1; }));

    // An idle call costs no processor time: the threads sleep in poll.
    const double cpuBefore = serilon_test::processCpuMs();
    std::this_thread::sleep_for(std::chrono::milliseconds(500));
    EXPECT_LT(serilon_test::processCpuMs() - cpuBefore, 50.0);

    const std::string up = randomBytes(1 << 20, 1);
    const std::string down = randomBytes(1 << 20, 2);
    std::string gotAt50, gotAt51;
    exchange(51, 50, up, down, gotAt50, gotAt51);
    EXPECT_EQ(gotAt50.size(), up.size());
    EXPECT_TRUE(gotAt50 == up) << "data from the caller arrived changed";
    EXPECT_TRUE(gotAt51 == down) << "data from the listener arrived changed";

    // A receiver that does not read: its input queue fills to the hard limit, the rest
    // waits with the controller, the sender's window fills and stops there; reading
    // then brings every byte.
    const std::string more = randomBytes((1 << 20) + 100000, 3);
    std::atomic<bool> allQueued{false};
    std::thread writer([&] {
        size_t sent = 0;
        allQueued = waitFor(
            [&] {
                uint16_t n = 0;
                SerialWrite(51, more.data() + sent,
                            uint16_t(std::min<size_t>(more.size() - sent, 8192)), &n);
                sent += n;
                return sent == more.size();
            },
            20000);
    });
    EXPECT_TRUE(waitFor([] { return SerialQueueFull(50, SERIAL_DIR_INPUT) != 0; }, 10000));
    EXPECT_TRUE(waitFor([] { return fake().maxUnconfirmed() == 7u; }, 5000));
    // Both sides have done what they could: the receiver stopped taking data and the
    // sender waits for a confirmation. Nothing more may have come in meanwhile.
    EXPECT_TRUE(waitFor([] { return portThreadsIdle(50) && portThreadsIdle(51); }));
    EXPECT_EQ(SerialQueueCount(50, SERIAL_DIR_INPUT), SERIAL_INPUT_HARD_LIMIT);
    EXPECT_EQ(fake().maxUnconfirmed(), 7u); // the window, never more
    const std::string held = serilon_test::readFromPort(50, more.size(), 20000);
    writer.join();
    EXPECT_TRUE(allQueued.load());
    EXPECT_EQ(held.size(), more.size());
    EXPECT_TRUE(held == more) << "data held back by a full queue arrived changed";

    // The caller hangs up: carrier drops on both sides.
    const int cdBefore = seen[50].cd.load();
    EXPECT_EQ(ModemHangUp(51), SERIAL_OK) << errorText(51);
    EXPECT_EQ(SerialCarrier(51), 0);
    EXPECT_TRUE(waitFor([] { return SerialCarrier(50) == 0; }));
    EXPECT_TRUE(waitFor([&] { return seen[50].cd.load() > cdBefore; }));

    // A second call on the same comm ids; this time the listener hangs up.
    EXPECT_EQ(call(51, "21", connected), "CONNECT 64000");
    ASSERT_EQ(connected, 1);
    ASSERT_TRUE(waitFor([] { return SerialCarrier(50) != 0; }));
    EXPECT_EQ(seen[50].rings.load(), 2);
    std::string small;
    exchange(50, 51, "after", "", small, gotAt50);
    EXPECT_EQ(small, "after");
    EXPECT_EQ(ModemHangUp(50), SERIAL_OK) << errorText(50);
    EXPECT_EQ(SerialCarrier(50), 0);
    EXPECT_TRUE(waitFor([] { return SerialCarrier(51) == 0; }));

    // Closing a comm id during a call ends it for the other side too.
    EXPECT_EQ(call(51, "21", connected), "CONNECT 64000");
    ASSERT_TRUE(waitFor([] { return SerialCarrier(50) != 0; }));
    SerialClosePort(50);
    EXPECT_TRUE(waitFor([] { return SerialCarrier(51) == 0; }));
}

TEST_F(IsdnComm, CallsNobodyTakesFailWithTheReason) {
    int32_t connected = 1;
    open(53, "");
    // Nobody else listens yet.
    std::string text = call(53, "4711", connected);
    EXPECT_EQ(connected, 0);
    EXPECT_EQ(text, "NO CARRIER: the number is not assigned, 0x3481");

    // A listener for 21 lets a call to 22 pass without ringing.
    open(52, "21");
    text = call(53, "22", connected);
    EXPECT_EQ(connected, 0);
    EXPECT_EQ(text, "NO CARRIER: the number is not assigned, 0x3481");
    EXPECT_EQ(seen[52].rings.load(), 0);

    // An event procedure that refuses the ring leaves the call to others: none here.
    refuseRing = 1;
    text = call(53, "21", connected);
    EXPECT_EQ(connected, 0);
    EXPECT_EQ(seen[52].rings.load(), 1);
    EXPECT_EQ(SerialCarrier(52), 0);
    EXPECT_NE(text.find("NO CARRIER"), std::string::npos) << text;

    // Accepted again once the procedure agrees; a comm id with no extension takes all.
    refuseRing = 0;
    text = call(52, "999", connected);
    EXPECT_EQ(text, "CONNECT 64000");
    EXPECT_EQ(seen[53].rings.load(), 1);
    EXPECT_EQ(ModemHangUp(52), SERIAL_OK);
}

TEST_F(IsdnComm, BadNumbersBusyLinesTimeoutsAndMissingControllers) {
    open(54, "21");
    open(55, "");
    EXPECT_EQ(ModemDial(55, "12a4"), SERIAL_E_INVALID);
    EXPECT_NE(errorText(55).find("ISDN number"), std::string::npos) << errorText(55);
    EXPECT_EQ(ModemDial(55, "123456789012345678901"), SERIAL_E_INVALID);
    // An answer command dials nothing; the wait then waits for a call.
    EXPECT_EQ(ModemDial(55, "ATA"), SERIAL_OK);
    int32_t connected = 1;
    EXPECT_EQ(waitConnect(55, 1000, connected), "TIMEOUT: no connection within 1 s");
    EXPECT_EQ(connected, 0);
    // ATD numbers are dialled without their prefix.
    EXPECT_EQ(call(55, "ATD21", connected), "CONNECT 64000");
    EXPECT_EQ(ModemDial(55, "21"), SERIAL_E_BUSY);
    EXPECT_EQ(ModemHangUp(55), SERIAL_OK);
    EXPECT_EQ(ModemCommand(55, "ATZ"), SERIAL_E_UNSUPPORTED);

    configureIsdn(56, "7", 2);
    EXPECT_EQ(SerialOpenPort(56), SERIAL_E_NO_DEVICE);
    EXPECT_NE(errorText(56).find("no ISDN controller is available with the number 2"),
              std::string::npos)
        << errorText(56);
}

TEST_F(IsdnComm, MalformedControllerMessagesAreErrorsNotCrashes) {
    open(57, "21");
    open(58, "");
    // A message of no known command reaches both: ignored, the line still works.
    fake().corrupt(2);
    int32_t connected = 0;
    EXPECT_EQ(call(58, "21", connected), "CONNECT 64000");
    ASSERT_TRUE(waitFor([] { return SerialCarrier(57) != 0; }));
    EXPECT_EQ(ModemHangUp(58), SERIAL_OK);
    ASSERT_TRUE(waitFor([] { return SerialCarrier(57) == 0; }));

    // The call's confirmation comes cut short: the call fails with that reason, and the
    // call the controller went on with is cleared, not left hanging on the listener.
    const int ringsBefore = seen[57].rings.load();
    fake().corrupt(1);
    std::string text = call(58, "21", connected);
    EXPECT_EQ(connected, 0);
    EXPECT_NE(text.find("malformed"), std::string::npos) << text;
    EXPECT_NE(text.find("CONNECT_CONF"), std::string::npos) << text;
    // The listener was rung for it (the controller went on); the caller clears it.
    EXPECT_TRUE(waitFor([&] { return seen[57].rings.load() == ringsBefore + 1; }));
    // Both comm ids have handled every controller message (the controller has no thread
    // of its own): a call left up would show now.
    EXPECT_TRUE(waitFor([] { return portThreadsIdle(57) && portThreadsIdle(58); }));
    EXPECT_EQ(SerialCarrier(57), 0);
    EXPECT_EQ(SerialCarrier(58), 0);

    // An incoming call whose numbers run past the message: not rung, not taken.
    const int rings = seen[57].rings.load();
    fake().corrupt(3);
    text = call(58, "21", connected);
    EXPECT_EQ(connected, 0);
    EXPECT_EQ(seen[57].rings.load(), rings);

    // And the next ordinary call goes through.
    ASSERT_TRUE(waitFor([] { return SerialCarrier(57) == 0; }));
    EXPECT_EQ(call(58, "21", connected), "CONNECT 64000");
    EXPECT_EQ(ModemHangUp(57), SERIAL_OK);
}
