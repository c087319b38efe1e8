// The control's port half over real pseudo-terminals: open and close, settings on the
// device, data both ways in text and binary mode, buffers, line control, and what a
// pulled device does.
#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <functional>
#include <memory>
#include <mutex>
#include <random>
#include <termios.h>
#include <thread>
#include <vector>

#include "control/object/vort_ctrl.h"
#include "platform/component/error.h"
#include "platform/component/result.h"
#include "platform/component/text_property_bag.h"
#include "recording_window.h"
#include "serilon/serilon.h"
#include "support/pty_pair.h"
#include "support/test_site.h"
#include "support/wait.h"
#include "tools/scanner-sim/sha256.h"

using vort::CVortCtrl;
using vort::component::ComponentError;
using vort::component::Variant;
using vort::test::PtyPair;
using vort::test::ScopedPortMap;

namespace {

constexpr int kPort = 7; // COM7 -> the pty slave

using vort::test::waitFor;

int raisedNumber(const std::function<void()>& f) {
    try {
        f();
    } catch (const ComponentError& e) {
        return e.number();
    }
    return 0;
}

std::string raisedText(const std::function<void()>& f) {
    try {
        f();
    } catch (const ComponentError& e) {
        return e.description();
    }
    return "";
}

int32_t waiting(CVortCtrl& c) {
    return SerialQueueCount(c.activeCommId(), SERIAL_DIR_INPUT);
}

using vort::test::RecordingWindow;

class ControlPort : public ::testing::Test {
protected:
    void SetUp() override {
        map_.map(kPort, pty_.slavePath());
        ctl_.setCommPort(kPort);
    }
    void open(const char* settings = "9600,N,8,1") {
        ctl_.setSettings(std::u16string(settings, settings + strlen(settings)));
        ctl_.setPortOpen(true);
        ASSERT_TRUE(ctl_.portOpen());
    }
    std::string readMaster(size_t n) { return pty_.read(n, 3000); }

    PtyPair pty_;
    ScopedPortMap map_;
    CVortCtrl ctl_;
};

} // namespace

TEST_F(ControlPort, OpenCloseAndOpenTwice) {
    open();
    EXPECT_EQ(ctl_.commId(), kPort - 1);
    EXPECT_EQ(raisedNumber([&] { ctl_.setPortOpen(true); }), 55);
    EXPECT_TRUE(ctl_.portOpen());
    ctl_.setPortOpen(false);
    EXPECT_FALSE(ctl_.portOpen());
    ctl_.setPortOpen(false); // closing a closed port is harmless
    open();                  // and the port opens again
}

TEST_F(ControlPort, OpenFailuresSayWhy) {
    map_.map(kPort, "/dev/does-not-exist-ttyX");
    const std::string text = raisedText([&] { ctl_.setPortOpen(true); });
    EXPECT_EQ(raisedNumber([&] { ctl_.setPortOpen(true); }), 68);
    EXPECT_NE(text.find("/dev/does-not-exist-ttyX"), std::string::npos) << text;
    EXPECT_FALSE(ctl_.portOpen());

    // Two controls on the same device through two port numbers: the second is refused,
    // so the two never split the device's bytes between them.
    map_.map(kPort, pty_.slavePath());
    map_.map(kPort + 1, pty_.slavePath());
    open();
    CVortCtrl other;
    other.setCommPort(kPort + 1);
    EXPECT_EQ(raisedNumber([&] { other.setPortOpen(true); }), 68);
}

