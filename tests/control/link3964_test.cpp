// The control's 3964 link (Protocol 7) over real pseudo-terminals: two controls, one
// master and one not, on two pty pairs joined by a relay that can corrupt a byte.
#include <gtest/gtest.h>

#include <QApplication>
#include <algorithm>
#include <atomic>
#include <chrono>
#include <mutex>
#include <numeric>
#include <poll.h>
#include <random>
#include <thread>
#include <unistd.h>

#include "control/object/vort_ctrl.h"
#include "recording_window.h"
#include "serilon/serilon.h"
#include "support/pty_pair.h"
#include "support/scripted_dialogs.h"
#include "support/wait.h"

using namespace vort;
using component::Variant;
using Bytes = std::vector<uint8_t>;

namespace {

using Recorder = vort::test::RecordingWindow;

// Copies bytes between the two masters both ways; corrupts the n-th byte going from
// A to B when asked.
class Relay {
public:
    Relay(int a, int b) : a_(a), b_(b), thread_([this] { run(); }) {}
    ~Relay() {
        stop_ = true;
        thread_.join();
    }
    void corruptByteNumber(long n) { corruptAt_ = n; }
    bool corrupted() const { return done_; }

private:
    void run() {
        char buf[4096];
        long forwardedAtoB = 0;
        while (!stop_) {
            pollfd p[2] = {{a_, POLLIN, 0}, {b_, POLLIN, 0}};
            if (::poll(p, 2, 20) <= 0)
                continue;
            for (int i = 0; i < 2; ++i) {
                if (!(p[i].revents & POLLIN))
                    continue;
                const ssize_t n = ::read(p[i].fd, buf, sizeof buf);
                if (n <= 0)
                    continue;
                if (i == 0 && corruptAt_ >= 0 && !done_ && corruptAt_ < forwardedAtoB + n) {
                    buf[corruptAt_ - forwardedAtoB] ^= 0x5A;
                    done_ = true;
                }
                if (i == 0)
                    forwardedAtoB += n;
                for (ssize_t off = 0; off < n;) {
                    const ssize_t w =
                        ::write(i == 0 ? b_ : a_, buf + off, static_cast<size_t>(n - off));
                    if (w > 0)
                        off += w;
                    else if (stop_)
                        return;
                }
            }
        }
    }
    int a_, b_;
    std::atomic<bool> stop_{false};
    std::atomic<long> corruptAt_{-1};
    std::atomic<bool> done_{false};
    std::thread thread_;
};

class Link3964Pair : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        static int argc = 1;
        static char name[] = "link3964_test";
        static char* argv[] = {name, nullptr};
        if (!QCoreApplication::instance())
            new QApplication(argc, argv);
    }
    void SetUp() override {
        map_.map(21, ptyA_.slavePath());
        map_.map(22, ptyB_.slavePath());
        for (auto* c : {&a_, &b_}) {
            c->setNotificationWindow(c == &a_ ? &recA_ : &recB_);
            c->setSettings(u"115200,N,8,1");
            c->setProtocol(kProtocol3964);
        }
        a_.setCommPort(21);
        b_.setCommPort(22);
    }
    void openBoth() {
        a_.setPortOpen(true);
        b_.setPortOpen(true);
        a_.setS3964Master(true);
        ASSERT_EQ(a_.protocol(), kProtocol3964);
        ASSERT_EQ(b_.protocol(), kProtocol3964);
    }
    void TearDown() override {
        a_.setPortOpen(false);
        b_.setPortOpen(false);
        a_.setNotificationWindow(nullptr);
        b_.setNotificationWindow(nullptr);
    }

    test::PtyPair ptyA_, ptyB_;
    test::ScopedPortMap map_;
    Relay relay_{ptyA_.master(), ptyB_.master()};
    Recorder recA_, recB_;
    CVortCtrl a_, b_;
};

Bytes randomTelegram(std::mt19937& rng) {
    Bytes t(1 + rng() % 1024 + 1); // flag byte + 1..1024 data bytes
    t[0] = rng() % 2;
    for (size_t i = 1; i < t.size(); ++i)
        t[i] = static_cast<uint8_t>(rng());
    return t;
}

using vort::test::waitFor;

} // namespace

