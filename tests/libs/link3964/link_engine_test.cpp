#include <gtest/gtest.h>

#include <algorithm>
#include <random>

#include "libs/link3964/control_chars.h"
#include "link3964/link3964.h"
#include "tests/libs/link3964/engine_pair.h"

namespace link3964 {
namespace {

using Bytes = std::vector<std::uint8_t>;
using testing::EnginePair;
using testing::Side;

Bytes randomTelegram(std::mt19937& rng, std::size_t maxLen) {
    std::uniform_int_distribution<std::size_t> len(1, maxLen);
    // Many DLE, STX and ETX bytes so that doubling is exercised on every telegram.
    std::uniform_int_distribution<int> byte(0, 255), special(0, 3);
    Bytes t(len(rng));
    for (auto& b : t) {
        int s = special(rng);
        b = s == 0 ? kDle : s == 1 ? kStx : s == 2 ? kEtx : static_cast<std::uint8_t>(byte(rng));
    }
    return t;
}

int countByte(const Bytes& log, std::uint8_t value) {
    return static_cast<int>(std::count(log.begin(), log.end(), value));
}

LinkTiming timing(Millis tq, Millis tz, int mz1, int mz2) {
    return LinkTiming{tq, tz, mz1, mz2};
}

TEST(LinkEngine, DeliversTelegramsBothWaysOnceInOrderIntact) {
    for (bool bcc : {true, false}) {
        for (bool aIsMaster : {true, false}) {
            EnginePair p;
            std::mt19937 rng(bcc * 2 + aIsMaster);
            p.a.useBcc = p.b.useBcc = bcc;
            p.a.highPriority = aIsMaster;
            p.b.highPriority = !aIsMaster;
            std::vector<Bytes> fromA, fromB;
            for (int i = 0; i < 300; ++i) {
                fromA.push_back(randomTelegram(rng, 300));
                fromB.push_back(randomTelegram(rng, 300));
            }
            p.a.queue.assign(fromA.begin(), fromA.end());
            p.b.queue.assign(fromB.begin(), fromB.end());
            p.run(10'000'000);
            EXPECT_EQ(p.b.received, fromA) << "bcc " << bcc << " master A " << aIsMaster;
            EXPECT_EQ(p.a.received, fromB) << "bcc " << bcc << " master A " << aIsMaster;
            // Both sides start at the same instant again and again: the collisions are
            // resolved by yielding, never by a failure.
            for (Side* s : {&p.a, &p.b}) {
                for (const LinkResult& r : s->results)
                    EXPECT_EQ(r.status, LINK3964_PARTNER_SENDS);
            }
            Side& slave = aIsMaster ? p.b : p.a;
            EXPECT_FALSE(slave.results.empty()) << "the collisions were not exercised";
        }
    }
}

TEST(LinkEngine, BothStartAtOnceTheMasterWins) {
    for (bool aIsMaster : {true, false}) {
        EnginePair p;
        p.a.highPriority = aIsMaster;
        p.b.highPriority = !aIsMaster;
        p.a.queue.push_back(Bytes{'a'});
        p.b.queue.push_back(Bytes{'b'});
        p.run(60'000);
        Side& master = aIsMaster ? p.a : p.b;
        Side& slave = aIsMaster ? p.b : p.a;
        ASSERT_EQ(slave.received.size(), 1u);
        ASSERT_EQ(master.received.size(), 1u);
        ASSERT_EQ(slave.results.size(), 1u);
        EXPECT_EQ(slave.results[0].outcome, LinkOutcome::Yielded);
        EXPECT_EQ(slave.results[0].status, LINK3964_PARTNER_SENDS);
        EXPECT_TRUE(master.results.empty());
        // Both STX crossed; the master's telegram went first, without waiting for TQ.
        EXPECT_LT(p.now, 2000);
    }
}

TEST(LinkEngine, TwoLowPrioritySidesStillGetThrough) {
    EnginePair p;
    std::mt19937 rng(7);
    p.setTiming(timing(2000, 220, 6, 6));
    p.a.pause = [&] { return std::uniform_int_distribution<Millis>(0, 440)(rng); };
    p.b.pause = [&] { return std::uniform_int_distribution<Millis>(0, 440)(rng); };
    for (int i = 0; i < 20; ++i) {
        p.a.queue.push_back(Bytes{'a', static_cast<std::uint8_t>(i)});
        p.b.queue.push_back(Bytes{'b', static_cast<std::uint8_t>(i)});
    }
    p.run(10'000'000);
    EXPECT_EQ(p.a.received.size(), 20u);
    EXPECT_EQ(p.b.received.size(), 20u);
    for (int i = 0; i < 20 && i < static_cast<int>(p.b.received.size()); ++i)
        EXPECT_EQ(p.b.received[i], (Bytes{'a', static_cast<std::uint8_t>(i)}));
    EXPECT_EQ(p.a.sent + p.b.sent, 40);
}

TEST(LinkEngine, DoublesDleOnTheLineAndCarriesTheFlag) {
    EnginePair p;
    Bytes allDle(100, kDle);
    p.a.highPriority = true;
    p.a.queue.push_back(allDle);
    p.run(10'000);
    ASSERT_EQ(p.b.received.size(), 1u);
    EXPECT_EQ(p.b.received[0], allDle);
    // STX, 200 DLE, DLE ETX BCC
    EXPECT_EQ(p.sentByA.size(), 1u + 200 + 3);
    EXPECT_EQ(countByte(p.sentByA, kDle), 201);

    // The flag travels as DLE ETB.
    Bytes line;
    LinkEngine tx(
        [&](std::span<const std::uint8_t> b) { line.insert(line.end(), b.begin(), b.end()); });
    LinkEngine rx([](std::span<const std::uint8_t>) {});
    tx.startSend(Bytes{1, 2}, true, true, false, 0, 0);
    tx.onTime(0);
    rx.startReceive(10, true, 0, 1000);
    rx.onBytes(line, 0);
    line.clear();
    Bytes dle{kDle};
    tx.onBytes(dle, 0);
    rx.onBytes(line, 0);
    auto r = rx.takeResult();
    ASSERT_TRUE(r);
    EXPECT_EQ(r->outcome, LinkOutcome::Received);
    EXPECT_TRUE(r->moreFollows);
    EXPECT_EQ(r->telegram, (Bytes{1, 2}));
}

TEST(LinkEngine, CorruptedBlockIsRefusedAndRepeatedIntact) {
    EnginePair p;
    p.a.highPriority = true;
    Bytes telegram{10, 20, 30, 40, 50};
    p.a.queue.push_back(telegram);
    int flips = 0;
    // Flip a data byte of the first block only (byte 0 is STX, byte 1 the first data).
    p.filterAtoB = [&](std::size_t index, std::uint8_t& byte) {
        if (index == 3 && flips++ == 0)
            byte ^= 0x40;
        return true;
    };
    p.run(60'000);
    ASSERT_EQ(p.b.received.size(), 1u);
    EXPECT_EQ(p.b.received[0], telegram);
    ASSERT_EQ(p.b.results.size(), 1u);
    EXPECT_EQ(p.b.results[0].status, LINK3964_BCC_ERROR);
    EXPECT_EQ(countByte(p.sentByB, kNak), 1);
    EXPECT_EQ(countByte(p.sentByA, kStx), 2) << "the repeat starts with a new connection";
    EXPECT_EQ(p.a.sent, 1);
    EXPECT_LT(p.now, 100) << "a refused block is repeated at once, not after TQ";
}

TEST(LinkEngine, PlainProcedureCannotSeeACorruptedByteButFramingErrorsAreRefused) {
    EnginePair p;
    p.a.useBcc = p.b.useBcc = false;
    p.a.queue.push_back(Bytes{'x', kDle, 'y'});
    int changed = 0;
    // Turn the second DLE of the doubled pair into 'z': DLE 'z' is no valid sequence.
    p.filterAtoB = [&](std::size_t index, std::uint8_t& byte) {
        if (index == 3 && changed++ == 0)
            byte = 'z';
        return true;
    };
    p.setTiming(timing(2000, 220, 6, 6));
    p.run(60'000);
    ASSERT_EQ(p.b.received.size(), 1u);
    EXPECT_EQ(p.b.received[0], (Bytes{'x', kDle, 'y'}));
    ASSERT_FALSE(p.b.results.empty());
    EXPECT_EQ(p.b.results[0].status, LINK3964_FRAME_ERROR);
}

TEST(LinkEngine, UnansweredConnectionIsRetriedEveryTqThenFails) {
    EnginePair p;
    p.setTiming(timing(2000, 220, 3, 3));
    p.a.queue.push_back(Bytes{1});
    p.filterAtoB = [](std::size_t, std::uint8_t&) { return false; }; // B hears nothing
    p.run(60'000);
    ASSERT_EQ(p.a.results.size(), 1u);
    EXPECT_EQ(p.a.results[0].status, LINK3964_NO_CONNECTION);
    EXPECT_EQ(countByte(p.sentByA, kStx), 3);
    EXPECT_EQ(p.now, 3 * 2000);
}

TEST(LinkEngine, UnacknowledgedBlockIsRepeatedMz2TimesThenFails) {
    EnginePair p;
    p.setTiming(timing(1000, 220, 3, 4));
    p.a.queue.push_back(Bytes{7, 8, 9});
    // B's DLE that accepts the connection gets through; the DLE after the block never does.
    p.filterBtoA = [](std::size_t index, std::uint8_t&) { return index % 2 == 0; };
    p.run(60'000);
    ASSERT_EQ(p.a.results.size(), 1u);
    EXPECT_EQ(p.a.results[0].status, LINK3964_NOT_ACKNOWLEDGED);
    EXPECT_EQ(countByte(p.sentByA, kStx), 4);
    EXPECT_EQ(p.now, 4 * 1000);
    // The receiver took every repeat: the procedure itself cannot tell them apart.
    EXPECT_EQ(p.b.received.size(), 4u);
}

TEST(LinkEngine, CharacterDelayTimeoutRefusesTheBlock) {
    EnginePair p;
    p.setTiming(timing(2000, 220, 6, 1));
    p.a.queue.push_back(Bytes(50, 'q'));
    // STX and the first 10 block bytes get through, then the line goes dead.
    p.filterAtoB = [&](std::size_t index, std::uint8_t&) { return index <= 10; };
    p.run(60'000);
    ASSERT_EQ(p.b.results.size(), 1u);
    EXPECT_EQ(p.b.results[0].status, LINK3964_CHARACTER_TIMEOUT);
    EXPECT_EQ(p.sentByB, (Bytes{kDle, kNak}));
    ASSERT_EQ(p.a.results.size(), 1u);
    EXPECT_EQ(p.a.results[0].status, LINK3964_NOT_ACKNOWLEDGED) << "MZ2 = 1: no repeat";
    EXPECT_EQ(p.now, 220) << "the NAK comes TZ after the last character";
}

TEST(LinkEngine, TooSmallBufferRefusesAndTheRepeatIsTakenOnce) {
    EnginePair p;
    p.a.highPriority = true;
    p.b.capacity = 10;
    p.b.growOnTooSmall = true;
    Bytes big(25, 'x');
    p.a.queue.push_back(big);
    p.a.queue.push_back(Bytes{'s'});
    p.run(60'000);
    ASSERT_EQ(p.b.received.size(), 2u);
    EXPECT_EQ(p.b.received[0], big);
    EXPECT_EQ(p.b.received[1], Bytes{'s'});
    EXPECT_EQ(p.a.sent, 2);
    ASSERT_EQ(p.b.results.size(), 2u); // 10 -> 20 -> 40
    for (const LinkResult& r : p.b.results) {
        EXPECT_EQ(r.status, LINK3964_BUFFER_TOO_SMALL);
        EXPECT_EQ(r.neededLength, 25u);
    }
}

TEST(LinkEngine, ReceiverWaitsForStxAndIgnoresNoise) {
    Bytes out;
    LinkEngine rx(
        [&](std::span<const std::uint8_t> b) { out.insert(out.end(), b.begin(), b.end()); });
    rx.setTiming(timing(2000, 220, 6, 6));
    rx.startReceive(100, true, 0, 2000);
    rx.onTime(1999);
    EXPECT_EQ(rx.state(), LinkState::ReceiveAwaitStx);
    rx.onTime(2000);
    auto r = rx.takeResult();
    ASSERT_TRUE(r);
    EXPECT_EQ(r->status, LINK3964_NOTHING_RECEIVED);

    // Noise ends the wait early once the line is quiet for TZ; nothing is answered.
    rx.startReceive(100, true, 10'000, 2000);
    Bytes noise{kNak, kDle, 0x33};
    EXPECT_EQ(rx.onBytes(noise, 10'000), noise.size());
    rx.onTime(10'219);
    EXPECT_FALSE(rx.takeResult());
    rx.onTime(10'220);
    r = rx.takeResult();
    ASSERT_TRUE(r);
    EXPECT_EQ(r->status, LINK3964_NOTHING_RECEIVED);
    EXPECT_TRUE(out.empty());

    // An STX that arrived with stale bytes behind it: only the STX counts.
    rx.startReceive(100, true, 20'000, 2000);
    Bytes stxAndJunk{0x55, kStx, kStx, 0x41};
    EXPECT_EQ(rx.onBytes(stxAndJunk, 20'000), stxAndJunk.size());
    EXPECT_EQ(out, Bytes{kDle});
    Bytes block = buildBlock(Bytes{7}, false, true);
    rx.onBytes(block, 20'001);
    r = rx.takeResult();
    ASSERT_TRUE(r);
    EXPECT_EQ(r->telegram, Bytes{7});
}

TEST(LinkEngine, SendLeavesBytesAfterItsAcknowledgementForTheNextOperation) {
    Bytes out;
    LinkEngine tx(
        [&](std::span<const std::uint8_t> b) { out.insert(out.end(), b.begin(), b.end()); });
    tx.startSend(Bytes{1}, false, true, true, 0, 0);
    tx.onTime(0);
    EXPECT_EQ(tx.readLimit(), 1u);
    Bytes dle{kDle};
    tx.onBytes(dle, 1);
    // The partner acknowledges and at once starts its own telegram.
    Bytes ackAndStx{kDle, kStx};
    EXPECT_EQ(tx.onBytes(ackAndStx, 2), 1u);
    auto r = tx.takeResult();
    ASSERT_TRUE(r);
    EXPECT_EQ(r->outcome, LinkOutcome::Sent);
    EXPECT_EQ(tx.state(), LinkState::Idle);
}

TEST(LinkEngine, AckTimerRunsFromTheDrainedOutput) {
    Bytes out;
    LinkEngine tx(
        [&](std::span<const std::uint8_t> b) { out.insert(out.end(), b.begin(), b.end()); });
    tx.setTiming(timing(1000, 220, 1, 1));
    tx.startSend(Bytes(100, 1), false, true, true, 0, 0);
    tx.onTime(0);
    Bytes dle{kDle};
    tx.onBytes(dle, 0);
    tx.onOutputDrained(5000); // a slow line: the block needed 5 s to leave
    tx.onTime(5999);
    EXPECT_EQ(tx.state(), LinkState::SendAwaitAck);
    tx.onTime(6000);
    auto r = tx.takeResult();
    ASSERT_TRUE(r);
    EXPECT_EQ(r->status, LINK3964_NOT_ACKNOWLEDGED);
}

} // namespace
} // namespace link3964