TEST_F(ControlPort, SettingsWritesAndReadBack) {
    ctl_.setSettings(u"9600,E,7,2");
    ctl_.setSettings(u"19200");
    EXPECT_EQ(ctl_.settings(), u"19200,E,7,2");
    EXPECT_EQ(raisedNumber([&] { ctl_.setSettings(u"9600,X,8,1"); }), 380);
    EXPECT_EQ(ctl_.settings(), u"19200,E,7,2");

    // CommPort out of range changes nothing; in range it re-validates Settings.
    ctl_.setCommPort(0);
    ctl_.setCommPort(256);
    EXPECT_EQ(ctl_.commPort(), kPort);

    // Applied to the device at open and at once while open: the speed and stop bits
    // are what a pty keeps, visible from the master.
    open("38400,N,8,2");
    termios t{};
    ASSERT_EQ(tcgetattr(pty_.master(), &t), 0);
    EXPECT_EQ(cfgetospeed(&t), B38400);
    EXPECT_TRUE(t.c_cflag & CSTOPB);
    ctl_.setSettings(u"115200,n,8,1");
    ASSERT_EQ(tcgetattr(pty_.master(), &t), 0);
    EXPECT_EQ(cfgetospeed(&t), B115200);
    EXPECT_FALSE(t.c_cflag & CSTOPB);
    EXPECT_EQ(ctl_.settings(), u"115200,N,8,1");

    // With the port open the baud must not exceed the port's maximum.
    const int32_t max = SerialMaxBaud(ctl_.activeCommId());
    ASSERT_GT(max, 0);
    const std::string tooFast = std::to_string(int64_t{max} + 1) + ",N,8,1";
    EXPECT_EQ(
        raisedNumber([&] { ctl_.setSettings(std::u16string(tooFast.begin(), tooFast.end())); }),
        380);
    EXPECT_EQ(ctl_.settings(), u"115200,N,8,1");
}

TEST_F(ControlPort, OutputKinds) {
    open();
    ctl_.setOutput(Variant::bstr(u"AB"));
    EXPECT_EQ(readMaster(2), "AB");
    ctl_.setOutput(Variant::bytes({0x00, 0xFF, 0x7F}));
    EXPECT_EQ(readMaster(3), std::string("\x00\xFF\x7F", 3));
    ctl_.setOutput(Variant::ui1(0x55));
    EXPECT_EQ(readMaster(1), "U");
    // A 16-bit integer and an empty text send nothing.
    ctl_.setOutput(Variant::i2(0x4142));
    ctl_.setOutput(Variant::bstr(u""));
    ctl_.setOutput(Variant::bstr(u"Z"));
    EXPECT_EQ(readMaster(1), "Z");
    // Characters above 0xFF send their low byte.
    ctl_.setOutput(Variant::bstr(u"\u0141"));
    EXPECT_EQ(readMaster(1), "A");
    // ComOutput never reads past its text.
    EXPECT_EQ(ctl_.ComOutput(0, u"xyz", 100), 3);
    EXPECT_EQ(readMaster(3), "xyz");
    EXPECT_EQ(ctl_.ComOutput(0, u"xyz", 2), 2);
    EXPECT_EQ(readMaster(2), "xy");
}

TEST_F(ControlPort, OutputLargerThanSixteenBitsArrivesWhole) {
    open();
    std::vector<uint8_t> data(200000);
    std::mt19937 rng(7);
    for (auto& b : data)
        b = static_cast<uint8_t>(rng());
    std::string got;
    std::thread reader([&] { got = pty_.read(data.size(), 10000); });
    ctl_.setOutput(Variant::bytes(data));
    reader.join();
    EXPECT_EQ(got.size(), data.size());
    EXPECT_TRUE(std::equal(data.begin(), data.end(), reinterpret_cast<const uint8_t*>(got.data())));
}