TEST_F(Link3964Pair, TenThousandTelegramsEachWayArriveOnceInOrderIntact) {
    openBoth();
    constexpr int kCount = 10000;
    std::mt19937 rng(3964);
    std::vector<Bytes> toB, toA;
    for (int i = 0; i < kCount; ++i)
        toB.push_back(randomTelegram(rng));
    for (int i = 0; i < kCount; ++i)
        toA.push_back(randomTelegram(rng));

    size_t sentA = 0, sentB = 0, gotA = 0, gotB = 0;
    bool intact = true;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(150);
    while ((gotA < toA.size() || gotB < toB.size()) &&
           std::chrono::steady_clock::now() < deadline) {
        // Keep a window of telegrams queued on each side, as a host feeding the link.
        while (sentA < toB.size() && a_.outBufferCount() < 50)
            a_.setOutput(Variant::bytes(toB[sentA++]));
        while (sentB < toA.size() && b_.outBufferCount() < 50)
            b_.setOutput(Variant::bytes(toA[sentB++]));
        bool any = false;
        for (Variant v = b_.input(); v.isBytes(); v = b_.input(), any = true)
            intact = intact && gotB < toB.size() && v.byteArray() == toB[gotB++];
        for (Variant v = a_.input(); v.isBytes(); v = a_.input(), any = true)
            intact = intact && gotA < toA.size() && v.byteArray() == toA[gotA++];
        if (!any) // nothing arrived: the links' threads get the processor before the next look
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    EXPECT_EQ(gotB, toB.size());
    EXPECT_EQ(gotA, toA.size());
    EXPECT_TRUE(intact);
    EXPECT_EQ(recA_.count(2000) + recB_.count(2000), 0);
}

TEST_F(Link3964Pair, LongTelegramsWithTheDefaultOutBufferSizeNeverFillTheOutputQueue) {
    openBoth();
    ASSERT_EQ(a_.outBufferSize(), 1536);
    // Each telegram is longer than the output queue, so the link has to feed it in
    // as the line takes it; the queue must never report full (event 1010).
    std::mt19937 rng(1010);
    std::vector<Bytes> sent;
    for (int i = 0; i < 20; ++i) {
        Bytes t(1 + 3000 + rng() % 1000);
        t[0] = 0;
        for (size_t k = 1; k < t.size(); ++k)
            t[k] = static_cast<uint8_t>(rng());
        a_.setOutput(Variant::bytes(t));
        sent.push_back(std::move(t));
    }
    std::vector<Bytes> got;
    ASSERT_TRUE(waitFor(
        [&] {
            for (Variant v = b_.input(); v.isBytes(); v = b_.input())
                got.push_back(v.byteArray());
            return got.size() >= sent.size();
        },
        60000));
    EXPECT_EQ(got, sent);
    EXPECT_TRUE(waitFor([&] { return recA_.count(1) == 20; }, 10000));
    EXPECT_EQ(recA_.count(1010), 0);
    EXPECT_EQ(recA_.count(2000), 0);
}

TEST_F(Link3964Pair, CorruptedTelegramIsRepeatedAndDeliveredIntact) {
    openBoth();
    Bytes telegram(200);
    std::iota(telegram.begin() + 1, telegram.end(), 1);
    relay_.corruptByteNumber(50); // inside the data of the first block
    a_.setOutput(Variant::bytes(telegram));
    ASSERT_TRUE(waitFor([&] { return b_.inBufferCount() == 1; }, 10000));
    EXPECT_TRUE(relay_.corrupted());
    EXPECT_EQ(b_.input().byteArray(), telegram);
    // The sender has its acknowledgement: the exchange of this telegram is over.
    ASSERT_TRUE(waitFor([&] { return recA_.count(1) >= 1; }, 10000));
    EXPECT_EQ(b_.inBufferCount(), 0); // delivered once
    EXPECT_EQ(recA_.count(1), 1);     // sent once, as far as the sender knows
    // A second telegram behind it: the line keeps the order, so a repeat of the first
    // delivered or reported again would come before this one does.
    const Bytes next{0x00, 0x7E};
    a_.setOutput(Variant::bytes(next));
    ASSERT_TRUE(waitFor([&] { return b_.inBufferCount() >= 1 && recA_.count(1) >= 2; }, 10000));
    EXPECT_EQ(b_.input().byteArray(), next);
    EXPECT_EQ(b_.inBufferCount(), 0);
    EXPECT_EQ(recA_.count(1), 2);
}

TEST_F(Link3964Pair, FlagByteAndTelegramCounts) {
    openBoth();
    b_.setOutput(Variant::bytes({0x00, 0x41, 0x42}));
    b_.setOutput(Variant::bytes({0x01, 0x43}));
    EXPECT_EQ(b_.ComOutput(0, u"\x01XYZ", 3), 3); // the flag and two bytes
    ASSERT_TRUE(waitFor([&] { return a_.inBufferCount() == 3; }, 10000));
    EXPECT_EQ(a_.input().byteArray(), (Bytes{0x00, 0x41, 0x42}));
    EXPECT_EQ(a_.input().byteArray(), (Bytes{0x01, 0x43}));
    EXPECT_EQ(a_.inBufferCount(), 1); // counts telegrams, not bytes
    a_.setInBufferCount(0);           // any write empties the list
    EXPECT_EQ(a_.inBufferCount(), 0);
    EXPECT_TRUE(a_.input().isEmpty());
}

TEST_F(Link3964Pair, UnreadTelegramIsAnnouncedAgainUpToTenTimes) {
    openBoth();
    b_.setOutput(Variant::bytes({0x00, 0x55}));
    ASSERT_TRUE(waitFor([&] { return a_.inBufferCount() == 1; }, 5000));
    ASSERT_TRUE(waitFor([&] { return recA_.count(2) >= 3; }, 2500)); // every ~500 ms
    // One telegram waiting: announced once, then again at most 10 times.
    ASSERT_TRUE(waitFor([&] { return recA_.count(2) >= 11; }, 15000));
    // Two announcement periods with none: the announcing has stopped.
    std::this_thread::sleep_for(std::chrono::milliseconds(1200));
    EXPECT_EQ(recA_.count(2), 11);
}

TEST_F(Link3964Pair, TelegramNobodyTakesIsDroppedAfterTheRetries) {
    // Only A runs the procedure: B's side of the line is silent.
    a_.setPortOpen(true);
    a_.setS3964Tq(50);
    a_.setS3964Retry(3);
    a_.setOutput(Variant::bytes({0x00, 0x01, 0x02}));
    EXPECT_TRUE(waitFor([&] { return recA_.count(2000) == 1; }, 15000));
    EXPECT_EQ(a_.outBufferCount(), 0);
    EXPECT_EQ(recA_.count(1), 0);
}

TEST_F(Link3964Pair, MissingLibraryLeavesTheProtocolAndFallsBackAtOpen) {
    test::ScriptedDialogs dialogs;
    setenv("VORT_LINK3964", "/nonexistent/liblink3964.so", 1);
    b_.setProtocol(kProtocolZmodemSave);
    b_.setPortOpen(true);
    dialogs.answer(dialogs::Answer::Ok,
                   QString("3964 Protocol could not be loaded ! Check for  LINK3964.DLL"));
    b_.setProtocol(kProtocol3964);
    EXPECT_EQ(b_.protocol(), kProtocolZmodemSave);
    b_.setPortOpen(false);

    // Stored as 7 while closed, then opened: the open ends with Protocol 5.
    b_.setProtocol(kProtocol3964);
    EXPECT_EQ(b_.protocol(), kProtocol3964);
    dialogs.answer(dialogs::Answer::Ok);
    b_.setPortOpen(true);
    EXPECT_TRUE(b_.portOpen());
    EXPECT_EQ(b_.protocol(), kProtocolZmodem);
    EXPECT_TRUE(dialogs.exhausted());
    unsetenv("VORT_LINK3964");
}

TEST_F(Link3964Pair, OldLibraryIsRefused) {
    test::ScriptedDialogs dialogs;
    const std::string old = std::string(std::getenv("VORT_BUILD_OUT")) + "/libfake_link3964_old.so";
    setenv("VORT_LINK3964", old.c_str(), 1);
    b_.setProtocol(kProtocolZmodemSave);
    b_.setPortOpen(true);
    dialogs.answer(
        dialogs::Answer::Ok,
        QString("3964 Protocol could not be loaded ! Need version 1.84 or higher of LINK3964.DLL"));
    b_.setProtocol(kProtocol3964);
    EXPECT_EQ(b_.protocol(), kProtocolZmodemSave);
    EXPECT_TRUE(dialogs.exhausted());
    unsetenv("VORT_LINK3964");
}
