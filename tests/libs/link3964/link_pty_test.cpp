#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <functional>
#include <future>
#include <random>
#include <thread>

#include "libs/link3964/control_chars.h"
#include "libs/link3964/file_records.h"
#include "serilon/serilon.h"
#include "support/wait.h"
#include "tests/libs/link3964/link_over_pty.h"

namespace link3964 {
namespace {

namespace fs = std::filesystem;
using Bytes = std::vector<std::uint8_t>;
using testing::LinkOverPty;
using Clock = std::chrono::steady_clock;

long long msSince(Clock::time_point t) {
    return std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - t).count();
}

// Waits until a call on id runs in another thread: a receive that does not wait is
// then refused with LINK3964_BUSY. The probe itself holds id for a moment, so the
// other thread repeats its call while it is refused (see untilNotBusy).
bool callRunsOn(testing::LinkApi& api, std::int32_t id) {
    return vort::test::waitFor(
        [&] {
            Bytes buf(16);
            std::uint16_t len = 16;
            std::int32_t status = 0;
            api.rx(id, buf.data(), &len, &status, 0, nullptr, 1);
            return status == LINK3964_BUSY;
        },
        10000);
}

// Repeats call() while another call holds the comm id; returns its status.
std::int32_t untilNotBusy(const std::function<std::int32_t()>& call) {
    std::int32_t status = LINK3964_BUSY;
    while (status == LINK3964_BUSY)
        status = call();
    return status;
}

// The telegram number i of a stream: random length 1..1024, random bytes with many
// control characters, and a flag.
struct Telegram {
    Bytes data;
    bool flag;
};

Telegram makeTelegram(std::uint32_t seed, int i) {
    std::mt19937 rng(seed * 100'003u + static_cast<std::uint32_t>(i));
    Telegram t;
    t.data.resize(std::uniform_int_distribution<std::size_t>(1, 1024)(rng));
    const std::uint8_t specials[] = {kStx, kEtx, kDle, kNak, kEtb};
    for (auto& b : t.data) {
        std::uint32_t r = rng();
        b = (r & 7) == 0 ? specials[(r >> 3) % 5] : static_cast<std::uint8_t>(r >> 8);
    }
    t.flag = (rng() & 1) != 0;
    return t;
}

// One end as the control's worker drives it: receive when bytes wait (2000 ms wait
// argument, the buffer growing on -9002), otherwise send the next telegram; a send
// that yields (-9004) is followed by a receive and repeated later.
struct EndResult {
    int sent = 0, received = 0, mismatches = 0, conflicts = 0, sendFailures = 0;
    std::string firstProblem;
};

EndResult runEnd(testing::LinkApi& api, std::int32_t id, std::uint32_t mySeed,
                 std::uint32_t peerSeed, int count, bool master, Clock::time_point giveUp) {
    EndResult res;
    std::vector<std::uint8_t> buffer(4096);
    auto receiveOne = [&] {
        std::uint16_t length = static_cast<std::uint16_t>(buffer.size());
        std::int32_t status = 0;
        std::uint8_t flag = 0xEE;
        if (api.rx(id, buffer.data(), &length, &status, 2000, &flag, 1)) {
            Telegram want = makeTelegram(peerSeed, res.received);
            if (Bytes(buffer.begin(), buffer.begin() + length) != want.data ||
                flag != (want.flag ? 1 : 0)) {
                if (res.mismatches++ == 0)
                    res.firstProblem = "telegram " + std::to_string(res.received) + " differs";
            }
            ++res.received;
        } else if (status == LINK3964_BUFFER_TOO_SMALL) {
            buffer.resize(std::min<std::size_t>(buffer.size() * 2, 32000));
        }
    };
    while ((res.sent < count || res.received < count) && Clock::now() < giveUp) {
        if (SerialQueueCount(id, SERIAL_DIR_INPUT) > 0) {
            receiveOne();
            continue;
        }
        if (res.sent < count) {
            Telegram t = makeTelegram(mySeed, res.sent);
            std::int32_t status = 0;
            if (api.tx(id, t.data.data(), static_cast<std::uint16_t>(t.data.size()), &status,
                       t.flag ? 1 : 0, 1, master ? 1 : 0)) {
                ++res.sent;
            } else if (status == LINK3964_PARTNER_SENDS) {
                ++res.conflicts;
                receiveOne();
            } else {
                if (res.sendFailures++ == 0)
                    res.firstProblem = "send failed with " + std::to_string(status);
            }
            continue;
        }
        SerialWaitQueue(id, SERIAL_DIR_INPUT, 0, 50);
    }
    return res;
}

class LinkPty : public ::testing::Test {
protected:
    void SetUp() override {
        link = std::make_unique<LinkOverPty>();
        for (std::int32_t id : {LinkOverPty::kCommA, LinkOverPty::kCommB}) {
            ASSERT_EQ(link->api.setTqTz(id, 2000, 220), LINK3964_OK);
            ASSERT_EQ(link->api.setMz1Mz2(id, 6, 6), LINK3964_OK);
        }
    }
    std::unique_ptr<LinkOverPty> link;
    const std::int32_t a = LinkOverPty::kCommA;
    const std::int32_t b = LinkOverPty::kCommB;
};

TEST_F(LinkPty, TenThousandTelegramsBothWaysAtOnce) {
    constexpr int kCount = 10'000;
    auto giveUp = Clock::now() + std::chrono::seconds(400);
    auto endA = std::async(std::launch::async,
                           [&] { return runEnd(link->api, a, 1, 2, kCount, true, giveUp); });
    EndResult rb = runEnd(link->api, b, 2, 1, kCount, false, giveUp);
    EndResult ra = endA.get();
    for (const EndResult* r : {&ra, &rb}) {
        EXPECT_EQ(r->sent, kCount);
        EXPECT_EQ(r->received, kCount);
        EXPECT_EQ(r->mismatches, 0) << r->firstProblem;
        EXPECT_EQ(r->sendFailures, 0) << r->firstProblem;
    }
    EXPECT_EQ(ra.conflicts, 0) << "the master never yields";
    std::printf("conflicts resolved by the low-priority side: %d\n", rb.conflicts);
}

TEST_F(LinkPty, TwoLowPrioritySidesResolveTheirCollisions) {
    // Misconfigured but common: neither side is master. Collisions then cost a few
    // character delay times each; nothing may be lost, doubled or reordered.
    constexpr int kCount = 300;
    for (std::int32_t id : {a, b})
        link->api.setTqTz(id, 500, 20);
    auto giveUp = Clock::now() + std::chrono::seconds(120);
    auto endA = std::async(std::launch::async,
                           [&] { return runEnd(link->api, a, 3, 4, kCount, false, giveUp); });
    EndResult rb = runEnd(link->api, b, 4, 3, kCount, false, giveUp);
    EndResult ra = endA.get();
    for (const EndResult* r : {&ra, &rb}) {
        EXPECT_EQ(r->sent, kCount);
        EXPECT_EQ(r->received, kCount);
        EXPECT_EQ(r->mismatches, 0) << r->firstProblem;
    }
    std::printf("yields: %d and %d\n", ra.conflicts, rb.conflicts);
}

TEST_F(LinkPty, ByteFlippedOnTheLineIsRepeatedAndDeliveredIntact) {
    Bytes telegram(300);
    for (std::size_t i = 0; i < telegram.size(); ++i)
        telegram[i] = static_cast<std::uint8_t>(i * 13);
    int flipped = 0;
    // A->B carries STX (index 0), then the block: flip a byte inside the first block.
    link->relay->setFilterAtoB([&](std::size_t index, std::uint8_t& byte) {
        if (index == 150 && flipped++ == 0)
            byte ^= 0x08;
    });
    std::int32_t txStatus = 1;
    auto sender = std::async(std::launch::async, [&] {
        return link->api.tx(a, telegram.data(), static_cast<std::uint16_t>(telegram.size()),
                            &txStatus, 0, 1, 1);
    });
    std::vector<std::int32_t> statuses;
    Bytes got;
    for (int i = 0; i < 5 && got.empty(); ++i) {
        Bytes buf(1024);
        std::uint16_t len = static_cast<std::uint16_t>(buf.size());
        std::int32_t status = 0;
        std::uint8_t flag = 0;
        if (link->api.rx(b, buf.data(), &len, &status, 3000, &flag, 1))
            got.assign(buf.begin(), buf.begin() + len);
        statuses.push_back(status);
    }
    EXPECT_EQ(sender.get(), 1) << "status " << txStatus;
    EXPECT_EQ(flipped, 1);
    EXPECT_EQ(got, telegram);
    ASSERT_EQ(statuses.size(), 2u);
    EXPECT_EQ(statuses[0], LINK3964_BCC_ERROR);
    EXPECT_EQ(statuses[1], LINK3964_OK);
    // Nothing else follows: the telegram came exactly once.
    Bytes buf(1024);
    std::uint16_t len = static_cast<std::uint16_t>(buf.size());
    std::int32_t status = 0;
    EXPECT_EQ(link->api.rx(b, buf.data(), &len, &status, 300, nullptr, 1), 0);
    EXPECT_EQ(status, LINK3964_NOTHING_RECEIVED);
}

TEST_F(LinkPty, TooSmallBufferKeepsTheTelegramWithTheSender) {
    Bytes telegram(5000, 0x5A);
    std::int32_t txStatus = 1;
    auto sender = std::async(std::launch::async, [&] {
        return link->api.tx(a, telegram.data(), static_cast<std::uint16_t>(telegram.size()),
                            &txStatus, 1, 1, 0);
    });
    Bytes buf(4096);
    std::uint16_t len = static_cast<std::uint16_t>(buf.size());
    std::int32_t status = 0;
    std::uint8_t flag = 0;
    EXPECT_EQ(link->api.rx(b, buf.data(), &len, &status, 3000, &flag, 1), 0);
    EXPECT_EQ(status, LINK3964_BUFFER_TOO_SMALL);
    EXPECT_EQ(len, 5000);
    buf.resize(8192);
    len = static_cast<std::uint16_t>(buf.size());
    EXPECT_EQ(link->api.rx(b, buf.data(), &len, &status, 3000, &flag, 1), 1) << status;
    EXPECT_EQ(Bytes(buf.begin(), buf.begin() + len), telegram);
    EXPECT_EQ(flag, 1);
    EXPECT_EQ(sender.get(), 1) << txStatus;
}

TEST_F(LinkPty, BlockLongerThanTheOutputQueueNeverFillsIt) {
    // A small output queue and a line that stalls inside the block: the device, then
    // the queue fill up. The link may top the queue up to one byte below its size but
    // never to the size, where the serial core reports it full.
    constexpr std::int32_t kQueue = 256;
    ASSERT_EQ(SerialSetBuffers(a, SerialBufferSize(a, SERIAL_DIR_INPUT), kQueue), SERIAL_OK);
    link->api.setTqTz(b, 2000, 30000); // B waits out the stall instead of answering NAK
    // Mostly DLE, doubled on the line: about 112 KB, more than a pty holds in flight.
    Bytes telegram(60000, kDle);
    for (std::size_t i = 0; i < telegram.size(); i += 8)
        telegram[i] = static_cast<std::uint8_t>(i / 8);
    std::promise<void> release;
    std::shared_future<void> released = release.get_future().share();
    link->relay->setFilterAtoB([released](std::size_t index, std::uint8_t&) {
        if (index == 1) // the block's first byte
            released.wait_for(std::chrono::seconds(30));
    });
    std::int32_t txStatus = 1;
    auto sender = std::async(std::launch::async, [&] {
        return link->api.tx(a, telegram.data(), static_cast<std::uint16_t>(telegram.size()),
                            &txStatus, 0, 1, 1);
    });
    Bytes got(65535);
    std::int32_t rxStatus = 1;
    auto receiver = std::async(std::launch::async, [&] {
        std::uint16_t len = static_cast<std::uint16_t>(got.size());
        bool ok = link->api.rx(b, got.data(), &len, &rxStatus, 10000, nullptr, 1) != 0;
        got.resize(len);
        return ok;
    });

    // Wait until the queue stands still at its highest (the device is full), noting
    // whether it ever reported full on the way.
    const auto giveUp = Clock::now() + std::chrono::seconds(30);
    bool sawFull = false;
    std::int32_t count = 0;
    while (Clock::now() < giveUp) {
        count = SerialQueueCount(a, SERIAL_DIR_OUTPUT);
        sawFull = sawFull || SerialQueueFull(a, SERIAL_DIR_OUTPUT) != 0;
        if (count >= kQueue - 1 && SerialWaitQueue(a, SERIAL_DIR_OUTPUT, count, 300) == count)
            break;
        SerialWaitQueue(a, SERIAL_DIR_OUTPUT, count, 20);
    }
    EXPECT_EQ(count, kQueue - 1);
    EXPECT_FALSE(sawFull || SerialQueueFull(a, SERIAL_DIR_OUTPUT) != 0);

    release.set_value();
    EXPECT_EQ(sender.get(), 1) << txStatus;
    EXPECT_TRUE(receiver.get()) << rxStatus;
    EXPECT_EQ(got, telegram);
}

// Time-outs with real time, kept short and together.
TEST_F(LinkPty, TimeoutsRetriesAndArguments) {
    link->api.setTqTz(a, 150, 50);
    link->api.setMz1Mz2(a, 3, 3);
    link->api.setTqTz(b, 150, 50);
    std::int32_t status = 0;
    std::uint8_t one = 1;

    // Nobody answers: MZ1 connection attempts, TQ apart.
    auto t0 = Clock::now();
    EXPECT_EQ(link->api.tx(a, &one, 1, &status, 0, 1, 1), 0);
    long long took = msSince(t0);
    EXPECT_EQ(status, LINK3964_NO_CONNECTION);
    EXPECT_GE(took, 3 * 150 - 10);
    EXPECT_LT(took, 3 * 150 + 400);
    // B's queue now holds three STX: a receive answers one and then times out on TZ.
    Bytes buf(16);
    std::uint16_t len = static_cast<std::uint16_t>(buf.size());
    EXPECT_EQ(link->api.rx(b, buf.data(), &len, &status, 0, nullptr, 1), 0);
    EXPECT_TRUE(status == LINK3964_CHARACTER_TIMEOUT || status == LINK3964_FRAME_ERROR ||
                status == LINK3964_BCC_ERROR)
        << status;
    // B's NAK reaches A.
    EXPECT_TRUE(vort::test::waitFor(
        [&] {
            std::uint8_t c = 0;
            std::uint16_t got = 0;
            while (SerialRead(a, &c, 1, &got) == SERIAL_OK && got == 1)
                if (c == kNak)
                    return true;
            return false;
        },
        5000));
    SerialFlushQueue(a, SERIAL_DIR_INPUT);
    SerialFlushQueue(b, SERIAL_DIR_INPUT);

    // Nothing arrives: the wait argument bounds the receive.
    t0 = Clock::now();
    len = static_cast<std::uint16_t>(buf.size());
    EXPECT_EQ(link->api.rx(b, buf.data(), &len, &status, 300, nullptr, 1), 0);
    took = msSince(t0);
    EXPECT_EQ(status, LINK3964_NOTHING_RECEIVED);
    EXPECT_GE(took, 290);
    EXPECT_LT(took, 700);

    // A concurrent call on the same comm id is refused at once. The waiting receive
    // starts again until a refusal was seen, so a slow start cannot end it unseen.
    std::atomic<bool> refused{false};
    auto waiting = std::async(std::launch::async, [&] {
        std::int32_t s = 0;
        do {
            s = untilNotBusy([&] {
                std::uint16_t l = 16;
                std::int32_t st = 0;
                Bytes b2(16);
                link->api.rx(b, b2.data(), &l, &st, 500, nullptr, 1);
                return st;
            });
        } while (s == LINK3964_NOTHING_RECEIVED && !refused.load());
        return s;
    });
    EXPECT_TRUE(callRunsOn(link->api, b));
    refused = true;
    EXPECT_EQ(waiting.get(), LINK3964_NOTHING_RECEIVED);

    // Arguments.
    EXPECT_GE(link->api.version(), 0x154);
    EXPECT_EQ(link->api.setTqTz(255, 1, 1), LINK3964_BAD_ARGUMENT);
    EXPECT_EQ(link->api.setMz1Mz2(-1, 1, 1), LINK3964_BAD_ARGUMENT);
    EXPECT_EQ(link->api.tx(a, nullptr, 5, &status, 0, 1, 1), 0);
    EXPECT_EQ(status, LINK3964_BAD_ARGUMENT);
    EXPECT_EQ(link->api.rx(a, buf.data(), nullptr, &status, 0, nullptr, 1), 0);
    EXPECT_EQ(status, LINK3964_BAD_ARGUMENT);
    EXPECT_EQ(link->api.tx(7, &one, 1, &status, 0, 1, 1), 0) << "comm id 7 is not open";
    EXPECT_EQ(status, LINK3964_PORT_ERROR);
    EXPECT_EQ(link->api.txFile(a, nullptr, &status), 0);
    EXPECT_EQ(status, LINK3964_BAD_ARGUMENT);

    // The device hangs up while a receive waits: the call ends promptly.
    auto hung = std::async(std::launch::async, [&] {
        std::uint16_t l = 16;
        std::int32_t s = 0;
        Bytes b2(16);
        Clock::time_point t;
        untilNotBusy([&] {
            t = Clock::now();
            link->api.rx(a, b2.data(), &l, &s, 5000, nullptr, 1);
            return s;
        });
        return std::make_pair(s, msSince(t));
    });
    ASSERT_TRUE(callRunsOn(link->api, a)); // the receive waits
    link->relay->stop();
    link->ptyA.closeMaster();
    auto [hungStatus, hungMs] = hung.get();
    EXPECT_EQ(hungStatus, LINK3964_PORT_ERROR);
    EXPECT_LT(hungMs, 1500);
}

class LinkPtyFiles : public LinkPty {
protected:
    void SetUp() override {
        LinkPty::SetUp();
        dir = fs::temp_directory_path() / ("link3964-" + std::to_string(::getpid()));
        fs::remove_all(dir);
        fs::create_directories(dir / "in");
        fs::create_directories(dir / "out");
    }
    void TearDown() override { fs::remove_all(dir); }
    fs::path dir;
};

Bytes readFile(const fs::path& p) {
    std::ifstream in(p, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(in), {});
}

TEST_F(LinkPtyFiles, FileArrivesByteIdenticalUnderItsOwnName) {
    Bytes content(300'001);
    std::mt19937 rng(5);
    for (auto& c : content)
        c = static_cast<std::uint8_t>(rng() % 3 == 0 ? kDle : rng());
    fs::path source = dir / "out" / "image.bin";
    std::ofstream(source, std::ios::binary)
        .write(reinterpret_cast<const char*>(content.data()),
               static_cast<std::streamsize>(content.size()));

    std::int32_t rxStatus = 1;
    std::string target = (dir / "in").string() + "/,suffix ignored";
    auto receiver = std::async(std::launch::async,
                               [&] { return link->api.rxFile(b, target.c_str(), &rxStatus); });
    std::int32_t txStatus = 1;
    // The control hands over Windows-style paths and an option suffix.
    std::string sent = source.string();
    std::replace(sent.begin(), sent.end(), '/', '\\');
    sent += ",opts";
    EXPECT_EQ(link->api.txFile(a, sent.c_str(), &txStatus), 1) << txStatus;
    EXPECT_EQ(receiver.get(), 1) << rxStatus;
    EXPECT_EQ(readFile(dir / "in" / "image.bin"), content);
    EXPECT_FALSE(fs::exists(dir / "in" / "image.bin.part"));

    // Sent again to an explicit path: the file there is replaced.
    fs::path explicitTarget = dir / "in" / "renamed.dat";
    std::string explicitName = explicitTarget.string();
    receiver = std::async(std::launch::async,
                          [&] { return link->api.rxFile(b, explicitName.c_str(), &rxStatus); });
    EXPECT_EQ(link->api.txFile(a, source.c_str(), &txStatus), 1) << txStatus;
    EXPECT_EQ(receiver.get(), 1) << rxStatus;
    EXPECT_EQ(readFile(explicitTarget), content);
}

TEST_F(LinkPtyFiles, EmptyFileAndMissingFile) {
    fs::path empty = dir / "out" / "empty";
    std::ofstream(empty).close();
    std::int32_t rxStatus = 1, txStatus = 1;
    std::string target = (dir / "in").string();
    auto receiver = std::async(std::launch::async,
                               [&] { return link->api.rxFile(b, target.c_str(), &rxStatus); });
    EXPECT_EQ(link->api.txFile(a, empty.c_str(), &txStatus), 1) << txStatus;
    EXPECT_EQ(receiver.get(), 1) << rxStatus;
    EXPECT_TRUE(fs::exists(dir / "in" / "empty"));
    EXPECT_EQ(fs::file_size(dir / "in" / "empty"), 0u);

    EXPECT_EQ(link->api.txFile(a, (dir / "out" / "nope").c_str(), &txStatus), 0);
    EXPECT_EQ(txStatus, LINK3964_FILE_ERROR);
    EXPECT_EQ(link->api.txFile(a, (dir / "out").c_str(), &txStatus), 0) << "a directory";
    EXPECT_EQ(txStatus, LINK3964_FILE_ERROR);
}

TEST_F(LinkPtyFiles, HostileNamesAndBrokenFilesAreRefused) {
    link->api.setTqTz(a, 300, 50);
    link->api.setMz1Mz2(a, 2, 2);
    link->api.setTqTz(b, 300, 50);
    link->api.setMz1Mz2(b, 2, 2);
    std::string target = (dir / "in").string() + "/";
    for (const char* hostile : {"..", "../escape", "/abs/.."}) {
        std::int32_t rxStatus = 1, txStatus = 1;
        auto receiver = std::async(std::launch::async,
                                   [&] { return link->api.rxFile(b, target.c_str(), &rxStatus); });
        Bytes name = encodeNameRecord(4, hostile);
        std::uint8_t ok = link->api.tx(a, name.data(), static_cast<std::uint16_t>(name.size()),
                                       &txStatus, 1, 1, 1);
        if (std::string(hostile) == "../escape") {
            // Confined to its last component: accepted as "escape" inside the target.
            EXPECT_EQ(ok, 1) << txStatus;
            Bytes data = encodeDataRecord(0, Bytes{'a', 'b', 'c', 'd'});
            Bytes end = encodeEndRecord(4, 0xFFFFFFFFu); // a wrong CRC
            EXPECT_EQ(link->api.tx(a, data.data(), static_cast<std::uint16_t>(data.size()),
                                   &txStatus, 1, 1, 1),
                      1);
            EXPECT_EQ(link->api.tx(a, end.data(), static_cast<std::uint16_t>(end.size()), &txStatus,
                                   0, 1, 1),
                      0);
            EXPECT_EQ(txStatus, LINK3964_NOT_ACKNOWLEDGED);
        } else {
            EXPECT_EQ(ok, 0);
            EXPECT_EQ(txStatus, LINK3964_NOT_ACKNOWLEDGED);
        }
        EXPECT_EQ(receiver.get(), 0);
        EXPECT_EQ(rxStatus, LINK3964_FILE_PROTOCOL_ERROR) << hostile;
    }
    EXPECT_TRUE(fs::is_empty(dir / "in")) << "nothing kept, no partial file";
    EXPECT_FALSE(fs::exists(dir / "escape"));
}

} // namespace
} // namespace link3964