TEST_F(ControlPort, CloseAndReleaseSendWhatOutputLeftQueued) {
    // Output, then at once PortOpen = False (or the control's release). The peer holds
    // the line with XOFF until then, so every byte is still in the library's queue at
    // the close whatever the kernel's buffers take; it lets go and reads from then on.
    std::vector<uint8_t> data(30000);
    std::mt19937 rng(11);
    for (auto& b : data)
        b = static_cast<uint8_t>(rng());
    const std::string want(data.begin(), data.end());
    auto outputThenEnd = [&](CVortCtrl& ctl, const std::function<void()>& end, int run) {
        PtyPair pty;
        map_.writeText("COM" + std::to_string(kPort) + "=" + pty.slavePath() + "\n");
        ctl.setHandshaking(1); // XON/XOFF
        ctl.setOutBufferSize(32000);
        ctl.setPortOpen(true);
        ASSERT_TRUE(ctl.portOpen());
        // The marker arrives after the XOFF took effect.
        ASSERT_TRUE(pty.writeAll("\x13m"));
        ASSERT_TRUE(waitFor([&] { return SerialQueueCount(kPort - 1, SERIAL_DIR_INPUT) == 1; }));
        ctl.setOutput(Variant::bytes(data));
        ASSERT_GT(SerialQueueCount(kPort - 1, SERIAL_DIR_OUTPUT), 0);
        std::string got;
        std::thread reader([&] {
            if (pty.writeAll("\x11"))
                got = pty.read(want.size(), 10000);
        });
        end();
        reader.join();
        ASSERT_EQ(got.size(), want.size()) << "run " << run;
        ASSERT_TRUE(got == want) << "run " << run;
    };
    for (int run = 0; run < 100; ++run) {
        ASSERT_NO_FATAL_FAILURE(outputThenEnd(
            ctl_, [&] { ctl_.setPortOpen(false); }, run));
    }
    for (int run = 0; run < 20; ++run) {
        auto released = std::make_unique<CVortCtrl>();
        released->setCommPort(kPort);
        ASSERT_NO_FATAL_FAILURE(outputThenEnd(
            *released, [&] { released.reset(); }, run));
    }
}

TEST_F(ControlPort, InputTextAndBinary) {
    open();
    ASSERT_TRUE(pty_.writeAll("abc"));
    ASSERT_TRUE(waitFor([&] { return waiting(ctl_) == 3; }));

    // Text mode reads only a whole InputLen; the 3 bytes stay queued.
    ctl_.setInputLen(5);
    EXPECT_EQ(ctl_.input().text(), u"");
    EXPECT_EQ(ctl_.inBufferCount(), 3);
    // Binary mode returns what there is.
    ctl_.setInputMode(1);
    Variant v = ctl_.input();
    ASSERT_TRUE(v.isBytes());
    EXPECT_EQ(v.byteArray(), (std::vector<uint8_t>{'a', 'b', 'c'}));
    EXPECT_TRUE(ctl_.input().byteArray().empty());

    // InputLen 1 (the initial value) reads one character per Input; high bytes map to
    // the same code points.
    ctl_.setInputMode(0);
    ctl_.setInputMode(7); // ignored
    EXPECT_EQ(ctl_.inputMode(), 0);
    ctl_.setInputLen(1);
    ASSERT_TRUE(pty_.writeAll("\xE9Z"));
    ASSERT_TRUE(waitFor([&] { return waiting(ctl_) == 2; }));
    EXPECT_EQ(ctl_.input().text(), u"\u00E9");
    EXPECT_EQ(ctl_.input().text(), u"Z");

    // ComInput fills the caller's variable through the reference.
    ASSERT_TRUE(pty_.writeAll("12345"));
    ASSERT_TRUE(waitFor([&] { return waiting(ctl_) == 5; }));
    Variant target;
    Variant ref = Variant::byRef(&target);
    EXPECT_EQ(ctl_.ComInput(0, ref, 3), 3);
    EXPECT_EQ(target.byteArray(), (std::vector<uint8_t>{'1', '2', '3'}));
    // The variable itself, as the dispatch table passes a by-reference argument.
    Variant plain;
    EXPECT_EQ(ctl_.ComInput(0, plain, 1), 1);
    EXPECT_EQ(plain.byteArray(), (std::vector<uint8_t>{'4'}));
    EXPECT_EQ(waiting(ctl_), 1);
    ctl_.setInBufferCount(123); // any write empties the input queue
    EXPECT_EQ(ctl_.inBufferCount(), 0);
}

TEST_F(ControlPort, InputCapsAtSixtyFiveThousand) {
    open();
    ctl_.setInputLen(0);
    std::string data(70000, 'q');
    std::thread writer([&] { pty_.writeAll(data, 10000); });
    ASSERT_TRUE(waitFor([&] { return waiting(ctl_) == 70000; }, 10000));
    writer.join();
    EXPECT_EQ(ctl_.inBufferCount(), 32767); // the 16-bit count saturates, never wraps
    EXPECT_EQ(ctl_.input().text().size(), 65000u);
    EXPECT_EQ(ctl_.input().text().size(), 5000u);
}

TEST_F(ControlPort, EightMegabytesReadSlowlyArriveIntact) {
    open("115200,N,8,1");
    ctl_.setInputMode(1);
    ctl_.setInputLen(0);
    constexpr size_t kSize = 8u << 20;
    std::vector<uint8_t> data(kSize);
    std::mt19937 rng(42);
    for (auto& b : data)
        b = static_cast<uint8_t>(rng());
    const std::string sent = scanner_sim::sha256Hex(data.data(), data.size());

    std::thread writer([&] { pty_.writeAll(data.data(), data.size(), 60000); });
    scanner_sim::Sha256 hash;
    size_t total = 0;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    while (total < kSize && std::chrono::steady_clock::now() < deadline) {
        EXPECT_LE(waiting(ctl_), SERIAL_INPUT_HARD_LIMIT);
        Variant v = ctl_.input();
        hash.update(v.byteArray().data(), v.byteArray().size());
        total += v.byteArray().size();
        // A slow reader: the library must hold back rather than drop.
        std::this_thread::sleep_for(std::chrono::microseconds(500));
    }
    writer.join();
    EXPECT_EQ(total, kSize);
    EXPECT_EQ(hash.finishHex(), sent);
}

TEST_F(ControlPort, BufferSizesClampAndApply) {
    ctl_.setInBufferSize(100);
    EXPECT_EQ(ctl_.inBufferSize(), 2048);
    ctl_.setInBufferSize(40000);
    EXPECT_EQ(ctl_.inBufferSize(), 32000);
    ctl_.setOutBufferSize(10);
    EXPECT_EQ(ctl_.outBufferSize(), 512);
    ctl_.setOutBufferSize(1536);
    EXPECT_EQ(ctl_.outBufferSize(), 1536);
    open();
    EXPECT_EQ(SerialBufferSize(ctl_.activeCommId(), SERIAL_DIR_INPUT), 32000);
    ctl_.setInBufferSize(4096);
    EXPECT_EQ(ctl_.inBufferSize(), 4096);
    EXPECT_EQ(SerialBufferSize(ctl_.activeCommId(), SERIAL_DIR_INPUT), 4096);
}

TEST_F(ControlPort, LineControlOnAPty) {
    ctl_.setHandshaking(3);
    open();
    EXPECT_EQ(SerialGetFlow(ctl_.activeCommId()), 0x90);
    EXPECT_EQ(ctl_.handshaking(), 3);
    ctl_.setHandshaking(0);
    EXPECT_EQ(ctl_.handshaking(), 0);

    ctl_.setDtrEnable(false);
    EXPECT_FALSE(ctl_.dtrEnable());
    EXPECT_TRUE(ctl_.rtsEnable());
    ctl_.setDtrEnable(true);
    EXPECT_TRUE(ctl_.dtrEnable());

    // A pty has no modem lines: they read as absent, never as errors; the link is
    // alive, so carrier counts as present.
    EXPECT_FALSE(ctl_.ctsHolding());
    EXPECT_FALSE(ctl_.dsrHolding());
    EXPECT_TRUE(ctl_.cdHolding());
    EXPECT_EQ(ctl_.comErrors(), 0);

    ctl_.setXonChar(u"A");
    ctl_.setXoffChar(u""); // nothing to take: unchanged
    EXPECT_EQ(ctl_.xonChar(), u"A");
    EXPECT_EQ(ctl_.xoffChar(), std::u16string(1, u'\x13'));
    SerialConfigRecord record{};
    ASSERT_EQ(SerialReadConfig(ctl_.activeCommId(), &record), SERIAL_OK);
    EXPECT_EQ(record.xonChar, 'A');
    EXPECT_EQ(record.xoffChar, 19);

    ctl_.setNullDiscard(true);
    ASSERT_TRUE(pty_.writeAll(std::string("a\0b\0", 4)));
    ctl_.setInputLen(0);
    ASSERT_TRUE(waitFor([&] { return waiting(ctl_) == 2; }));
    EXPECT_EQ(ctl_.input().text(), u"ab");
}

TEST_F(ControlPort, PortPresentStates) {
    EXPECT_EQ(ctl_.PortPresent(kPort), 1);
    open();
    EXPECT_EQ(ctl_.PortPresent(kPort), 2);
    map_.map(kPort + 2, "/dev/does-not-exist-ttyY");
    EXPECT_EQ(ctl_.PortPresent(kPort + 2), 0);
}

TEST_F(ControlPort, PulledDeviceNeitherCrashesNorHangs) {
    RecordingWindow window;
    ctl_.setNotificationWindow(&window);
    open();
    pty_.closeMaster();
    EXPECT_TRUE(waitFor([&] { return window.saw(5); })); // carrier change reported
    EXPECT_FALSE(ctl_.cdHolding());

    timespec before{}, after{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &before);
    // The window the CPU time is measured over, not a wait for a worker.
    std::this_thread::sleep_for(std::chrono::milliseconds(500));
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &after);
    const double cpuMs =
        (after.tv_sec - before.tv_sec) * 1e3 + (after.tv_nsec - before.tv_nsec) / 1e6;
    EXPECT_LT(cpuMs, 100.0) << "a hung-up descriptor must not make a loop spin";

    ctl_.setInputLen(0);
    EXPECT_EQ(ctl_.input().text(), u"");
    ctl_.setOutput(Variant::bstr(u"lost")); // returns, does not block
    ctl_.setPortOpen(false);

    // The device comes back (a new pty under the same port number): it opens again.
    PtyPair again;
    map_.map(kPort, again.slavePath());
    open();
    ctl_.setOutput(Variant::bstr(u"ok"));
    EXPECT_EQ(again.read(2, 3000), "ok");
    ctl_.setNotificationWindow(nullptr);
}

TEST_F(ControlPort, ReceiveEventsFollowTheThresholds) {
    RecordingWindow window;
    ctl_.setNotificationWindow(&window);
    ctl_.setRThreshold(10);
    open();
    ASSERT_TRUE(pty_.writeAll("12345"));
    ASSERT_TRUE(waitFor([&] { return waiting(ctl_) == 5; }));
    // Room for a wrong receive event to show: below the threshold none comes.
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    EXPECT_FALSE(window.saw(2));
    ASSERT_TRUE(pty_.writeAll("67890"));
    EXPECT_TRUE(waitFor([&] { return window.saw(2); }));

    ctl_.setInBufferCount(0);
    window.clear();
    ctl_.setRThreshold(0);
    ASSERT_TRUE(pty_.writeAll("more"));
    ASSERT_TRUE(waitFor([&] { return waiting(ctl_) == 4; }));
    // Room for a wrong receive event to show: a threshold of 0 posts none.
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    EXPECT_FALSE(window.saw(2));

    // More waiting than InBufferSize: overflow instead of receive.
    ctl_.setInBufferCount(0);
    ctl_.setRThreshold(1);
    window.clear();
    std::string big(3000, 'x');
    ASSERT_TRUE(pty_.writeAll(big));
    EXPECT_TRUE(waitFor([&] { return window.saw(1008); }));
    ctl_.setNotificationWindow(nullptr);
}

TEST_F(ControlPort, LoadingADesignWhileOpenKeepsTheOpenPort) {
    PtyPair other;
    map_.map(kPort + 3, other.slavePath());
    open();
    vort::component::TextPropertyBagReader bag("CommPort = " + std::to_string(kPort + 3) + "\n");
    ASSERT_EQ(ctl_.load(bag), vort::component::kOk);
    EXPECT_EQ(ctl_.commPort(), kPort + 3);
    EXPECT_EQ(ctl_.commId(), kPort + 2);
    ASSERT_TRUE(ctl_.portOpen());

    // The open device is still the one written, read and closed.
    ctl_.setOutput(Variant::bstr(u"still"));
    EXPECT_EQ(readMaster(5), "still");
    ASSERT_TRUE(pty_.writeAll("in"));
    ASSERT_TRUE(waitFor([&] { return ctl_.inBufferCount() == 2; }));
    ctl_.setInputLen(2);
    EXPECT_EQ(ctl_.input().text(), u"in");
    ctl_.setPortOpen(false);
    CVortCtrl next;
    next.setCommPort(kPort);
    EXPECT_EQ(raisedNumber([&] { next.setPortOpen(true); }), 0) << "the device was left open";
    EXPECT_TRUE(next.portOpen());
    next.setPortOpen(false);

    // The loaded port number takes effect at the next open.
    ctl_.setPortOpen(true);
    ctl_.setOutput(Variant::bstr(u"new"));
    EXPECT_EQ(other.read(3, 3000), "new");
}

// A power-cycled device: its path goes away while the port is open and comes back with
// a new device behind it. The host writes the same port and settings again (they
// parse, so they are taken), closes and opens, and reaches the device that is back.
TEST_F(ControlPort, SettingsWrittenAfterTheDeviceCameBackTakeEffectOnReopen) {
    const std::filesystem::path link = map_.configHome() + "/scanner";
    std::filesystem::create_symlink(pty_.slavePath(), link);
    map_.map(kPort, link.string());
    RecordingWindow window;
    ctl_.setNotificationWindow(&window);
    open();
    std::filesystem::remove(link);
    pty_.closeMaster();
    ASSERT_TRUE(waitFor([&] { return window.saw(5); }));
    PtyPair back;
    std::filesystem::create_symlink(back.slavePath(), link);

    EXPECT_EQ(raisedText([&] { ctl_.setCommPort(kPort); }), "");
    EXPECT_EQ(raisedText([&] { ctl_.setSettings(u"19200,O,8,1"); }), "");
    EXPECT_EQ(ctl_.settings(), u"19200,O,8,1");
    // A text that does not parse is still refused while the device is away.
    EXPECT_EQ(raisedNumber([&] { ctl_.setSettings(u"19200,X,8,1"); }), 380);
    ctl_.setPortOpen(false);
    ctl_.setPortOpen(true);
    ASSERT_TRUE(ctl_.portOpen());
    ctl_.setOutput(Variant::bstr(u"back"));
    EXPECT_EQ(back.read(4, 3000), "back");
    termios t{};
    ASSERT_EQ(tcgetattr(back.master(), &t), 0);
    EXPECT_EQ(cfgetospeed(&t), B19200);
    ctl_.setNotificationWindow(nullptr);
}

// A text stored while closed that the open port cannot hold (baud 0): a CommPort write
// re-checks it and refuses it, and reading Settings replaces it with the default on
// the line too.
TEST_F(ControlPort, SettingsThatDoNotHoldOnTheOpenPortAreReplacedWhenRead) {
    ctl_.setSettings(u"0,N,8,1"); // closed: the baud is not checked
    EXPECT_EQ(ctl_.settings(), u"0,N,8,1");
    ctl_.setPortOpen(true);
    ASSERT_TRUE(ctl_.portOpen());
    EXPECT_EQ(raisedNumber([&] { ctl_.setCommPort(kPort); }), 380);
    EXPECT_EQ(ctl_.settings(), u"57600,N,8,1");
    termios t{};
    ASSERT_EQ(tcgetattr(pty_.master(), &t), 0);
    EXPECT_EQ(cfgetospeed(&t), B57600);
    EXPECT_EQ(ctl_.settings(), u"57600,N,8,1");
    // A text that holds is read back as it is.
    ctl_.setSettings(u"9600,E,7,1");
    EXPECT_EQ(ctl_.settings(), u"9600,E,7,1");
    ASSERT_EQ(tcgetattr(pty_.master(), &t), 0);
    EXPECT_EQ(cfgetospeed(&t), B9600);
}
